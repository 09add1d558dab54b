#pragma once

#include "form718.h"
#include "panelstate.h"
#include "statusdisplay.h"

#include "device/ports.h"
#include "device/portservice.h"
#include "device/reports.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class OffsetEntry;
class QMessageBox;
class SetTimeEditor;
class SettingsControls;

// The main window: the port list, the unit's time and lock, its settings, the
// microsecond offset and the set-time editor. It owns the serial line `Comm`
// and wires each control to the routine that owns its behaviour.
class frm718 : public QWidget
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;
    using StatusDisplayFactory = std::function<std::unique_ptr<StatusDisplay>(Form718 &, PanelState &)>;

    explicit frm718(std::unique_ptr<PortService> comm, QWidget *parent = nullptr);
    // With a status display of the caller's making, for staging failures.
    frm718(std::unique_ptr<PortService> comm, const StatusDisplayFactory &makeDisplay,
           QWidget *parent = nullptr);
    ~frm718() override;

    // Local time for the set-time fields; the computer's clock unless set.
    void setClock(Clock clock);

    // Start-up, before the window is first shown: finds the ports, reopens
    // the remembered one, shows the lamp unlocked and fills the set-time
    // fields from the clock.
    void Form_Load();

    // Fills the port list with the ports found and selects and opens
    // `current` if it is among them.
    void PopulateComports(qint16 current);
    // Opens the port selected in the list and remembers it, or says "Cannot
    // open Comport".
    void UpdateComport();

    // The line's notification: takes every waiting byte and frames it. A line
    // failure, or an error while showing a report, closes the port and opens
    // it again; if that fails the window shows the link as lost.
    void Comm_OnComm();
    void ProcessReceivedBytes(QByteArrayView block);

    PortService &Comm() { return *m_comm; }
    Form718 &ui() { return m_ui; }
    PanelState &state() { return m_state; }
    Module1::ReportFramer &framer() { return m_framer; }
    Module1::PortState &ports() { return m_ports; }
    StatusDisplay &statusDisplay() { return *m_status; }
    SetTimeEditor &setTimeEditor() { return *m_setTime; }

private:
    void cmbComports_Click();
    void RecoverReceive();
    void ShowLinkLost();
    void ShowCannotOpenComport();

    std::unique_ptr<PortService> m_comm;
    Form718 m_ui;
    PanelState m_state;
    Module1::PortState m_ports;
    Module1::ReportFramer m_framer;
    std::unique_ptr<StatusDisplay> m_status;
    SettingsControls *m_settings = nullptr;
    SetTimeEditor *m_setTime = nullptr;
    OffsetEntry *m_offset = nullptr;
    Clock m_clock;
    QPointer<QMessageBox> m_message;
    // A recovery reopened the port and no byte has arrived since: a second
    // failure now means the line cannot be used, not a passing fault.
    bool m_reopenedWithoutData = false;
};
