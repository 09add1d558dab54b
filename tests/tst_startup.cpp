// Start-up: which ports are listed, selected, opened and remembered, what the
// window shows before the unit reports, and the operator's port choices.

#include "operator.h"
#include "panel.h"

#include "frames.h"

#include "panel/artwork.h"
#include "panel/frm718.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QStringList Entries(const QComboBox *list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    return entries;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;

    // A window on a fake line where the given ports open; Form_Load has run.
    std::unique_ptr<frm718> Start(const QSet<qint16> &present, FakePort **port = nullptr)
    {
        FakePort *fake = nullptr;
        auto window = StartOnFakeLine(*settings, present, 0, fake, QDateTime(QDate(2026, 2, 5), QTime(7, 4, 9)));
        if (port)
            *port = fake;
        return window;
    }

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup()
    {
        CloseMessages();
        settings.reset();
    }

    void remembersAndReopens_data()
    {
        QTest::addColumn<QList<qint16>>("present");
        QTest::addColumn<QVariant>("stored");       // invalid: nothing stored
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("openPort");          // 0: none open
        QTest::addColumn<QVariant>("storedAfter");

        QTest::newRow("no port at all") << QList<qint16>{} << QVariant() << QStringList{} << -1 << 0 << QVariant();
        QTest::newRow("nothing stored, port 1 there") << QList<qint16>{1, 3} << QVariant() << QStringList{"1", "3"} << 0 << 1 << QVariant("1");
        QTest::newRow("nothing stored, no port 1") << QList<qint16>{2, 3} << QVariant() << QStringList{"2", "3"} << -1 << 0 << QVariant();
        QTest::newRow("stored 5 among 1 3 5") << QList<qint16>{1, 3, 5} << QVariant("5") << QStringList{"1", "3", "5"} << 2 << 5 << QVariant("5");
        QTest::newRow("stored 5 but only 1 3") << QList<qint16>{1, 3} << QVariant("5") << QStringList{"1", "3"} << -1 << 0 << QVariant("5");
        QTest::newRow("stored 16 of all ports") << QList<qint16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16} << QVariant("16")
                                                << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"} << 15 << 16 << QVariant("16");
        // A value that is not a 16-bit number counts as absent: port 1.
        QTest::newRow("stored text") << QList<qint16>{1, 3} << QVariant("abc") << QStringList{"1", "3"} << 0 << 1 << QVariant("1");
        QTest::newRow("stored empty") << QList<qint16>{1, 3} << QVariant("") << QStringList{"1", "3"} << 0 << 1 << QVariant("1");
        QTest::newRow("stored beyond 16 bits") << QList<qint16>{1, 3} << QVariant("99999") << QStringList{"1", "3"} << 0 << 1 << QVariant("1");
        QTest::newRow("stored 3 with text after") << QList<qint16>{1, 3} << QVariant("3x") << QStringList{"1", "3"} << 0 << 1 << QVariant("1");
        // A number converts as a number does: blanks around it, halves to even.
        QTest::newRow("stored with blanks") << QList<qint16>{1, 3} << QVariant(" 3 ") << QStringList{"1", "3"} << 1 << 3 << QVariant("3");
        QTest::newRow("stored 3.5 rounds to 4") << QList<qint16>{1, 4} << QVariant("3.5") << QStringList{"1", "4"} << 1 << 4 << QVariant("4");
        QTest::newRow("stored 2.5 rounds to 2") << QList<qint16>{1, 2, 3} << QVariant("2.5") << QStringList{"1", "2", "3"} << 1 << 2 << QVariant("2");
    }

    void remembersAndReopens()
    {
        QFETCH(QList<qint16>, present);
        QFETCH(QVariant, stored);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        QFETCH(int, openPort);
        QFETCH(QVariant, storedAfter);

        if (stored.isValid())
            settings->set("Settings/Comport", stored);
        FakePort *port = nullptr;
        auto window = Start(QSet<qint16>(present.begin(), present.end()), &port);
        const Controls ui{*window};

        QCOMPARE(Entries(ui.cmbComports), entries);
        QCOMPARE(ui.cmbComports->currentIndex(), selected);
        QCOMPARE(port->isOpen(), openPort != 0);
        if (openPort)
            QCOMPARE(port->number, qint16(openPort));
        QCOMPARE(settings->value("Settings/Comport"), storedAfter);
        QVERIFY(Messages().isEmpty());

        // An opened port waits for the unit: settings disabled, "Not Connected".
        QCOMPARE(ui.lblGeneratorTime->text(), openPort ? QString("Not Connected") : QString());
        QCOMPARE(ui.cmbReadMode->isEnabled(), openPort == 0);
        QCOMPARE(ui.txtOffset->isEnabled(), openPort == 0);
        QCOMPARE(ui.cmdSetTime->isEnabled(), openPort == 0);
        QVERIFY(ui.txtYear->isEnabledTo(window.get()));
        QCOMPARE(ui.lblLock->text(), QString("Unlocked"));
        QCOMPARE(ui.imgLock->pixmap().toImage(), Artwork::LockLamp(false).toImage());
        // The unit's first reports load its settings.
        port->receive(Reports::Time(1, 0, 0, 0) + Reports::Status(24, 1, 1, 0, 1, Reports::Digits(0)));
        QCOMPARE(ui.cmbReadMode->currentIndex(), 1);
    }

    void scanProbesSixteenPortsAndLeavesThemClosed()
    {
        FakePort *port = nullptr;
        auto window = Start({}, &port);
        QCOMPARE(Controls{*window}.cmbComports->count(), 0);
        QVERIFY(port->opened.isEmpty());
        QVERIFY(!port->isOpen());
        QVERIFY(!settings->contains("Settings/Comport"));

        // The default table, as tooltips of the entries.
        auto listed = Start({1, 5, 12, 13, 16});
        const QStringList paths = {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB7", "/dev/ttyACM0", "/dev/ttyACM3"};
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(Controls{*listed}.cmbComports->itemData(i, Qt::ToolTipRole).toString(), paths[i]);
    }

    void namedPortShowsItsDevice()
    {
        settings->set("Ports/3", "/dev/serial/by-id/usb-adapter");
        auto window = Start({1, 3});
        QCOMPARE(Controls{*window}.cmbComports->itemData(1, Qt::ToolTipRole).toString(), QString("/dev/serial/by-id/usb-adapter"));
    }

    void operatorChoosesAnotherPort()
    {
        settings->set("Settings/Comport", "1");
        FakePort *port = nullptr;
        auto window = Start({1, 3, 5}, &port);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        port->opened.clear();

        QVERIFY(Operator::Pick(Controls{*window}.cmbComports, 2));
        QCOMPARE(port->opened, QList<qint16>{5});  // one pick, one opening
        QCOMPARE(settings->value("Settings/Comport"), QVariant("5"));

        // Picking the selected port again reopens it.
        QVERIFY(Operator::Pick(Controls{*window}.cmbComports, 2));
        QCOMPARE(port->opened, (QList<qint16>{5, 5}));
        QVERIFY(port->isOpen());
        QVERIFY(Messages().isEmpty());
    }

    void vanishedPortCannotBeOpened()
    {
        settings->set("Settings/Comport", "1");
        FakePort *port = nullptr;
        auto window = Start({1, 3}, &port);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        port->present.remove(3);

        QVERIFY(Operator::Pick(Controls{*window}.cmbComports, 1));
        const QList<QMessageBox *> boxes = Messages();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QString("Cannot open Comport"));
        QCOMPARE(boxes[0]->windowTitle(), QString("QV-718v1.0.2"));
        QCOMPARE(boxes[0]->standardButtons(), QMessageBox::Ok);
        QVERIFY(boxes[0]->isModal());

        QVERIFY(!port->isOpen());  // the old port was closed before trying
        QCOMPARE(settings->value("Settings/Comport"), QVariant("1"));
        QCOMPARE(Controls{*window}.cmbComports->currentText(), QString("3"));
    }

    void initialWindow()
    {
        auto window = Start({});
        const Controls ui{*window};
        QCOMPARE(window->windowTitle(), QString("QV-718 Control Panel v1.0.2"));
        QCOMPARE(window->size(), QSize(349, 433));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!window->windowIcon().isNull());

        QCOMPARE(Entries(ui.cmbReadMode), (QStringList{"IRIG-A Analog", "IRIG-B Analog", "IRIG-G Analog", "IRIG-A TTL", "IRIG-B TTL", "IRIG-G TTL", "GPS"}));
        QCOMPARE(Entries(ui.cmbGenerateMode), (QStringList{"IRIG-A", "IRIG-B", "IRIG-G"}));
        QCOMPARE(Entries(ui.cmbControlFunction), (QStringList{"Off", "Pass-Through", "Encoded Year"}));
        const QStringList zones = Entries(ui.cmbTimeZone);
        QCOMPARE(zones.size(), 49);
        QCOMPARE(zones[0], QString("-12"));
        QCOMPARE(zones[4], QString("-10") + QString(6, ' ') + "(Hawaii)");
        QCOMPARE(zones[8], QString("-8") + QString(8, ' ') + "(Pacific)");
        QCOMPARE(zones[10], QString("-7") + QString(8, ' ') + "(Mountain)");
        QCOMPARE(zones[12], QString("-6") + QString(8, ' ') + "(Central)");
        QCOMPARE(zones[14], QString("-5") + QString(8, ' ') + "(Eastern)");
        QCOMPARE(zones[16], QString("-4") + QString(8, ' ') + "(Atlantic)");
        QCOMPARE(zones[23], QString("-0.5"));
        QCOMPARE(zones[24], QString("0") + QString(9, ' ') + "(UTC)");
        QCOMPARE(zones[35], QString("+5.5"));
        QCOMPARE(zones[39], QString("7.5"));
        QCOMPARE(zones[40], QString("+8") + QString(7, ' ') + "(W. Australia)");
        QCOMPARE(zones[43], QString("+9.5") + QString(4, ' ') + "(C. Australia)");
        QCOMPARE(zones[44], QString("+10") + QString(5, ' ') + "(E. Australia)");
        QCOMPARE(zones[48], QString("+12"));
        // Every other entry follows the rule: (p - 24) / 2 hours with its sign.
        for (int p = 0; p < 49; ++p) {
            if (QList<int>{4, 8, 10, 12, 14, 16, 24, 39, 40, 43, 44}.contains(p))
                continue;
            const double hours = (p - 24) / 2.0;
            QCOMPARE(zones[p], (hours > 0 ? "+" : "") + QString::number(hours));
        }
        QCOMPARE(ui.cmbTimeZone->toolTip(), QString("Sets the Time Zone offset relative to UTC"));
        QVERIFY(ui.cmbControlFunction->toolTip().isEmpty());

        for (const QComboBox *list : {ui.cmbComports, ui.cmbReadMode, ui.cmbGenerateMode, ui.cmbTimeZone, ui.cmbControlFunction}) {
            QCOMPARE(list->currentIndex(), -1);
            QVERIFY(!list->isEditable());
        }
        for (const QCheckBox *box : {ui.chkFreeze, ui.chkBinarySeconds, ui.chkReaderEnable, ui.chkLeapYear})
            QCOMPARE(box->checkState(), Qt::Unchecked);
        QCOMPARE(ui.txtOffset->text(), QString());
        QCOMPARE(ui.lblGeneratorTime->text(), QString());
        QVERIFY(ui.lblYear->isHidden());
        QVERIFY(ui.txtYear->isHidden());
        QVERIFY(!ui.chkLeapYear->isHidden());
        QCOMPARE(ui.frameSetTime->x(), 40);
        for (QWidget *w : window->findChildren<QWidget *>())
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");  // left, top, width, height
        QTest::addColumn<QString>("caption");
        const auto row = [](const char *name, int l, int t, int w, int h, const char *caption = "") {
            QTest::newRow(name) << QString(name) << QRect(l, t, w, h) << QString(caption);
        };
        row("picLogo", 60, 0, 495, 495);
        row("Frame4", 90, 570, 5025, 5865, "Settings:");
        row("Label13", 240, 360, 1095, 255, "Serial Port:");
        row("cmbComports", 1710, 330, 1755, 315);
        row("Frame2", 120, 720, 4755, 1710, "Time Code:");
        row("Frame1", 120, 2490, 4755, 1005, "Set Time:");
        row("Frame3", 120, 3600, 4755, 2055, "Additional Settings:");
        row("imgLock", 2490, 180, 240, 240);
        row("lblLock", 2760, 210, 825, 195, "Unlocked");
        row("Label10", 120, 510, 1215, 255, "Generator Time:");
        row("lblGeneratorTime", 1590, 480, 2805, 315);
        row("Label7", 120, 900, 1215, 255, "Read Mode:");
        row("cmbReadMode", 1590, 870, 2835, 315);
        row("Label8", 120, 1320, 1305, 195, "Generator Mode:");
        row("cmbGenerateMode", 1590, 1260, 2835, 315);
        row("lblYear", 270, 300, 435, 255, "Year");
        row("txtYear", 240, 540, 495, 285, "2026");
        row("frameSetTime", 600, 300, 3015, 615);
        row("cmdSetTime", 3930, 540, 615, 285, "Set");
        row("Label6", 90, 0, 315, 255, "Day");
        row("txtDay", 0, 240, 495, 285, "36");
        row("Label3", 870, 0, 315, 255, "Hr");
        row("txtHour", 765, 240, 495, 285, "07");
        row("Label2", 1320, 270, 165, 255, ":");
        row("Label5", 1590, 0, 315, 255, "Min");
        row("txtMinute", 1515, 240, 495, 285, "04");
        row("Label1", 2070, 270, 165, 255, ":");
        row("Label4", 2340, 0, 315, 255, "Sec");
        row("txtSecond", 2280, 240, 495, 285, "09");
        row("Label9", 150, 255, 1335, 285, "Time Zone Offset:");
        row("cmbTimeZone", 1980, 240, 2415, 315);
        row("Label12", 150, 600, 1575, 285, "Micro Second Offset::");
        row("txtOffset", 1965, 600, 1410, 285);
        row("Label14", 120, 975, 1695, 285, "Control Function Bits:");
        row("cmbControlFunction", 1950, 960, 2415, 315);
        row("chkFreeze", 180, 1380, 1395, 285, "Output Freeze");
        row("chkBinarySeconds", 1950, 1380, 1455, 285, "Binary Seconds");
        row("chkReaderEnable", 180, 1650, 1485, 285, "Reader Enabled");
        row("chkLeapYear", 1950, 1680, 1395, 285, "Leap Year");
    }

    // Every control at its place, with its caption, in a font whose text
    // fits the control.
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        auto window = Start({});
        auto *control = window->findChild<QWidget *>(name);
        QVERIFY(control);
        const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
        QCOMPARE(control->geometry(), pixels);

        QString text;
        int room = control->width();
        if (auto *label = qobject_cast<QLabel *>(control))
            text = label->text();
        else if (auto *box = qobject_cast<QGroupBox *>(control))
            text = box->title(), room -= 16;
        else if (auto *check = qobject_cast<QCheckBox *>(control))
            text = check->text(), room -= 20;  // the box and its gap
        else if (auto *button = qobject_cast<QPushButton *>(control))
            text = button->text(), room -= 8;
        else if (auto *field = qobject_cast<QLineEdit *>(control))
            text = field->text(), room -= 6;
        QCOMPARE(text, caption);

        const bool large = name == "Frame4" || name == "lblGeneratorTime";
        const bool bold = name == "Label1" || name == "Label2";
        QCOMPARE(control->font().family(), QString("MS Sans Serif"));
        QCOMPARE(control->font().pointSizeF(), large ? 9.75 : 8.25);
        QCOMPARE(control->font().bold(), bold);
        QVERIFY2(control->fontMetrics().horizontalAdvance(text) <= room,
                 qPrintable(QString("\"%1\" needs %2 px, has %3 in %4").arg(text).arg(control->fontMetrics().horizontalAdvance(text)).arg(room).arg(QFontInfo(control->font()).family())));
    }

    void tabOrderAndAccessibleNames()
    {
        auto window = Start({});
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), Controls{*window}.cmbComports);

        // The year field is hidden, so Tab passes it by.
        const QStringList expected = {"cmbReadMode", "cmbGenerateMode", "txtDay", "txtHour", "txtMinute", "txtSecond", "cmdSetTime",
                                      "cmbTimeZone", "txtOffset", "cmbControlFunction", "chkFreeze", "chkBinarySeconds",
                                      "chkReaderEnable", "chkLeapYear", "picLogo", "cmbComports"};
        QStringList order;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, expected);

        const QList<QPair<const char *, const char *>> names = {
            {"cmbComports", "Serial Port:"}, {"cmbReadMode", "Read Mode:"}, {"cmbGenerateMode", "Generator Mode:"},
            {"txtYear", "Year"}, {"txtDay", "Day"}, {"txtHour", "Hr"}, {"txtMinute", "Min"}, {"txtSecond", "Sec"},
            {"cmdSetTime", "Set"}, {"cmbTimeZone", "Time Zone Offset:"}, {"txtOffset", "Micro Second Offset::"},
            {"cmbControlFunction", "Control Function Bits:"}, {"chkFreeze", "Output Freeze"},
            {"chkBinarySeconds", "Binary Seconds"}, {"chkReaderEnable", "Reader Enabled"}, {"chkLeapYear", "Leap Year"},
            {"picLogo", "QV-718 logo"}};
        for (const auto &[control, name] : names) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(window->findChild<QWidget *>(control));
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), QString(name));
        }
    }

    // Whatever state the settings file is in, the panel starts, uses port 1
    // unless a port is remembered, and takes the operator's choice.
    void badSettingsFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("remembered");
        QTest::newRow("folder missing") << "missing" << 1;
        QTest::newRow("file is a folder") << "folder" << 1;
        QTest::newRow("binary garbage") << "garbage" << 1;
        QTest::newRow("broken syntax") << "syntax" << 1;
        QTest::newRow("a list where the port should be") << "list" << 1;
        QTest::newRow("folder cannot be made") << "blocked" << 1;
        if (::geteuid() != 0)  // permissions do not stop root
            QTest::newRow("unreadable file") << "unreadable" << 1;
    }

    void badSettingsFile()
    {
        QFETCH(QString, damage);
        QFETCH(int, remembered);
        QTemporaryDir home;
        QString configHome = home.filePath("config");
        QDir().mkpath(configHome + "/QV-718");
        const QString file = configHome + "/QV-718/QV-718.conf";
        const auto write = [&](const QByteArray &bytes) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        if (damage == "missing") {
            configHome = home.filePath("not/there/yet");
        } else if (damage == "folder") {
            QVERIFY(QDir().mkpath(file));
        } else if (damage == "garbage") {
            QByteArray bytes(4096, 0);
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = char((i * 7919) % 251);
            write(bytes);
        } else if (damage == "syntax") {
            write("[Settings\nComport==\x01\n[[[\n=\nComport=\"3\n[Ports]\n1=\0\n");
        } else if (damage == "list") {
            write("[Settings]\nComport=3, 5\n");
        } else if (damage == "blocked") {
            QFile blocker(home.filePath("plain-file"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            configHome = blocker.fileName() + "/config";
        } else if (damage == "unreadable") {
            write("[Settings]\nComport=3\n");
            QFile(file).setPermissions({});
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome);

        FakePort *port = nullptr;
        auto window = Start({1, 3}, &port);
        QCOMPARE(port->number, qint16(remembered));
        QCOMPARE(Entries(Controls{*window}.cmbComports), (QStringList{"1", "3"}));
        Controls{*window}.cmbComports->setCurrentIndex(1);
        QVERIFY(port->isOpen());
        QCOMPARE(port->number, qint16(3));
        QVERIFY(Messages().isEmpty());
    }

    void clockFields_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QStringList>("fields");  // year, day, hour, minute, second
        QTest::newRow("5 February, morning") << QDateTime(QDate(2026, 2, 5), QTime(7, 4, 9)) << QStringList{"2026", "36", "07", "04", "09"};
        QTest::newRow("1 January") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)) << QStringList{"2027", "1", "00", "00", "00"};
        QTest::newRow("31 December, leap year") << QDateTime(QDate(2028, 12, 31), QTime(23, 59, 59)) << QStringList{"2028", "366", "23", "59", "59"};
        QTest::newRow("31 December, common year") << QDateTime(QDate(2026, 12, 31), QTime(12, 0, 0)) << QStringList{"2026", "365", "12", "00", "00"};
        QTest::newRow("9 in the evening") << QDateTime(QDate(2026, 6, 1), QTime(21, 0, 0)) << QStringList{"2026", "152", "21", "00", "00"};
        QTest::newRow("9 in the morning") << QDateTime(QDate(2026, 6, 1), QTime(9, 0, 0)) << QStringList{"2026", "152", "09", "00", "00"};
        QTest::newRow("year before 2009") << QDateTime(QDate(2008, 3, 1), QTime(1, 2, 3)) << QStringList{"2008", "61", "01", "02", "03"};
    }

    void clockFields()
    {
        QFETCH(QDateTime, now);
        QFETCH(QStringList, fields);
        frm718 window(new FakePort);
        window.setClock([now] { return now; });
        window.Form_Load();
        const Controls ui{window};
        QCOMPARE((QStringList{ui.txtYear->text(), ui.txtDay->text(), ui.txtHour->text(), ui.txtMinute->text(), ui.txtSecond->text()}), fields);
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
