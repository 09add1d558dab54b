#include "frm718.h"

#include "artwork.h"
#include "offsetentry.h"
#include "picknotifier.h"
#include "settimeeditor.h"
#include "settingscontrols.h"
#include "statusdisplay.h"
#include "ui_frm718.h"

#include "device/protocol/lists.h"
#include "device/ports/portdevices.h"
#include "device/ports/portservice.h"
#include "device/common/program.h"
#include "events/journal.h"

#include <QAbstractItemView>
#include <QMessageBox>
#include <QSignalBlocker>

using namespace Ports;
using namespace Frames;

namespace {

// "QV-718 Control Panel v1.0.2", the window's title, and "QV-718v1.0.2", the
// caption of its message box.
QString programTitle()
{
    return QLatin1String(Program::Name) + QStringLiteral(" Control Panel v") + Program::version();
}

QString programCaption()
{
    return QLatin1String(Program::Name) + QLatin1Char('v') + Program::version();
}

// The window was designed around "MS Sans Serif" and "Courier New". Where
// they are missing, fonts of nearly the same width stand in, so that every
// caption still fits its control.
void registerFontSubstitutes()
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

QFont makeFont(const char *family, qreal points, bool bold = false)
{
    QFont font(QString::fromLatin1(family));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Fills a list without selecting anything: a list shows an empty box until
// the program or the operator picks an entry.
template <std::size_t N>
void fillList(QComboBox *list, const char *const (&entries)[N])
{
    for (const char *entry : entries)
        list->addItem(QString::fromLatin1(entry));
    list->setCurrentIndex(-1);
}

} // namespace

frm718::frm718(PortService *comm, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::frm718>())
    , Comm(comm)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    ui->setupUi(this);
    Comm->setParent(this);
    // What the form cannot hold: the title with the build's version, a
    // border the operator cannot drag, the pictures drawn in code, the list
    // entries the simulated unit shares, and the fonts.
    setWindowTitle(programTitle());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowIcon(Artwork::logoIcon());
    ui->picLogo->setPixmap(Artwork::logo32());
    fillList(ui->cmbReadMode, Lists::ReadModes);
    fillList(ui->cmbGenerateMode, Lists::GenerateModes);
    fillList(ui->cmbTimeZone, Lists::TimeZones);
    fillList(ui->cmbControlFunction, Lists::ControlFunctions);
    applyFonts();
    ui->cmbComports->setFocus();

    m_setTime = new SetTimeEditor(*ui, *Comm, this);
    m_status = new StatusDisplay(*ui, *m_setTime, this);
    m_session = new UnitSession(*Comm, this);
    connect(m_session, &UnitSession::timeReport, m_status, &StatusDisplay::ShowGeneratorTime);
    connect(m_session, &UnitSession::statusReport, m_status, &StatusDisplay::ApplyStatus);
    connect(m_session, &UnitSession::silent, m_status, &StatusDisplay::showSilent);
    connect(m_session, &UnitSession::lineOpened, this, &frm718::showOpened);
    connect(m_session, &UnitSession::lineLost, this, &frm718::showLinkLost);
    connect(m_session, &UnitSession::event, this,
            [this](UnitEvent event, LineFailure failure) { m_events.write(event, unitName(), lineName(m_ports.CurrentPort), failure); });
    connect(Comm, &PortService::commandSent, this,
            [this](const QByteArray &frame) { Journal::command(unitName(), lineName(m_ports.CurrentPort), frame); });
    new SettingsControls(*ui, *m_status, *Comm, this);
    new OffsetEntry(*ui, *m_status, *Comm, this);
    connect(new PickNotifier(ui->cmbComports), &PickNotifier::picked, this, &frm718::cmbComports_Click);
    // Bytes waiting or the line failed: one handler for both, which reads.
    connect(Comm, &PortService::received, this, &frm718::Comm_OnComm);
    connect(Comm, &PortService::failed, this, &frm718::Comm_OnComm);
}

frm718::~frm718()
{
    // Close the line before the controls go away.
    disconnect(Comm, nullptr, this, nullptr);
    if (Comm->isOpen())
        Comm->close();
}

// Every control in "MS Sans Serif" 8.25 pt, the settings frame and the
// generator time in 9.75 pt, the time separators bold. The form itself only
// holds whole point sizes.
void frm718::applyFonts()
{
    registerFontSubstitutes();
    setFont(makeFont("Courier New", 9.75));
    for (QWidget *control : findChildren<QWidget *>())
        control->setFont(makeFont("MS Sans Serif", 8.25));
    ui->Frame4->setFont(makeFont("MS Sans Serif", 9.75));
    ui->lblGeneratorTime->setFont(makeFont("MS Sans Serif", 9.75));
    ui->Label1->setFont(makeFont("MS Sans Serif", 8.25, true));
    ui->Label2->setFont(makeFont("MS Sans Serif", 8.25, true));
}

