#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

// What a unit's reports say, read the same way wherever they are read.
namespace Frames {

// The moment a time report names, in UTC: its day of the year and time of day,
// less the unit's time zone (a position of the time-zone list), in the
// report's own year where it carries one, else in the year, of the one before
// and the one after `near`'s, that puts it nearest `near`.
QDateTime reportedTime(const quint8 *report, qint16 count, int zonePosition, const QDateTime &near);

// The unit's settings as the window's lists name them (runs of spaces folded
// to one), for a status report and a unit whose time reports have
// `timeReportLength` data bytes (0 before the first one): "read_mode",
// "generate_mode", "time_zone", "control_function" and "time_report" ("5" or
// "8"); the last two empty before the first time report.
QMap<QString, QString> settingNames(const quint8 *status, int timeReportLength);

} // namespace Frames
