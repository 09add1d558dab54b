#include "form718.h"

#include "artwork.h"

#include "device/lists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>


namespace {

// The window was designed around "MS Sans Serif" and "Courier New". Where
// they are missing, fonts of nearly the same width stand in, so that every
// caption still fits its control.
void RegisterFontSubstitutes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"),
                               {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
}

QFont SansSerif(qreal points, bool bold = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

constexpr qreal Small = 8.25;
constexpr qreal Large = 9.75;

template <class Control>
Control *Place(QWidget *container, const char *name, int left, int top, int width, int height,
               qreal points = Small)
{
    auto *control = new Control(container);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(Form718::Pixels(left), Form718::Pixels(top), Form718::Pixels(width),
                         Form718::Pixels(height));
    control->setFont(SansSerif(points));
    return control;
}

QLabel *Caption(QWidget *container, const char *name, int left, int top, int width, int height,
                const char *text, Qt::Alignment horizontal = Qt::AlignLeft)
{
    auto *label = Place<QLabel>(container, name, left, top, width, height);
    label->setText(QString::fromLatin1(text));
    label->setAlignment(horizontal | Qt::AlignTop);
    return label;
}

QGroupBox *Frame(QWidget *container, const char *name, int left, int top, int width, int height,
                 const char *caption, qreal points = Small)
{
    auto *frame = Place<QGroupBox>(container, name, left, top, width, height, points);
    frame->setTitle(QString::fromLatin1(caption));
    return frame;
}

QComboBox *PickList(QWidget *container, const char *name, int left, int top, int width,
                    int height)
{
    auto *list = Place<QComboBox>(container, name, left, top, width, height);
    list->setEditable(false);
    return list;
}

// Fills a list without selecting anything: a list shows an empty box until
// the program or the operator picks an entry.
template <std::size_t N>
void Fill(QComboBox *list, const char *const (&entries)[N])
{
    for (const char *entry : entries)
        list->addItem(QString::fromLatin1(entry));
    list->setCurrentIndex(-1);
}

QLineEdit *TextBox(QWidget *container, const char *name, int left, int top, int width,
                   int height, const char *text, Qt::Alignment horizontal = Qt::AlignLeft)
{
    auto *box = Place<QLineEdit>(container, name, left, top, width, height);
    box->setText(QString::fromLatin1(text));
    box->setAlignment(horizontal | Qt::AlignVCenter);
    return box;
}

QCheckBox *CheckBox(QWidget *container, const char *name, int left, int top, int width,
                    int height, const char *caption)
{
    auto *box = Place<QCheckBox>(container, name, left, top, width, height);
    box->setText(QString::fromLatin1(caption));
    return box;
}

} // namespace

void Form718::setupUi(QWidget *frm718)
{
    RegisterFontSubstitutes();

    frm718->setObjectName(QStringLiteral("frm718"));
    frm718->setWindowTitle(QStringLiteral("QV-718 Control Panel v1.0.2"));
    frm718->setFixedSize(Pixels(ClientWidth), Pixels(ClientHeight));
    frm718->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont windowFont(QStringLiteral("Courier New"));
    windowFont.setPointSizeF(Large);
    frm718->setFont(windowFont);
    const QPixmap logo = Artwork::Logo32();
    frm718->setWindowIcon(Artwork::LogoIcon());

    ImageList1 = {Artwork::LockLamp(true), Artwork::LockLamp(false)};

    picLogo = Place<QLabel>(frm718, "picLogo", 60, 0, 495, 495);
    picLogo->setPixmap(logo);
    picLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picLogo->setFocusPolicy(Qt::TabFocus);
    picLogo->setAccessibleName(QStringLiteral("QV-718 logo"));

    Frame4 = Frame(frm718, "Frame4", 90, 570, 5025, 5865, "Settings:", Large);

    Label13 = Caption(Frame4, "Label13", 240, 360, 1095, 255, "Serial Port:");
    cmbComports = PickList(Frame4, "cmbComports", 1710, 330, 1755, 315);
    Frame2 = Frame(Frame4, "Frame2", 120, 720, 4755, 1710, "Time Code:");
    Frame1 = Frame(Frame4, "Frame1", 120, 2490, 4755, 1005, "Set Time:");
    Frame3 = Frame(Frame4, "Frame3", 120, 3600, 4755, 2055, "Additional Settings:");

    imgLock = Place<QLabel>(Frame2, "imgLock", 2490, 180, 240, 240);
    imgLock->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblLock = Caption(Frame2, "lblLock", 2760, 210, 825, 195, "Unlocked", Qt::AlignHCenter);
    Label10 = Caption(Frame2, "Label10", 120, 510, 1215, 255, "Generator Time:");
    lblGeneratorTime = Caption(Frame2, "lblGeneratorTime", 1590, 480, 2805, 315, "",
                               Qt::AlignHCenter);
    lblGeneratorTime->setFont(SansSerif(Large));
    QPalette black = lblGeneratorTime->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblGeneratorTime->setPalette(black);
    Label7 = Caption(Frame2, "Label7", 120, 900, 1215, 255, "Read Mode:");
    cmbReadMode = PickList(Frame2, "cmbReadMode", 1590, 870, 2835, 315);
    Fill(cmbReadMode, Lists::ReadModes);
    Label8 = Caption(Frame2, "Label8", 120, 1320, 1305, 195, "Generator Mode:");
    cmbGenerateMode = PickList(Frame2, "cmbGenerateMode", 1590, 1260, 2835, 315);
    Fill(cmbGenerateMode, Lists::GenerateModes);

    lblYear = Caption(Frame1, "lblYear", 270, 300, 435, 255, "Year", Qt::AlignHCenter);
    txtYear = TextBox(Frame1, "txtYear", 240, 540, 495, 285, "2009", Qt::AlignHCenter);
    lblYear->hide();
    txtYear->hide();
    frameSetTime = Place<QWidget>(Frame1, "frameSetTime", SetTimeLeftWithoutYear, 300, 3015, 615);
    cmdSetTime = Place<QPushButton>(Frame1, "cmdSetTime", 3930, 540, 615, 285);
    cmdSetTime->setText(QStringLiteral("Set"));
    cmdSetTime->setAutoDefault(false);

    Label6 = Caption(frameSetTime, "Label6", 90, 0, 315, 255, "Day", Qt::AlignHCenter);
    txtDay = TextBox(frameSetTime, "txtDay", 0, 240, 495, 285, "001", Qt::AlignHCenter);
    Label3 = Caption(frameSetTime, "Label3", 870, 0, 315, 255, "Hr", Qt::AlignHCenter);
    txtHour = TextBox(frameSetTime, "txtHour", 765, 240, 495, 285, "00", Qt::AlignHCenter);
    Label2 = Caption(frameSetTime, "Label2", 1320, 270, 165, 255, ":", Qt::AlignHCenter);
    Label2->setFont(SansSerif(Small, true));
    Label5 = Caption(frameSetTime, "Label5", 1590, 0, 315, 255, "Min", Qt::AlignHCenter);
    txtMinute = TextBox(frameSetTime, "txtMinute", 1515, 240, 495, 285, "00", Qt::AlignHCenter);
    Label1 = Caption(frameSetTime, "Label1", 2070, 270, 165, 255, ":", Qt::AlignHCenter);
    Label1->setFont(SansSerif(Small, true));
    Label4 = Caption(frameSetTime, "Label4", 2340, 0, 315, 255, "Sec", Qt::AlignHCenter);
    txtSecond = TextBox(frameSetTime, "txtSecond", 2280, 240, 495, 285, "00", Qt::AlignHCenter);

    Label9 = Caption(Frame3, "Label9", 150, 255, 1335, 285, "Time Zone Offset:");
    cmbTimeZone = PickList(Frame3, "cmbTimeZone", 1980, 240, 2415, 315);
    Fill(cmbTimeZone, Lists::TimeZones);
    cmbTimeZone->setToolTip(QStringLiteral("Sets the Time Zone offset relative to UTC"));
    Label12 = Caption(Frame3, "Label12", 150, 600, 1575, 285, "Micro Second Offset::");
    txtOffset = TextBox(Frame3, "txtOffset", 1965, 600, 1410, 285, "");
    Label14 = Caption(Frame3, "Label14", 120, 975, 1695, 285, "Control Function Bits:");
    cmbControlFunction = PickList(Frame3, "cmbControlFunction", 1950, 960, 2415, 315);
    Fill(cmbControlFunction, Lists::ControlFunctions);
    chkFreeze = CheckBox(Frame3, "chkFreeze", 180, 1380, 1395, 285, "Output Freeze");
    chkBinarySeconds = CheckBox(Frame3, "chkBinarySeconds", 1950, 1380, 1455, 285, "Binary Seconds");
    chkReaderEnable = CheckBox(Frame3, "chkReaderEnable", 180, 1650, 1485, 285, "Reader Enabled");
    chkLeapYear = CheckBox(Frame3, "chkLeapYear", 1950, 1680, 1395, 285, "Leap Year");

    // A screen reader announces a field by the label beside it.
    Label13->setBuddy(cmbComports);
    Label7->setBuddy(cmbReadMode);
    Label8->setBuddy(cmbGenerateMode);
    lblYear->setBuddy(txtYear);
    Label6->setBuddy(txtDay);
    Label3->setBuddy(txtHour);
    Label5->setBuddy(txtMinute);
    Label4->setBuddy(txtSecond);
    Label9->setBuddy(cmbTimeZone);
    Label12->setBuddy(txtOffset);
    Label14->setBuddy(cmbControlFunction);

    QWidget *const tabOrder[] = {
        cmbComports, cmbReadMode, cmbGenerateMode, txtYear, txtDay, txtHour, txtMinute,
        txtSecond, cmdSetTime, cmbTimeZone, txtOffset, cmbControlFunction, chkFreeze,
        chkBinarySeconds, chkReaderEnable, chkLeapYear, picLogo,
    };
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    cmbComports->setFocus();
}
