#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

// A unit as a clock: each time report's arrival against the moment it names.
//
// A report's phase is its arrival (the computer's clock as the line delivered
// its terminator) minus the moment it names: its second, less the unit's
// time zone, in the year as today resolves it (reporttime.h). It is a constant
// of the unit and its cable, measured once (qv718-monitor --calibrate) and
// given back as the unit's calibrated phase. With it, the unit's time at a
// report's arrival is the moment it names plus that phase.
//
// A report whose second differs from the last one's by more, or less, than
// the time that passed (JumpSeconds either way) is a jump: a skipped,
// repeated or stepped second. The last report is forgotten when the line
// opens again and when the unit falls silent: the next one has nothing to
// follow.
class UnitClock
{
public:
    static constexpr double JumpSeconds = 0.5;

    explicit UnitClock(std::optional<double> calibratedPhase = std::nullopt);

    std::optional<double> calibratedPhase() const { return m_calibrated; }

    struct Reading
    {
        double phase = 0;      // seconds
        bool jump = false;     // against the last report
        bool follows = false;  // the last report is known and this follows it
        // The unit's time minus the computer's at the arrival, in seconds:
        // with the calibrated phase where there is one, else whole seconds.
        double offset = 0;
    };

    // A whole time report, its data bytes and count, arrived at `arrivedNs`
    // (CLOCK_REALTIME nanoseconds), from a unit in time-zone position `zone`.
    Reading timeReport(const quint8 *report, qint16 count, qint64 arrivedNs, int zone);

    // Nothing to follow: a new connection, or silence.
    void forget() { m_last.reset(); }

private:
    std::optional<double> m_calibrated;
    struct Last
    {
        qint64 namedMs;
        qint64 arrivedNs;
    };
    std::optional<Last> m_last;
};

// The value at `fraction` (0 to 1) of sorted, non-empty values, between the
// two nearest: how a unit's phases are summed up.
inline double percentile(const std::vector<double> &sorted, double fraction)
{
    const double at = fraction * double(sorted.size() - 1);
    const std::size_t below = std::size_t(at);
    const double above = sorted[std::min(below + 1, sorted.size() - 1)];
    return sorted[below] + (at - double(below)) * (above - sorted[below]);
}
