#pragma once

#include "device/protocol/reports.h"

#include <QObject>
#include <QPixmap>

class SetTimeEditor;
namespace Ui {
class frm718;
}

// What the window shows of the unit and its link. Every time report rewrites
// the generator time; every status report sets the lock lamp and the
// set-time editor; the first status report after a port was opened (once a
// time report has told the unit's kind) loads every setting into the
// controls and enables them. Later reports leave the settings alone until a
// port is opened again.
// When the unit falls silent, showSilent() shows "No Reports", the grey lamp
// and "Unlocked", until its next report. It only shows: the unit's session
// (unitsession.h) hands it the reports and tells it of silence.
class StatusDisplay : public QObject
{
    Q_OBJECT

public:
    StatusDisplay(Ui::frm718 &ui, SetTimeEditor &setTime, QObject *parent);

    // A time report: its data bytes and their count. A status report: its
    // positions 0 to 8, whatever the frame's count (reports.h).
    void ShowGeneratorTime(const quint8 *report, qint16 count);
    void ApplyStatus(const quint8 *report);

    // The next usable status report is to be applied in full: at start-up,
    // and whenever a port has been opened.
    void requestFullReport() { RefreshPending = true; }
    // True while a status report is written into the settings controls;
    // their own handlers then send nothing back to the unit.
    bool applyingStatus() const { return ApplyingStatus; }

    // Enables or disables the settings controls and the set-time editor as
    // one group, shows the lamp locked exactly when enabled, and writes "Not
    // Connected" into the generator time whatever the argument. The port
    // list, the year field and the frame of the set-time fields stay.
    // Disabled, it is the display of a line just opened, or of one lost:
    // nothing has been reported on it yet.
    void EnableInterface(bool enabled);
    // Green lamp and "Locked", or grey lamp and "Unlocked".
    void ShowLockState(bool locked);
    // The unit sends no reports: grey lamp, "Unlocked", "No Reports".
    void showSilent();

private:
    // Offers "GPS" as read mode 6, or withdraws it.
    void SetGpsAvailable(bool available);
    // Offers "Encoded Year" as control function 2 for a unit with dated
    // reports, else withdraws it.
    void SetEncodedYearAvailable(bool timeReportHasDate);
    // The lamps: image 1 green (locked), image 2 grey (unlocked).
    static const QPixmap &ImageList1(int image);

    Ui::frm718 &ui;
    SetTimeEditor &m_setTime;
    // Where the set-time fields stand without the year field beside them.
    int m_setTimeLeftWithoutYear;

    bool ApplyingStatus = false;
    bool RefreshPending = false;
    // The first time report of the run has decided TimeReportHasDate: that
    // report had 8 data bytes (year and date).
    bool TimeFormatKnown = false;
    bool TimeReportHasDate = false;
};
