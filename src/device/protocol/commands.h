#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Command frames to the unit: the payload bytes, the command code, then 0xFA.
// No start byte, no length, no checksum; the unit finds the end by the 0xFA
// and the payload length by the code just before it. The unit never answers.
namespace Frames {

enum Command : quint8 {
    SetTime = 0,             // day / 100, day % 100, hour, minute, second
    SetTimeZone = 1,         // time-zone list position, 0 (-12 h) to 48 (+12 h)
    SetReadMode = 2,         // read-mode list position, 0 to 6
    SetGenerateMode = 3,     // generator list position, 0 to 2
    SetOutputFreeze = 4,     // check box state, 0 or 1
    SetReaderEnable = 5,     // check box state
    SetLeapYear = 6,         // check box state
    SetBinarySeconds = 7,    // check box state
    SetControlFunction = 8,  // control-function list position, 0 to 2
    SetOffset = 9,           // the four decimal digits of 0 to MaxOffset microseconds
    SetYear = 10,            // year - 2000
};

inline constexpr quint8 FrameTerminator = 0xFA;
inline constexpr int CommandCount = 11;

// Payload length of a command code: 5 for SetTime, 4 for SetOffset, 1 for the
// others, 0 for a code that is not a command.
constexpr int payloadLength(quint8 code)
{
    return code == SetTime ? 5 : code == SetOffset ? 4 : code < CommandCount ? 1 : 0;
}

// The command's name as written above ("SetReadMode"), or nullptr.
const char *commandName(quint8 code);

// payload, code, 0xFA: bytes in, bytes out (the port routines send it,
// portservice.h).
QByteArray CommandFrame(quint8 code, QByteArrayView payload);

// The day of the year travels as two bytes, hundreds first (day 123 as 1
// and 23), in SetTime and in every time report; the year as its distance
// from 2000 (2026 as 26), in SetYear and in a dated time report: a year byte
// carries YearBase to LastYear. (The set-time editor takes from 2009 only,
// a rule of its own.)
inline constexpr int YearBase = 2000;
inline constexpr int LastYear = YearBase + 99;
constexpr quint8 dayHundreds(int day) { return quint8(day / 100); }
constexpr quint8 dayRest(int day) { return quint8(day % 100); }
constexpr int dayOfYear(quint8 hundreds, quint8 rest) { return hundreds * 100 + rest; }
constexpr quint8 yearByte(int year) { return quint8(year - YearBase); }
constexpr int yearOf(quint8 byte) { return YearBase + byte; }

// Payload of SetTime for a day of the year (1 to 366) and a time of day.
QByteArray setTimePayload(int day, int hour, int minute, int second);

// "005 14:05:09": a day of the year, three digits, and a time of day, as the
// set-time fields, the journal and the simulated unit's log write a time.
QString dayTimeText(int day, int hour, int minute, int second);

// What a command frame carries, as text: the day and time of SetTime, the
// offset of SetOffset, the one byte of the others; empty for a frame that is
// no command.
QString commandValueText(const QByteArray &frame);

// The microsecond offset, 0 to MaxOffset.
inline constexpr int MaxOffset = 9999;

// The microsecond offset travels both ways as its four decimal digits, most
// significant first: SetOffset's payload, and bytes 5 to 8 of a status
// report. offsetDigits makes them from 0 to MaxOffset.
QByteArray offsetDigits(int microseconds);
// The weighted sum of four digit bytes, as the unit means it. Bytes above 9
// count with their weight too (digits 27, 88, 61, 1 give 278861).
int offsetFromDigits(const quint8 *digits);

} // namespace Frames
