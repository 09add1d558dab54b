#pragma once

#include "device/protocol/commands.h"
#include "device/protocol/reports.h"

// Bytes written as hexadecimal pairs, blanks allowed: hex("04 02 FA").
inline QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// Report frames from the device layer's own encoder; the tests' literal hexadecimal frames check that encoder.
namespace Reports {
inline QByteArray time(int day, int hour, int minute, int second) { return Frames::timeReportFrame(day, hour, minute, second); }
inline QByteArray timeWithDate(int day, int hour, int minute, int second, int year, int first, int then)
{
    const Frames::ReportDate date{year, first, then};
    return Frames::timeReportFrame(day, hour, minute, second, &date);
}
inline QByteArray status(int zone, int readMode, int generateMode, int flags, int byte4, int offset)
{
    return Frames::statusReportFrame(quint8(zone), quint8(readMode), quint8(generateMode), quint8(flags), quint8(byte4),
                                      Frames::offsetDigits(offset));
}
} // namespace Reports
