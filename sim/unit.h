#pragma once

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// A simulated QV-718 unit: its settings, its clock, what it makes of the
// command frames it receives and the reports it sends. No I/O and no clock of
// its own: the caller passes the time as a monotonic count of nanoseconds, so
// every behaviour here can be replayed exactly.
namespace Sim {

// The two kinds of unit: time reports of 5 data bytes (time only) or of 8
// (time, year and calendar date). The kind also decides byte 4 of the status
// report: the leap-year bit, or the control function.
enum class Form { TimeOnly = 5, WithDate = 8 };

struct Settings
{
    quint8 timeZone = Lists::UtcTimeZone;
    quint8 readMode = 1;        // "GPS" only with gpsAvailable
    quint8 generateMode = 1;    // 0 to 2
    bool outputFreeze = false;
    bool readerEnabled = true;
    bool binarySeconds = false;
    bool leapYear = false;
    quint8 controlFunction = 0; // "Encoded Year" only with dated reports
    bool gpsAvailable = false;
    quint16 offset = 0;         // microseconds, 0 to Frames::MaxOffset
};

inline constexpr qint64 NanosecondsPerSecond = 1000000000;
inline constexpr qint64 NanosecondsPerDay = 86400 * NanosecondsPerSecond;

// A reading of the unit's clock.
struct Time
{
    int year = Frames::YearBase;  // YearBase to LastYear (commands.h)
    int day = 1;             // of the year, 1 to 366
    qint64 nanosecond = 0;   // of the day

    int hour() const { return int(nanosecond / (3600 * NanosecondsPerSecond)); }
    int minute() const { return int(nanosecond / (60 * NanosecondsPerSecond) % 60); }
    int second() const { return int(nanosecond / NanosecondsPerSecond % 60); }
};

class Unit
{
public:
    // The unit as it is at monotonic time `now`, its clock reading `start`.
    Unit(Form form, const Settings &settings, const Time &start, qint64 now);

    Form form() const { return m_form; }
    const Settings &settings() const { return m_settings; }

    // The reader's lock on its input. Reports show it only while the reader
    // is enabled.
    void setReaderLock(bool locked) { m_readerLock = locked; }
    bool reportsLock() const { return m_readerLock && m_settings.readerEnabled; }

    // The clock runs on from the last time set, day after day; a year has
    // 366 days if it is a leap year (dated units) or if the leap-year setting
    // is on (time-only units, which know no year). A moment before the clock
    // was last set reads as the present setting, counted back.
    Time timeAt(qint64 now) const;
    // Nanoseconds from `now` until the clock next reaches a whole multiple of
    // `period` nanoseconds of its day (more than 0, at most `period`).
    qint64 untilNextTick(qint64 now, qint64 period) const;
    // Moves the clock by `by` nanoseconds (back if negative), as if it had
    // been set so.
    void stepClock(qint64 by) { m_clockSetAt -= by; }

    // Takes bytes from the line. Every frame completed by them (up to and
    // including 0xFA) is decoded and, if it makes sense, applied at `now`.
    // Returns one line for each: the command decoded, with its bytes
    // ("SetReadMode 4 \"IRIG-B TTL\" [04 02 FA]"), or why it was ignored
    // ("not understood: ..."). Bytes before a frame's payload are reported as
    // stray and ignored; the frame itself still counts.
    QStringList receive(QByteArrayView bytes, qint64 now);

    QByteArray timeReport(qint64 now) const;
    QByteArray statusReport() const;
    // One line describing a report of this unit, with its bytes.
    QString describeReport(QByteArrayView frame) const;

    // A frame's end is expected within this many bytes; longer runs without
    // one are reported and dropped.
    static constexpr int MaxFrameLength = 64;

private:
    QString apply(QByteArrayView frame, qint64 now);
    QString applyCommand(quint8 code, QByteArrayView payload, qint64 now);
    int daysInYear(int year) const;
    void setClock(const Time &time, qint64 now);

    Form m_form;
    Settings m_settings;
    bool m_readerLock = false;
    Time m_clockSet;
    qint64 m_clockSetAt = 0;
    QByteArray m_pending;
};

// "04 02 FA"
QString hexBytes(QByteArrayView bytes);

} // namespace Sim
