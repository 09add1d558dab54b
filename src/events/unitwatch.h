#pragma once

#include "device/lines/unitline.h"

#include <QObject>
#include <QTimer>

// What happens to a unit on its line, as the panel and the monitor report it.
// Events of one unit follow each other in a fixed pattern:
//
//   LineLost       the line failed, after it had carried a whole report; or
//                  (where the watcher is told of failed openings) an
//                  opening failed, once per change of its reason while the
//                  line stays down
//   LineBack       the line is open again after LineLost, and a whole report
//                  has arrived on it
//   UnitSilent     no whole report for SilenceMs on an open line that has
//                  carried one (losing the line gives LineLost alone)
//   UnitReporting  a whole report again after UnitSilent
//   LockLost       the lock bit went from set to clear between two status
//   LockRegained   reports of one connection (and from clear to set); the
//                  first status report of a connection only sets the
//                  baseline
//
// A line's first opening is no event, nor a connection that opens and ends
// without a report.
//
// One more the watch does not tell, but the unit's clock (unitclock.h):
//
//   TimeCodeJump   a time report's second did not follow the last one's by
//                  the time that passed: a skipped, repeated or stepped second
enum class UnitEvent { LineLost, LineBack, UnitSilent, UnitReporting, LockLost, LockRegained, TimeCodeJump };
inline constexpr int UnitEventCount = 7;

// Follows one unit's line and reports and tells its events. One single-shot
// timer, restarted by each whole report, tells silence: it never fires while
// reports flow, and nothing runs while the unit stays silent.
class UnitWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int SilenceMs = 3000;

    explicit UnitWatch(QObject *parent = nullptr);

    // A connection stands; nothing has been reported on it yet.
    void lineOpened();
    // The connection ended, for `failure`: the line is lost.
    void lineLost(LineFailure failure = LineFailure::None);
    // An opening failed, for `failure`, and the line stays down, also before
    // it ever opened: the monitor tells why a line is down, once for each
    // new reason (the panel does not call this).
    void openFailed(LineFailure failure);
    // Why the line is down, as the latest LineLost told it.
    LineFailure failure() const { return m_told; }
    // A whole report: a time report, or a status report with its lock bit.
    void timeReport();
    void statusReport(bool locked);
    // Another unit is watched from now on: nothing of this one carries over.
    void forget();

    // The line is open and a whole report arrived within SilenceMs.
    bool reporting() const { return m_open && m_reported && !m_silent; }

signals:
    void happened(UnitEvent event);
    // No whole report for SilenceMs on a line that has carried one; reports
    // again after it come as whole reports.
    void silent();

private:
    void heard();

    QTimer m_silence;
    bool m_open = false;
    bool m_reported = false;  // on this connection
    bool m_lost = false;      // LineLost told, LineBack not yet
    bool m_silent = false;    // UnitSilent told, UnitReporting not yet
    bool m_lockKnown = false; // on this connection
    bool m_locked = false;
    LineFailure m_told = LineFailure::None;  // since the line was last back
};
