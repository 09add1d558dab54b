#pragma once

#include <prometheus/collectable.h>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <QString>

#include <map>
#include <optional>
#include <memory>
#include <string>

// The monitor's metrics, all with the label unit="NAME", in one registry that
// the metrics server renders for /metrics, in the same thread. Every family is
// made once; a unit's series are added as the unit reports what they hold.
//
//   qv718_line_up                         gauge, 1 while the unit's line is open
//   qv718_unit_reporting                  gauge, 1 while a whole report came within UnitWatch::SilenceMs
//   qv718_reader_locked                   gauge, the latest status report's lock bit,
//                                         absent while the line is down or the unit silent
//   qv718_reader_lock_changes_total       counter, changes of that bit within a connection
//   qv718_reports_total{kind}             counter, whole reports, kind="time" or "status"
//   qv718_last_report_timestamp_seconds{kind}  gauge, Unix time of the latest
//   qv718_clock_offset_seconds            gauge, the unit's time minus the computer's,
//                                         absent while the line is down or the unit silent
//   qv718_line_failures_total{reason}     counter, failed openings and lost lines, by reason
//   qv718_time_code_jumps_total           counter, time reports whose second did not follow
//   qv718_report_phase_seconds            histogram, each time report's phase (unitclock.h)
//   qv718_calibrated_phase_seconds        gauge, the unit's calibrated phase, where it has one
//   qv718_report_errors_total{kind}       counter, stray bytes, overlong and incomplete frames
//   qv718_unit_info{line,read_mode,generate_mode,time_zone,control_function,time_report}  gauge, 1
//   qv718_monitor_build_info{version}     gauge, 1 (no unit label)
//   qv718_host_clock_synchronised         gauge, 1 while the kernel says the computer's
//                                         clock is synchronised (no unit label; read when scraped)
class Metrics
{
public:
    Metrics();

    std::shared_ptr<prometheus::Registry> registry() const { return m_registry; }
    // What is read when scraped: the computer's clock's sync state.
    std::shared_ptr<prometheus::Collectable> readAtScrape() const { return m_hostClock; }

    // One unit's series, withdrawn with it.
    class Unit
    {
    public:
        // `phase`: the unit's calibrated phase, where it is known.
        Unit(Metrics &metrics, const QString &name, std::optional<double> phase = std::nullopt);
        ~Unit();

        void setLineUp(bool up);
        void setReporting(bool reporting);
        void setLocked(bool locked);
        void lockChanged();
        // A whole report of this kind ("time" or "status") at Unix time `at`.
        void report(const char *kind, double at);
        void setClockOffset(double seconds);
        // A time report's phase (unitclock.h), and a jump of its time code.
        void setPhase(double seconds);
        void timeCodeJumped();
        // The lock and the clock offset stop being true: they are withdrawn
        // until the next reports set them again.
        void withdrawReadings();
        // A failed opening or a lost line, by reason (failureName).
        void lineFailed(const char *reason);
        // `count` more report errors of `kind` ("stray", "overlong", "incomplete").
        void reportErrors(const char *kind, quint64 count);
        void setInfo(const std::map<std::string, std::string> &labels);

    private:
        Metrics &m_metrics;
        prometheus::Labels m_unit;
        prometheus::Gauge &m_lineUp;
        prometheus::Gauge &m_reporting;
        prometheus::Counter &m_lockChanges;
        prometheus::Counter &m_jumps;
        prometheus::Histogram &m_phase;
        prometheus::Gauge *m_calibrated = nullptr;
        prometheus::Gauge *m_locked = nullptr;
        prometheus::Gauge *m_offset = nullptr;
        prometheus::Gauge *m_info = nullptr;
        std::map<std::string, prometheus::Counter *> m_reports;
        std::map<std::string, prometheus::Counter *> m_failures;
        std::map<std::string, prometheus::Counter *> m_reportErrors;
        std::map<std::string, prometheus::Gauge *> m_lastReport;
    };

private:
    std::shared_ptr<prometheus::Registry> m_registry = std::make_shared<prometheus::Registry>();
    // The unit families, in the order they are registered.
    template <typename Kind>
    using Family = prometheus::Family<Kind>;
    Family<prometheus::Gauge> &m_lineUp, &m_reporting, &m_locked;
    Family<prometheus::Counter> &m_lockChanges, &m_reports;
    Family<prometheus::Gauge> &m_lastReport, &m_offset, &m_info;
    Family<prometheus::Counter> &m_failures, &m_reportErrors, &m_jumps;
    Family<prometheus::Histogram> &m_phase;
    Family<prometheus::Gauge> &m_calibrated;
    std::shared_ptr<prometheus::Collectable> m_hostClock;
};
