#include "metrics.h"
#include "hostclock.h"

#include "device/common/program.h"
#include "events/unitwatch.h"

using namespace prometheus;

namespace {

// qv718_host_clock_synchronised, from the kernel's clock discipline at each
// scrape (hostclock.h).
class HostClock final : public Collectable
{
public:
    std::vector<MetricFamily> Collect() const override
    {
        ClientMetric synchronised;
        synchronised.gauge.value = hostClockSynchronised() ? 1 : 0;
        return {MetricFamily{"qv718_host_clock_synchronised",
                             "1 while the kernel says the computer's clock is synchronised (adjtimex), else 0",
                             MetricType::Gauge,
                             {synchronised}}};
    }
};

} // namespace

Metrics::Metrics()
    : m_lineUp(BuildGauge().Name("qv718_line_up").Help("1 while the unit's line is open, else 0").Register(*m_registry))
    , m_reporting(BuildGauge()
                      .Name("qv718_unit_reporting")
                      .Help("1 while the unit's line is open and a whole report arrived in the last "
                            + std::to_string(UnitWatch::SilenceMs / 1000) + " s, else 0")
                      .Register(*m_registry))
    , m_locked(BuildGauge()
                   .Name("qv718_reader_locked")
                   .Help("The reader's lock bit in the latest status report: 1 locked, 0 not")
                   .Register(*m_registry))
    , m_lockChanges(BuildCounter()
                        .Name("qv718_reader_lock_changes_total")
                        .Help("Changes of the lock bit between consecutive status reports of one connection")
                        .Register(*m_registry))
    , m_reports(BuildCounter().Name("qv718_reports_total").Help("Whole reports received, by kind").Register(*m_registry))
    , m_lastReport(BuildGauge()
                       .Name("qv718_last_report_timestamp_seconds")
                       .Help("Unix time of the latest whole report, by kind")
                       .Register(*m_registry))
    , m_offset(BuildGauge()
                   .Name("qv718_clock_offset_seconds")
                   .Help("The unit's time minus the computer's clock at a time report's arrival, in seconds: with "
                         "the unit's calibrated phase (qv718_calibrated_phase_seconds) to about a millisecond, "
                         "without one in whole seconds (the report's phase and travel left in)")
                   .Register(*m_registry))
    , m_info(BuildGauge()
                 .Name("qv718_unit_info")
                 .Help("Always 1: the unit's line and its settings as the panel shows them")
                 .Register(*m_registry))
    , m_failures(BuildCounter()
                     .Name("qv718_line_failures_total")
                     .Help("Failed openings of the unit's line and losses of it, by reason")
                     .Register(*m_registry))
    , m_reportErrors(BuildCounter()
                         .Name("qv718_report_errors_total")
                         .Help("What came on the line that was no whole report: stray bytes outside a frame, "
                               "overlong frames (more than 30 data bytes), incomplete frames")
                         .Register(*m_registry))
    , m_jumps(BuildCounter()
                  .Name("qv718_time_code_jumps_total")
                  .Help("Time reports whose second did not follow the last one's by the time that passed "
                        "(0.5 s either way): a skipped, repeated or stepped second")
                  .Register(*m_registry))
    , m_phase(BuildHistogram()
                  .Name("qv718_report_phase_seconds")
                  .Help("Each time report's phase: its arrival minus the moment it names, in seconds; buckets of "
                        "1 ms around the unit's calibrated phase")
                  .Register(*m_registry))
    , m_calibrated(BuildGauge()
                       .Name("qv718_calibrated_phase_seconds")
                       .Help("The unit's calibrated phase, as its settings give it; absent for a unit without one")
                       .Register(*m_registry))
    , m_hostClock(std::make_shared<HostClock>())
{
    BuildGauge()
        .Name("qv718_monitor_build_info")
        .Help("Always 1: the monitor's version")
        .Register(*m_registry)
        .Add({{"version", Program::version().toStdString()}})
        .Set(1);
}

namespace {

// Buckets of 1 ms up to 5 ms either side of the calibrated phase, then 10,
// 20, 50, 100 and 200 ms: 21 bounds. Without a phase, 0.1 s apart over the
// second. A small scrape for 64 units all the same.
prometheus::Histogram::BucketBoundaries phaseBuckets(std::optional<double> phase)
{
    prometheus::Histogram::BucketBoundaries bounds;
    if (!phase) {
        for (int tenth = 0; tenth <= 10; ++tenth)
            bounds.push_back(tenth / 10.0);
        return bounds;
    }
    for (const double ms : {-200, -100, -50, -20, -10, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 10, 20, 50, 100, 200})
        bounds.push_back(*phase + ms / 1000);
    return bounds;
}

} // namespace

