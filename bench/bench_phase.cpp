// A unit's phase as the monitor measures it, and how much it moves from one
// time report to the next.
//
//   bench_phase [--for SECONDS] LINE
//
// Watches the unit on LINE (a device path, such as the link a qv718-sim
// keeps to its pseudo-terminal) for SECONDS (60 unless said) through the
// monitor's own code: the line it opens (EntryLine, whose serial line reads
// the terminal itself and notes the computer's clock at the read that brings
// each report's terminator), the session that frames the reports
// (UnitSession) and the unit's clock (UnitClock), which makes the phase: the
// arrival minus the second the report names. Only the reports that the
// monitor would give chronyd or a calibration are taken (after a status
// report of the connection that says the reader is locked, following the
// report before by the time that passed), as qv718-monitor --calibrate
// takes them.
//
// Prints a Markdown table: the reports used and skipped, the median phase,
// and the phase's deviation from that median (its absolute value) at the
// 50th, 90th, 99th percentile and at most; then one "RESULT key value" line
// per figure for bench/run. Exits with status 1 if no report could be used.

#include "device/lines/entryline.h"
#include "device/protocol/reports.h"
#include "device/protocol/statusreading.h"
#include "events/unitclock.h"
#include "events/unitsession.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// What the monitor keeps of a connection to take a time report as a reading
// of the unit's clock (monitoredunit.cpp), and the phases taken.
class PhaseWatch final : public QObject
{
public:
    explicit PhaseWatch(const QString &line)
    {
        m_line.setEntry(line);
        connect(&m_line, &UnitLine::received, &m_session, &UnitSession::receive);
        connect(&m_line, &UnitLine::failed, &m_session, &UnitSession::receive);
        connect(&m_session, &UnitSession::timeReport, this, &PhaseWatch::takeTimeReport);
        connect(&m_session, &UnitSession::statusReport, this, [this](const quint8 *report) {
            std::copy(report, report + m_status.size(), m_status.begin());
            m_statusKnown = true;
        });
        connect(&m_session, &UnitSession::lineOpened, this, [this] {
            m_clock.forget();
            m_statusKnown = false;
            m_timeReportLength = 0;
        });
        connect(&m_session, &UnitSession::lineLost, this, [this] {
            m_statusKnown = false;
            ++m_lost;
        });
        connect(&m_session, &UnitSession::silent, this, [this] { m_clock.forget(); });
    }

    void start() { m_session.start(); }
    QString refusal() const { return m_line.refusal(); }

    std::vector<double> phases;
    quint64 skipped = 0;
    quint64 jumps = 0;
    quint64 lost() const { return m_lost; }

private:
    void takeTimeReport(const quint8 *report, qint16 count, qint64 arrivedNs)
    {
        if (!m_timeReportLength)
            m_timeReportLength = count == Frames::TimeReportLongLength ? count : Frames::TimeReportShortLength;
        if (!m_statusKnown) {
            ++skipped;
            return;
        }
        const int zone = readStatus(m_status.data(), m_timeReportLength == Frames::TimeReportLongLength).timeZone;
        const UnitClock::Reading reading = m_clock.timeReport(report, count, arrivedNs, zone);
        jumps += reading.jump ? 1 : 0;
        if (Frames::readerLocked(m_status.data()) && !reading.jump && reading.follows)
            phases.push_back(reading.phase);
        else
            ++skipped;
    }

    EntryLine m_line;
    UnitSession m_session{m_line};
    UnitClock m_clock;
    int m_timeReportLength = 0;
    bool m_statusKnown = false;
    std::array<quint8, Frames::StatusReportLength> m_status{};
    quint64 m_lost = 0;
};

int usage()
{
    std::fprintf(stderr, "usage: bench_phase [--for SECONDS] LINE\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    double seconds = 60;
    if (arguments.size() == 3 && arguments.first() == QLatin1String("--for")) {
        bool number = false;
        seconds = arguments.at(1).toDouble(&number);
        if (!number || !(seconds > 0))
            return usage();
        arguments = arguments.mid(2);
    }
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1Char('-')))
        return usage();

    PhaseWatch watch(arguments.first());
    if (!watch.refusal().isEmpty()) {
        std::fprintf(stderr, "bench_phase: %s: %s\n", qPrintable(arguments.first()), qPrintable(watch.refusal()));
        return 2;
    }
    QTimer::singleShot(int(std::lround(seconds * 1000)), &app, &QCoreApplication::quit);
    watch.start();
    QCoreApplication::exec();

    if (watch.phases.empty()) {
        std::fprintf(stderr, "bench_phase: no time report could be used in %g s (%llu skipped, line lost %llu times)\n",
                     seconds, static_cast<unsigned long long>(watch.skipped), static_cast<unsigned long long>(watch.lost()));
        return 1;
    }
    std::vector<double> sorted = watch.phases;
    std::sort(sorted.begin(), sorted.end());
    const double median = percentile(sorted, 0.5);
    std::vector<double> deviations;
    for (const double phase : sorted)
        deviations.push_back(std::abs(phase - median) * 1e6);
    std::sort(deviations.begin(), deviations.end());
    const double p50 = percentile(deviations, 0.5), p90 = percentile(deviations, 0.9),
                 p99 = percentile(deviations, 0.99), most = deviations.back();
    const double low = percentile(sorted, 0.01), high = percentile(sorted, 0.99);

    std::printf("| reports used | skipped | median phase | deviation: median | 90th | 99th | max | phase, 1st to 99th percentile |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::printf("| %zu | %llu | %.6f s | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %.6f to %.6f s |\n", sorted.size(),
                static_cast<unsigned long long>(watch.skipped), median, p50, p90, p99, most, low, high);
    std::printf("RESULT phase_used %zu\nRESULT phase_skipped %llu\nRESULT phase_jumps %llu\nRESULT phase_lost %llu\n"
                "RESULT phase_median_s %.6f\nRESULT phase_dev_p50_us %.0f\nRESULT phase_dev_p90_us %.0f\n"
                "RESULT phase_dev_p99_us %.0f\nRESULT phase_dev_max_us %.0f\nRESULT phase_p01_s %.6f\n"
                "RESULT phase_p99_s %.6f\n",
                sorted.size(), static_cast<unsigned long long>(watch.skipped),
                static_cast<unsigned long long>(watch.jumps), static_cast<unsigned long long>(watch.lost()), median,
                p50, p90, p99, most, low, high);
    return 0;
}
