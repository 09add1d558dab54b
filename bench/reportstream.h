#pragma once

#include "device/protocol/reports.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdio>

// Time reports with dates that count up by one second each: report n of a
// stream shows a time no other report of the first three thousand million
// shows, so what the window displays tells how far it has got.
namespace ReportStream {

inline constexpr int FrameSize = Frames::TimeReportMaxFrame;

inline std::array<char, FrameSize> frame(qint64 n)
{
    const int second = int(n % 86400);
    const Frames::ReportDate date{int(Frames::YearBase + n / (86400 * 366) % 100), 5, 3};
    std::array<char, FrameSize> frame;
    Frames::writeTimeReport(frame.data(), int(1 + n / 86400 % 366), second / 3600, second / 60 % 60, second % 60,
                             &date);
    return frame;
}

// The report number behind a generator time as the window shows it
// ("123 14:05:09   |   05-03-2009"), or -1.
inline qint64 numberShown(const QString &text)
{
    int day = 0, hour = 0, minute = 0, second = 0, first = 0, group = 0, year = 0;
    const QByteArray latin = text.toLatin1();
    if (std::sscanf(latin.constData(), "%d %d:%d:%d | %d-%d-%d", &day, &hour, &minute, &second, &first, &group,
                    &year)
        != 7)
        return -1;
    return (qint64(year - Frames::YearBase) * 366 + (day - 1)) * 86400 + hour * 3600 + minute * 60 + second;
}

} // namespace ReportStream
