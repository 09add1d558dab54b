#include "calibration.h"

#include "hostclock.h"
#include "metrics.h"

#include "device/common/program.h"
#include "device/common/signalwatch.h"
#include "events/journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace {

QString seconds(double value, int decimals = 6)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

Calibration::Calibration(const MonitoredLine &unit)
    : m_unit(unit)
{
}

void Calibration::take(ClockUse use, const UnitClock::Reading &reading)
{
    if (use == ClockUse::Used)
        m_phases.push_back(reading.phase);
    else
        ++m_skipped.at(std::size_t(use));
}

QString Calibration::result(double measuredFor) const
{
    const auto skipped = [this](ClockUse use) { return m_skipped.at(std::size_t(use)); };
    quint64 skippedAll = m_notWhole;
    for (const quint64 count : m_skipped)
        skippedAll += count;
    QString text = QStringLiteral("Unit %1 on %2, %3 s against the computer's clock\n").arg(m_unit.name, m_unit.entry).arg(qRound(measuredFor));
    text += QStringLiteral("reports used: %1\n"
                           "reports skipped: %2 (before the first status report %3, reader unlocked %4, jump %5, "
                           "first after an opening or a silence %6, not whole %7)\n")
                .arg(m_phases.size()).arg(skippedAll).arg(skipped(ClockUse::NoStatus)).arg(skipped(ClockUse::Unlocked))
                .arg(skipped(ClockUse::Jump)).arg(skipped(ClockUse::NoFollow)).arg(m_notWhole);
    if (m_phases.empty())
        return text + QStringLiteral("No time report could be used: no phase measured.\n");

    std::vector<double> sorted = m_phases;
    std::sort(sorted.begin(), sorted.end());
    const double median = percentile(sorted, 0.5);
    std::vector<double> deviations;
    for (const double phase : sorted)
        deviations.push_back(std::abs(phase - median));
    std::sort(deviations.begin(), deviations.end());
    const double low = percentile(sorted, 0.01), high = percentile(sorted, 0.99);
    const double delay = std::max(0.0001, std::ceil((high - low) * 1e4) / 1e4);
    const QString socket = QStringLiteral("/run/chrony.qv718-%1.sock").arg(m_unit.name);
    text += QStringLiteral("median phase: %1 s\n"
                           "median absolute deviation: %2 s\n"
                           "1st to 99th percentile: %3 to %4 s\n\n")
                .arg(seconds(median), seconds(percentile(deviations, 0.5)), seconds(low), seconds(high));
    text += QStringLiteral("For the monitor's settings, under [Units]:\n%1=%2,phase=%3\n\n")
                .arg(m_unit.name, m_unit.entry, seconds(median, 4));
    text += QStringLiteral("For chrony.conf, with %1=%2 under [Chrony] in the monitor's settings (noselect: chrony "
                           "only watches the unit until you remove it):\n"
                           "refclock SOCK %2 refid %3 delay %4 noselect\n")
                .arg(m_unit.name, socket, m_unit.name.right(4).toUpper(), seconds(delay, 4));
    return text;
}

int calibrate(const MonitoredLine &unit, double seconds, bool trustClock)
{
    if (!trustClock && !hostClockSynchronised()) {
        std::fprintf(stderr, "%s: the computer's clock is not synchronised (adjtimex), so a phase measured against it "
                             "would be wrong: synchronise it first, or give --trust-clock\n", Program::MonitorName);
        return 2;
    }
    Journal::toStandardError();
    Metrics metrics;  // the unit's series, never served
    MonitoredUnit watched(unit.name, unit.entry, std::nullopt, metrics);
    Calibration calibration(unit);
    QObject::connect(&watched, &MonitoredUnit::clockReading,
                     [&](ClockUse use, const UnitClock::Reading &reading, qint64) { calibration.take(use, reading); });
    QObject::connect(&watched, &MonitoredUnit::reportsLost, [&](quint64 count) { calibration.lost(count); });
    if (!watchSignals({SIGINT, SIGTERM}, [](int) { QCoreApplication::quit(); }))
        return 1;
    QTimer::singleShot(int(qRound64(seconds * 1000)), QCoreApplication::instance(), &QCoreApplication::quit);
    std::fprintf(stderr, "%s: measuring unit %s's phase for %g s (Ctrl+C ends it sooner)\n", Program::MonitorName,
                 qPrintable(unit.name), seconds);
    QElapsedTimer measuring;
    measuring.start();
    watched.start();
    QCoreApplication::exec();
    std::printf("%s", qPrintable(calibration.result(double(measuring.elapsed()) / 1000)));
    return calibration.measured() ? 0 : 1;
}
