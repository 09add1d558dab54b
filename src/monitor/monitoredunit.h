#pragma once

#include "metrics.h"

#include "device/lines/entryline.h"
#include "events/journal.h"
#include "events/unitclock.h"
#include "events/unitsession.h"

#include <QObject>

// Whether a time report may stand for the unit's time (a sample for chrony, a
// phase for a calibration), or the first of the reasons it may not:
//   NoStatus   no status report yet on this connection: neither the unit's
//              time zone nor its reader's lock is known
//   Unlocked   the latest status report says the reader is not locked: the
//              unit runs on its own oscillator, not the time code
//   Jump       the report's second does not follow the last one's by the
//              time that passed (unitclock.h)
//   NoFollow   nothing to follow: the first report read after an opening or
//              a silence
enum class ClockUse { Used, NoStatus, Unlocked, Jump, NoFollow };

// One unit the monitor watches: its line and its session (unitsession.h),
// which opens, awaits and reads the line as the panel's does, and what the
// session hands out mapped to the unit's metrics and journal entries.
// Nothing is ever sent to the unit.
class MonitoredUnit final : public QObject
{
    Q_OBJECT

public:
    // The unit `name` on the line `entry`, of calibrated `phase` if known.
    MonitoredUnit(const QString &name, const QString &entry, std::optional<double> phase, Metrics &metrics,
                  QObject *parent = nullptr);

    // Opens the line, or awaits it.
    void start();

signals:
    // Each whole time report as a reading of the unit's clock, synchronously:
    // its use, the reading (all zero for NoStatus) and its arrival
    // (CLOCK_REALTIME nanoseconds).
    void clockReading(ClockUse use, const UnitClock::Reading &reading, qint64 arrivedNs);
    // `count` more frames were not whole (cut off, or overlong): time or
    // status reports lost.
    void reportsLost(quint64 count);

private:
    void takeTimeReport(const quint8 *report, qint16 count, qint64 arrivedNs);
    void takeStatusReport(const quint8 *report);
    void lost(LineFailure failure);
    void countReportErrors();
    void updateInfo();


    QString m_name;
    QString m_lineEntry;
    EntryLine m_line;
    UnitSession m_session{m_line};
    UnitEventLog m_events;
    UnitClock m_clock;
    Metrics::Unit m_metrics;
    // What the reports have told so far, on this connection.
    int m_timeReportLength = 0;  // of the first time report; 0 before it
    bool m_statusKnown = false;
    std::array<quint8, Frames::StatusReportLength> m_status{};
    std::map<std::string, std::string> m_info;
    Frames::ReportFramer::Errors m_errorsCounted;  // told to the metrics so far
};