void frm718::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void frm718::useOnlyLine(const QString &line)
{
    m_onlyLine = line;
}

void frm718::Form_Load()
{
    m_status->requestFullReport();
    if (m_onlyLine.isEmpty()) {
        m_ports.CurrentPort = rememberedPort();
        ScanComports(*Comm, m_ports);
    } else {
        // A number is that port; anything else is the line itself, whatever
        // number its entry's text converts to (0).
        m_ports.CurrentPort = qint16(m_onlyLine.toInt());
        if (m_ports.CurrentPort == 0)
            Comm->useEntryForRun(m_onlyLine);
        m_ports.AvailablePorts = {m_ports.CurrentPort};
    }
    PopulateComports(m_ports.CurrentPort);
    m_status->ShowLockState(false);
    m_setTime->LoadClockIntoFields(m_clock());
}

void frm718::PopulateComports(qint16 current)
{
    if (m_ports.AvailablePortCount() < 1)
        return;
    QComboBox *list = ui->cmbComports;
    list->clear();
    for (const qint16 port : std::as_const(m_ports.AvailablePorts)) {
        {
            // Qt selects the first entry of an empty list by itself; here an
            // entry is selected only when it is the remembered port.
            const QSignalBlocker quiet(list);
            list->addItem(m_onlyLine.isEmpty() ? QString::number(port) : m_onlyLine);
            list->setItemData(list->count() - 1, lineName(port), Qt::ToolTipRole);
            if (list->count() == 1)
                list->setCurrentIndex(-1);
        }
        if (port == current) {
            // The selection opens the line (UpdateComport). The remembered
            // port is opened once more, as it always was; a line that is not
            // open after that is shown as lost and awaited, as any lost line.
            // A line named for this run is opened once: UpdateComport awaits
            // it if it did not open.
            list->setCurrentIndex(list->count() - 1);
            if (m_onlyLine.isEmpty() && !OpenPortIfPresent(*Comm, m_ports, port))
                m_session->lose();
        }
    }
    // A line named on the command line may be longer than the list is wide:
    // its popup shows it whole.
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + list->view()->frameWidth() * 2);
}

void frm718::cmbComports_Click()
{
    if (m_status->applyingStatus())
        return;
    if (ui->cmbComports->currentIndex() < 0)
        return;
    UpdateComport();
}

void frm718::UpdateComport()
{
    const QString entry = ui->cmbComports->currentText();
    const auto port = qint16(entry.toInt());
    if (OpenPortIfPresent(*Comm, m_ports, port)) {
        m_ports.CurrentPort = port;
        if (m_onlyLine.isEmpty())
            rememberPort(entry);
        // A port chosen is a unit of its own: nothing of the one before
        // carries over into its events.
        m_session->forget();
        m_session->opened();
    } else if (!m_onlyLine.isEmpty()) {
        // The line asked for on the command line is waited for.
        m_session->lose();
    } else {
        showCannotOpenComport();
    }
}

void frm718::Comm_OnComm()
{
    m_session->receive();
}

void frm718::showLinkLost()
{
    showCannotOpenComport();
    // Settings picked now would go nowhere: they wait with the rest for the
    // unit's report after the line returns.
    m_status->EnableInterface(false);
}

void frm718::showOpened()
{
    // A lost line that returned by itself takes its message away.
    if (m_message)
        m_message->close();
    m_status->EnableInterface(false);
    m_status->requestFullReport();
}

void frm718::showCannotOpenComport()
{
    // One message at a time. The box is modal but does not block here: the
    // line's notifications keep their own pace while the operator reads it.
    if (m_message)
        return;
    m_message = new QMessageBox(QMessageBox::NoIcon, programCaption(), QStringLiteral("Cannot open Comport"),
                                QMessageBox::Ok, this);
    m_message->setObjectName(QStringLiteral("cannotOpenComport"));
    m_message->setAttribute(Qt::WA_DeleteOnClose);
    m_message->setWindowModality(Qt::ApplicationModal);
    m_message->show();
}

QString frm718::unitName() const
{
    return m_onlyLine.isEmpty() ? QString::number(m_ports.CurrentPort) : m_onlyLine;
}

QString frm718::lineName(qint16 port) const
{
    return m_onlyLine.isEmpty() || port != 0 ? devicePathForPort(port) : m_onlyLine;
}