Metrics::Unit::Unit(Metrics &metrics, const QString &name, std::optional<double> phase)
    : m_metrics(metrics)
    , m_unit{{"unit", name.toStdString()}}
    , m_lineUp(metrics.m_lineUp.Add(m_unit))
    , m_reporting(metrics.m_reporting.Add(m_unit))
    , m_lockChanges(metrics.m_lockChanges.Add(m_unit))
    , m_jumps(metrics.m_jumps.Add(m_unit))
    , m_phase(metrics.m_phase.Add(m_unit, phaseBuckets(phase)))
{
    for (const char *kind : {"time", "status"}) {
        Labels labels = m_unit;
        labels["kind"] = kind;
        m_reports[kind] = &metrics.m_reports.Add(labels);
    }
    if (phase) {
        m_calibrated = &metrics.m_calibrated.Add(m_unit);
        m_calibrated->Set(*phase);
    }
    for (const char *kind : {"stray", "overlong", "incomplete"}) {
        Labels labels = m_unit;
        labels["kind"] = kind;
        m_reportErrors[kind] = &metrics.m_reportErrors.Add(labels);
    }
}

// A unit no longer watched: its series withdrawn, none left to repeat its
// last values.
Metrics::Unit::~Unit()
{
    m_metrics.m_lineUp.Remove(&m_lineUp);
    m_metrics.m_reporting.Remove(&m_reporting);
    m_metrics.m_lockChanges.Remove(&m_lockChanges);
    m_metrics.m_jumps.Remove(&m_jumps);
    m_metrics.m_phase.Remove(&m_phase);
    if (m_calibrated)
        m_metrics.m_calibrated.Remove(m_calibrated);
    for (const auto &[kind, counter] : m_reports)
        m_metrics.m_reports.Remove(counter);
    for (const auto &[kind, gauge] : m_lastReport)
        m_metrics.m_lastReport.Remove(gauge);
    for (const auto &[reason, counter] : m_failures)
        m_metrics.m_failures.Remove(counter);
    for (const auto &[kind, counter] : m_reportErrors)
        m_metrics.m_reportErrors.Remove(counter);
    if (m_locked)
        m_metrics.m_locked.Remove(m_locked);
    if (m_offset)
        m_metrics.m_offset.Remove(m_offset);
    if (m_info)
        m_metrics.m_info.Remove(m_info);
}

void Metrics::Unit::setLineUp(bool up)
{
    m_lineUp.Set(up ? 1 : 0);
}

void Metrics::Unit::setReporting(bool reporting)
{
    m_reporting.Set(reporting ? 1 : 0);
}

void Metrics::Unit::setLocked(bool locked)
{
    if (!m_locked)
        m_locked = &m_metrics.m_locked.Add(m_unit);
    m_locked->Set(locked ? 1 : 0);
}

void Metrics::Unit::lockChanged()
{
    m_lockChanges.Increment();
}

void Metrics::Unit::report(const char *kind, double at)
{
    m_reports[kind]->Increment();
    prometheus::Gauge *&last = m_lastReport[kind];
    if (!last) {
        Labels labels = m_unit;
        labels["kind"] = kind;
        last = &m_metrics.m_lastReport.Add(labels);
    }
    last->Set(at);
}

void Metrics::Unit::setClockOffset(double seconds)
{
    if (!m_offset)
        m_offset = &m_metrics.m_offset.Add(m_unit);
    m_offset->Set(seconds);
}

void Metrics::Unit::setPhase(double seconds)
{
    m_phase.Observe(seconds);
}

void Metrics::Unit::timeCodeJumped()
{
    m_jumps.Increment();
}

void Metrics::Unit::withdrawReadings()
{
    if (m_locked)
        m_metrics.m_locked.Remove(std::exchange(m_locked, nullptr));
    if (m_offset)
        m_metrics.m_offset.Remove(std::exchange(m_offset, nullptr));
}

void Metrics::Unit::lineFailed(const char *reason)
{
    prometheus::Counter *&failures = m_failures[reason];
    if (!failures) {
        Labels labels = m_unit;
        labels["reason"] = reason;
        failures = &m_metrics.m_failures.Add(labels);
    }
    failures->Increment();
}

void Metrics::Unit::reportErrors(const char *kind, quint64 count)
{
    if (count)
        m_reportErrors.at(kind)->Increment(double(count));
}

void Metrics::Unit::setInfo(const std::map<std::string, std::string> &labels)
{
    Labels all = m_unit;
    all.insert(labels.begin(), labels.end());
    if (m_info)
        m_metrics.m_info.Remove(m_info);
    m_info = &m_metrics.m_info.Add(all);
    m_info->Set(1);
}
