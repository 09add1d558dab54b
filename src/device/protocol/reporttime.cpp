#include "device/protocol/reporttime.h"

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/protocol/reports.h"
#include "device/protocol/statusreading.h"

#include <cmath>

namespace Frames {

namespace {

template <std::size_t N>
QString entry(const char *const (&list)[N], int position)
{
    return QString::fromLatin1(list[position]).simplified();
}

} // namespace

QDateTime reportedTime(const quint8 *report, qint16 count, int zonePosition, const QDateTime &near)
{
    const auto inYear = [&](int year) {
        return QDateTime(QDate(year, 1, 1).addDays(dayOfYear(report[0], report[1]) - 1),
                         QTime(0, 0).addSecs(report[2] * 3600 + report[3] * 60 + report[4]), Qt::UTC)
            .addSecs(-Lists::zoneOffsetSeconds(zonePosition));
    };
    if (count == TimeReportLongLength)
        return inYear(yearOf(report[5]));
    const int year = near.toUTC().date().year();
    QDateTime nearest = inYear(year);
    for (const int other : {year - 1, year + 1}) {
        const QDateTime candidate = inYear(other);
        if (std::abs(near.msecsTo(candidate)) < std::abs(near.msecsTo(nearest)))
            nearest = candidate;
    }
    return nearest;
}

QMap<QString, QString> settingNames(const quint8 *status, int timeReportLength)
{
    const StatusReading unit = readStatus(status, timeReportLength == TimeReportLongLength);
    return {
        {QStringLiteral("read_mode"), entry(Lists::ReadModes, unit.readMode)},
        {QStringLiteral("generate_mode"), entry(Lists::GenerateModes, unit.generateMode)},
        {QStringLiteral("time_zone"), entry(Lists::TimeZones, unit.timeZone)},
        {QStringLiteral("control_function"), timeReportLength ? entry(Lists::ControlFunctions, unit.controlFunction) : QString()},
        {QStringLiteral("time_report"), timeReportLength ? QString::number(timeReportLength) : QString()},
    };
}

} // namespace Frames
