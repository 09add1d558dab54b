#pragma once

#include "monitoredunit.h"
#include "monitoroptions.h"

#include <array>
#include <vector>

// A unit's phase (unitclock.h) measured against the computer's clock, for
// qv718-monitor --calibrate: the phases of the time reports that may stand
// for the unit's time (ClockUse::Used), and how many could not, by reason,
// with the frames that were not whole. Its result: the median phase, its
// spread (the median absolute deviation, and the 1st to the 99th
// percentile), the counts, and the lines to paste: the unit's LINE with
// ",phase=S" for the monitor's settings, and chrony's refclock line, whose
// delay is the 1st to 99th percentile's width (chrony takes half the delay
// as the source's error) and which stays noselect until the user trusts it.
class Calibration
{
public:
    explicit Calibration(const MonitoredLine &unit);

    void take(ClockUse use, const UnitClock::Reading &reading);
    void lost(quint64 count) { m_notWhole += count; }

    // Whether a phase was measured: at least one report was used.
    bool measured() const { return !m_phases.empty(); }
    // The result after `seconds` of measuring, as printed.
    QString result(double seconds) const;

private:
    MonitoredLine m_unit;
    std::vector<double> m_phases;
    std::array<quint64, 5> m_skipped{};  // by ClockUse
    quint64 m_notWhole = 0;
};

// qv718-monitor --calibrate: watches `unit` for `seconds` (or until SIGINT or
// SIGTERM), writing its events to standard error, and prints the result. The
// exit status: 0 with a phase, 1 if no report could be used, 2 if the
// computer's clock is unsynchronised and `trustClock` is false (one line,
// nothing opened).
int calibrate(const MonitoredLine &unit, double seconds, bool trustClock);
