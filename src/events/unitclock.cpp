#include "unitclock.h"

#include "device/protocol/reporttime.h"

#include <QDateTime>

#include <cmath>

UnitClock::UnitClock(std::optional<double> calibratedPhase)
    : m_calibrated(calibratedPhase)
{
}

UnitClock::Reading UnitClock::timeReport(const quint8 *report, qint16 count, qint64 arrivedNs, int zone)
{
    const QDateTime arrived = QDateTime::fromMSecsSinceEpoch(arrivedNs / 1000000, Qt::UTC);
    const qint64 namedMs = Frames::reportedTime(report, count, zone, arrived).toMSecsSinceEpoch();
    Reading reading;
    reading.phase = double(arrivedNs - namedMs * 1000000) / 1e9;
    reading.offset = m_calibrated ? *m_calibrated - reading.phase : double(namedMs - arrivedNs / 1000000) / 1000;
    if (m_last) {
        const double named = double(namedMs - m_last->namedMs) / 1000;
        const double passed = double(arrivedNs - m_last->arrivedNs) / 1e9;
        reading.jump = std::abs(named - passed) > JumpSeconds;
        reading.follows = !reading.jump;
    }
    m_last = Last{namedMs, arrivedNs};
    return reading;
}
