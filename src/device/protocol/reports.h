#pragma once

#include "device/protocol/commands.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

// Reports from the unit. The unit sends two kinds on its own:
//
//   TimeReport    start, 5 or 8 data bytes, 0xFE
//                 day / 100, day % 100, hour, minute, second
//                 [, year - 2000, first date group, second date group]
//   StatusReport  start, 9 data bytes, 0xFC
//                 time-zone position, read-mode position, generator position,
//                 flag bits, control function (8-byte units) or leap-year bit
//                 (5-byte units), offset thousands, hundreds, tens, units
//
// Start is 0xFF or 0xFD; only the terminator tells the kind. Every other byte
// value (0x00 to 0xFB, 0xFA included) is data. No length, no checksum.
namespace Frames {

inline constexpr quint8 FrameStart = 0xFF;
inline constexpr quint8 FrameStartAlternative = 0xFD;
inline constexpr quint8 TimeReportEnd = 0xFE;
inline constexpr quint8 StatusReportEnd = 0xFC;

inline constexpr int TimeReportShortLength = 5;  // time only
inline constexpr int TimeReportLongLength = 8;   // time, year and date
inline constexpr int StatusReportLength = 9;

// StatusReport byte 3.
inline constexpr quint8 OutputFreezeBit = 0x01;
inline constexpr quint8 ReaderEnabledBit = 0x02;
inline constexpr quint8 BinarySecondsBit = 0x04;  // also "Pass-Through" on 5-byte units
inline constexpr quint8 GpsAvailableBit = 0x10;
inline constexpr quint8 ReaderLockedBit = 0x40;
// The reader's lock, as a status report says it.
constexpr bool readerLocked(const quint8 *status) { return status[3] & ReaderLockedBit; }
// StatusReport byte 4 of a unit with 5-byte time reports.
inline constexpr quint8 LeapYearBit = 0x01;

inline constexpr int RxBufferSize = 31;

// The calendar part of a time report from a unit that sends one.
struct ReportDate
{
    int year;         // YearBase to LastYear
    int firstGroup;   // shown first
    int secondGroup;
};

// The longest time report: start, 8 data bytes, end.
inline constexpr int TimeReportMaxFrame = TimeReportLongLength + 2;

// A time report as the window shows it: "123 14:05:09", and with the date
// "123 14:05:09   |   05-03-2009". Byte by byte, whatever the values: the
// day's hundreds as a number, every other byte in two digits.
QString generatorTimeText(const quint8 *report, bool withDate);

// Writes a time report as the unit sends it into `frame`, which has room for
// TimeReportMaxFrame bytes, and returns its length: the day of the year and
// the time of day, and the date when there is one. Nothing is allocated.
int writeTimeReport(char *frame, int day, int hour, int minute, int second, const ReportDate *date = nullptr);
QByteArray timeReportFrame(int day, int hour, int minute, int second, const ReportDate *date = nullptr);

// A status report as the unit sends it. `digits` are the four digit
// bytes (offsetDigits in commands.h).
QByteArray statusReportFrame(quint8 timeZone, quint8 readMode, quint8 generateMode, quint8 flags, quint8 byte4,
                             QByteArrayView digits);

// Receives the complete reports, synchronously, in the order of their
// terminators. Both read the report from the framer's buffer.
class ReportSink
{
public:
    // count: the number of data bytes of this frame (after any wrap).
    virtual void ShowGeneratorTime(const quint8 *report, qint16 count) = 0;
    // Reads positions 0 to 8 whatever the count; positions this frame did not
    // reach keep what earlier bytes left there.
    virtual void ApplyStatus(const quint8 *report) = 0;

protected:
    ~ReportSink() = default;
};

// Cuts received bytes into reports. Frames may arrive spread over any number
// of blocks. Per byte the work is a comparison or two and one store into the
// fixed buffer; nothing is allocated.
class ReportFramer
{
public:
    // Data bytes stored since the last start byte, terminator or wrap: the
    // position the next data byte goes to. Wraps to 0 above 30.
    qint16 RxCount = 0;

    // What the framing met that was no whole report, since the framer was
    // made: bytes outside a frame (data bytes, and terminators without a
    // start), frames of more data bytes than the buffer holds (they wrap, and
    // are handed on all the same), and frames given up unfinished (by a new
    // start byte, or by reset()).
    struct Errors
    {
        quint64 stray = 0;
        quint64 overlong = 0;
        quint64 incomplete = 0;
    };
    const Errors &errors() const { return m_errors; }

    // Runs the framing over one block.
    void ProcessReceivedBytes(QByteArrayView block, ReportSink &sink);

    // Gives up the frame being assembled, as after the line failed: data
    // bytes wait for the next start byte to count as a frame. The buffer and
    // the count stay as they are.
    void reset()
    {
        m_errors.incomplete += InFrame;
        InFrame = false;
    }

private:
    // Data bytes of the frame being assembled, from position 0 up. Never
    // cleared.
    std::array<quint8, RxBufferSize> RxBuffer{};
    // After a start byte; not after a terminator or a receive recovery.
    bool InFrame = false;
    bool m_wrapped = false;  // the frame being assembled has wrapped
    Errors m_errors;
};

} // namespace Frames
