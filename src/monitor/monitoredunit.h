#pragma once

#include "metrics.h"

#include "device/lines/entryline.h"
#include "device/lines/reportreceiver.h"
#include "events/journal.h"
#include "events/unitwatch.h"

#include <QObject>

// One unit the monitor watches: its line, opened as the panel opens one and
// awaited as the panel awaits a lost one (one quiet reopen where the line
// allows it, then the folder watch or the retry schedule), its reports framed
// by the panel's framing, its metrics and its events. Nothing is ever sent to
// the unit.
class MonitoredUnit final : public QObject, public Frames::ReportSink
{
    Q_OBJECT

public:
    MonitoredUnit(const QString &name, const QString &line, Metrics &metrics, QObject *parent = nullptr);

    // Opens the line, or awaits it.
    void start();

    void ShowGeneratorTime(const quint8 *report, qint16 count) override;
    void ApplyStatus(const quint8 *report) override;

private:
    void received();
    void opened();
    void openFailed();
    void lost();
    void updateInfo();
    void updateClockOffset(const quint8 *report, qint16 count);

    QString m_name;
    QString m_lineEntry;
    EntryLine m_line;
    ReportReceiver m_receiver;
    UnitWatch m_watch;
    UnitEventLog m_events;
    Metrics::Unit m_metrics;
    // What the reports have told so far.
    int m_timeReportLength = 0;  // of the first time report; 0 before it
    bool m_statusKnown = false;
    std::array<quint8, Frames::StatusReportLength> m_status{};
    std::map<std::string, std::string> m_info;
    Frames::ReportFramer::Errors m_errorsCounted;  // told to the metrics so far
};
