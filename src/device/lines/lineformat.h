#pragma once

#include <QString>

// The unit's serial line: 9600 bit/s, 8 data bits, no parity, 1 stop bit, no
// flow control, raw bytes. Every line the programs open, the simulated unit's
// and the tests' pseudo-terminals, and what the texts say of it, come from
// here.
namespace LineFormat {

inline constexpr int BitRate = 9600;
inline constexpr int DataBits = 8;
inline constexpr int StopBits = 1;
// 8N1 takes 10 bits a byte: the most a unit can send in a second (960).
inline constexpr int BytesPerSecond = BitRate / (1 + DataBits + StopBits);

// "9600 bit/s 8N1", for help texts and logs.
inline QString text()
{
    return QStringLiteral("%1 bit/s %2N%3").arg(BitRate).arg(DataBits).arg(StopBits);
}

// "9600n81", as ser2net's configuration writes the line.
inline QString ser2netText()
{
    return QStringLiteral("%1n%2%3").arg(BitRate).arg(DataBits).arg(StopBits);
}

} // namespace LineFormat
