#include "frm718.h"

#include "offsetentry.h"
#include "picknotifier.h"
#include "settime.h"
#include "settingscontrols.h"
#include "windowstate.h"

#include "device/portnames.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>

#include <exception>

using namespace Module1;

frm718::frm718(std::unique_ptr<PortService> comm, QWidget *parent)
    : frm718(std::move(comm), [](Form718 &ui, PanelState &state) {
          return std::make_unique<StatusDisplay>(ui, state);
      }, parent)
{
}

frm718::frm718(std::unique_ptr<PortService> comm, const StatusDisplayFactory &makeDisplay,
               QWidget *parent)
    : QWidget(parent)
    , m_comm(std::move(comm))
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    m_status = makeDisplay(m_ui, m_state);
    m_ui.setupUi(this);
    m_comm->setParent(this);

    connect(new PickNotifier(m_ui.cmbComports), &PickNotifier::picked, this,
            &frm718::cmbComports_Click);
    connect(m_comm.get(), &PortService::received, this, &frm718::Comm_OnComm);
    m_settings = new SettingsControls(m_ui, m_state, *m_comm, this);
    m_setTime = new SetTimeEditor(m_ui, *m_comm, this);
    m_offset = new OffsetEntry(m_ui, m_state, *m_comm, this);
}

frm718::~frm718()
{
    // The port belongs to the window; make sure it is closed before the
    // controls go away.
    disconnect(m_comm.get(), nullptr, this, nullptr);
    if (m_comm->isOpen())
        m_comm->close();
    m_comm->setParent(nullptr);
}

void frm718::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void frm718::Form_Load()
{
    m_state.RefreshPending = -1;
    m_ports.CurrentPort = RememberedPort();
    ScanComports(*m_comm, m_ports);
    PopulateComports(m_ports.CurrentPort);
    WindowState::ShowLockState(m_ui, false);
    WindowState::LoadClockIntoFields(m_ui, m_clock());
}

void frm718::PopulateComports(qint16 current)
{
    if (m_ports.AvailablePortCount < 1)
        return;
    QComboBox *list = m_ui.cmbComports;
    list->clear();
    for (const qint16 port : std::as_const(m_ports.AvailablePorts)) {
        {
            // Qt selects the first entry of an empty list by itself; here an
            // entry is selected only when it is the remembered port.
            const QSignalBlocker quiet(list);
            list->addItem(QString::number(port));
            list->setItemData(list->count() - 1, DevicePathForPort(port), Qt::ToolTipRole);
            if (list->count() == 1)
                list->setCurrentIndex(-1);
        }
        if (port == current) {
            list->setCurrentIndex(list->count() - 1);
            OpenPortIfPresent(*m_comm, m_ports, port);
        }
    }
}

void frm718::cmbComports_Click()
{
    if (m_state.ApplyingStatus)
        return;
    if (m_ui.cmbComports->currentIndex() < 0)
        return;
    UpdateComport();
}

void frm718::UpdateComport()
{
    const QString entry = m_ui.cmbComports->currentText();
    const auto port = qint16(entry.toInt());
    if (OpenPortIfPresent(*m_comm, m_ports, port)) {
        m_ports.CurrentPort = port;
        RememberPort(entry);
        WindowState::EnableInterface(m_ui, false);
        m_state.RefreshPending = -1;
        m_reopenedWithoutData = false;
    } else {
        ShowCannotOpenComport();
    }
}

void frm718::Comm_OnComm()
{
    QByteArray block;
    if (m_comm->readInput(block)) {
        if (block.isEmpty())
            return;
        m_reopenedWithoutData = false;
        try {
            ProcessReceivedBytes(block);
            return;
        } catch (const std::exception &) {
            // Showing the report failed; the rest of the block is dropped.
        }
    }
    RecoverReceive();
}

void frm718::ProcessReceivedBytes(QByteArrayView block)
{
    m_framer.ProcessReceivedBytes(block, *m_status);
}

void frm718::RecoverReceive()
{
    if (m_comm->isOpen())
        m_comm->close();
    m_framer.InFrame = 0;
    if (!m_reopenedWithoutData && m_comm->open()) {
        m_reopenedWithoutData = true;
        return;
    }
    ShowLinkLost();
}

void frm718::ShowLinkLost()
{
    if (m_comm->isOpen())
        m_comm->close();
    ShowCannotOpenComport();
    WindowState::ShowLockState(m_ui, false);
    m_ui.lblGeneratorTime->setText(QStringLiteral("Not Connected"));
}

void frm718::ShowCannotOpenComport()
{
    // One message at a time. The box is modal but does not block here: the
    // line's notifications keep their own pace while the operator reads it.
    if (m_message)
        return;
    m_message = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("QV-718v1.0.2"),
                                QStringLiteral("Cannot open Comport"), QMessageBox::Ok, this);
    m_message->setObjectName(QStringLiteral("cannotOpenComport"));
    m_message->setAttribute(Qt::WA_DeleteOnClose);
    m_message->setWindowModality(Qt::ApplicationModal);
    m_message->show();
}
