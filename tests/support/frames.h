#pragma once

#include <QByteArray>

// Bytes written as hexadecimal pairs, blanks allowed: Hex("04 02 FA").
inline QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Report frames as the unit sends them.
namespace Reports {

inline QByteArray Time(int day, int hour, int minute, int second)
{
    const char bytes[] = {'\xFF', char(day / 100), char(day % 100), char(hour), char(minute), char(second), '\xFE'};
    return QByteArray(bytes, sizeof bytes);
}

inline QByteArray TimeWithDate(int day, int hour, int minute, int second, int year, int first, int second_)
{
    const char bytes[] = {'\xFF', char(day / 100), char(day % 100), char(hour), char(minute), char(second),
                          char(year - 2000), char(first), char(second_), '\xFE'};
    return QByteArray(bytes, sizeof bytes);
}

// Offset as four digit bytes, most significant first.
inline QByteArray Status(int zone, int readMode, int generateMode, int flags, int byte4, QByteArray digits)
{
    QByteArray frame;
    frame += '\xFF';
    frame += char(zone);
    frame += char(readMode);
    frame += char(generateMode);
    frame += char(flags);
    frame += char(byte4);
    frame += digits;
    frame += '\xFC';
    return frame;
}

inline QByteArray Digits(int offset)
{
    const char bytes[] = {char(offset / 1000), char(offset / 100 % 10), char(offset / 10 % 10), char(offset % 10)};
    return QByteArray(bytes, 4);
}

} // namespace Reports
