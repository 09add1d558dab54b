#pragma once

#include "metrics.h"

#include "device/lines/entryline.h"
#include "events/journal.h"
#include "events/unitclock.h"
#include "events/unitsession.h"

#include <QObject>

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
