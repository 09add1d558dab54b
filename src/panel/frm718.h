#pragma once

#include "device/ports/portselection.h"
#include "events/journal.h"
#include "events/unitsession.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class PortService;
class QMessageBox;
class SetTimeEditor;
class StatusDisplay;
namespace Ui {
class frm718;
}

// The main window. Its controls come from the form frm718.ui; each group is
// wired to the file that owns its behaviour:
//
//   statusdisplay     the unit's reports: time, lock lamp, and its settings
//                     loaded once per connection
//   settingscontrols  the four settings lists and four check boxes
//   settimeeditor     the "Set Time:" fields and button
//   offsetentry       the microsecond offset field
//
// The window itself owns the serial line `Comm`, the port list, start-up,
// the line's notification and the recovery of a line that fails.
class frm718 : public QWidget
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // The window takes the line as its own child and closes it when it goes.
    explicit frm718(PortService *comm, QWidget *parent = nullptr);
    ~frm718() override;

    // Local time for the set-time fields; the computer's clock unless set.
    void setClock(Clock clock);

    // For this run only, before Form_Load: the port list holds this one
    // line, shown as `line` (a port number, a device path or a network
    // address), start-up opens it instead of scanning, and no choice is
    // remembered.
    void useOnlyLine(const QString &line);

    // Start-up, before the window is first shown: finds the ports, reopens
    // the remembered one, shows the lamp unlocked and fills the set-time
    // fields from the clock.
    void Form_Load();

private:
    void applyFonts();
    void PopulateComports(qint16 current);
    void cmbComports_Click();
    void UpdateComport();
    void Comm_OnComm();
    // The line is lost (or could not be used): the message, the settings
    // disabled; the session awaits the line.
    void showLinkLost();
    void showCannotOpenComport();
    // A line has just been opened, by a pick or by its return: nothing is
    // known of the unit on it yet, and its next status report is loaded in
    // full.
    void showOpened();
    // The unit as the journal names it: the port in use (or the line named on
    // the command line), and its line.
    QString unitName() const;
    // The line a port number stands for: its entry, or the line named for
    // this run.
    QString lineName(qint16 port) const;

    std::unique_ptr<Ui::frm718> ui;
    PortService *Comm;
    Ports::PortState m_ports;
    StatusDisplay *m_status = nullptr;
    SetTimeEditor *m_setTime = nullptr;
    Clock m_clock;
    QString m_onlyLine;
    QPointer<QMessageBox> m_message;
    // The unit's session on Comm, and its events told to the journal.
    UnitSession *m_session = nullptr;
    UnitEventLog m_events;
};
