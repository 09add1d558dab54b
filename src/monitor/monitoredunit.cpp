#include "monitoredunit.h"

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/protocol/statusreading.h"
#include "events/journal.h"

#include <QDateTime>

#include <cmath>

namespace {

double nowSeconds()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000;
}

// A list entry as a label: runs of spaces folded to one.
template <std::size_t N>
std::string entry(const char *const (&list)[N], int position)
{
    return QString::fromLatin1(list[position]).simplified().toStdString();
}

} // namespace

MonitoredUnit::MonitoredUnit(const QString &name, const QString &line, Metrics &metrics, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_lineEntry(line)
    , m_metrics(metrics, name)
{
    m_line.setEntry(line);
    connect(&m_line, &UnitLine::received, &m_session, &UnitSession::receive);
    connect(&m_line, &UnitLine::failed, &m_session, &UnitSession::receive);
    connect(&m_session, &UnitSession::timeReport, this, &MonitoredUnit::takeTimeReport);
    connect(&m_session, &UnitSession::statusReport, this, &MonitoredUnit::takeStatusReport);
    connect(&m_session, &UnitSession::framed, this, &MonitoredUnit::countReportErrors);
    connect(&m_session, &UnitSession::lineOpened, this, [this] { m_metrics.setLineUp(true); });
    connect(&m_session, &UnitSession::openFailed, this,
            [this](LineFailure failure) { m_metrics.lineFailed(failureName(failure)); });
    connect(&m_session, &UnitSession::lineLost, this, &MonitoredUnit::lost);
    connect(&m_session, &UnitSession::silent, this, [this] {
        m_metrics.setReporting(false);
        m_metrics.withdrawReadings();
    });
    connect(&m_session, &UnitSession::event, this, [this](UnitEvent event, LineFailure failure) {
        if (event == UnitEvent::LockLost || event == UnitEvent::LockRegained)
            m_metrics.lockChanged();
        m_events.write(event, m_name, m_lineEntry, failure);
    });
    m_info = {{"line", line.toStdString()}, {"time_report", ""}};
}

void MonitoredUnit::start()
{
    m_session.start();
}

void MonitoredUnit::lost(LineFailure failure)
{
    m_metrics.lineFailed(failureName(failure));
    m_metrics.setLineUp(false);
    m_metrics.setReporting(false);
    m_metrics.withdrawReadings();
    m_statusKnown = false;
}

void MonitoredUnit::countReportErrors()
{
    const Frames::ReportFramer::Errors &errors = m_session.reportErrors();
    m_metrics.reportErrors("stray", errors.stray - m_errorsCounted.stray);
    m_metrics.reportErrors("overlong", errors.overlong - m_errorsCounted.overlong);
    m_metrics.reportErrors("incomplete", errors.incomplete - m_errorsCounted.incomplete);
    m_errorsCounted = errors;
}

void MonitoredUnit::takeTimeReport(const quint8 *report, qint16 count)
{
    m_metrics.setReporting(true);
    m_metrics.report("time", nowSeconds());
    if (!m_timeReportLength) {
        m_timeReportLength = count == Frames::TimeReportLongLength ? count : Frames::TimeReportShortLength;
        updateInfo();
    }
    updateClockOffset(report, count);
}

void MonitoredUnit::takeStatusReport(const quint8 *report)
{
    std::copy(report, report + m_status.size(), m_status.begin());
    m_statusKnown = true;
    const bool locked = Frames::readerLocked(report);
    m_metrics.setReporting(true);
    m_metrics.report("status", nowSeconds());
    m_metrics.setLocked(locked);
    updateInfo();
}

// The texts the panel would show for the latest status report.
void MonitoredUnit::updateInfo()
{
    if (!m_statusKnown)
        return;
    const bool hasDate = m_timeReportLength == Frames::TimeReportLongLength;
    const StatusReading unit = readStatus(m_status.data(), hasDate);
    std::map<std::string, std::string> info = {
        {"line", m_lineEntry.toStdString()},
        {"read_mode", entry(Lists::ReadModes, unit.readMode)},
        {"generate_mode", entry(Lists::GenerateModes, unit.generateMode)},
        {"time_zone", entry(Lists::TimeZones, unit.timeZone)},
        {"control_function", m_timeReportLength ? entry(Lists::ControlFunctions, unit.controlFunction) : ""},
        {"time_report", m_timeReportLength ? std::to_string(m_timeReportLength) : ""},
    };
    if (info != m_info) {
        m_info = info;
        m_metrics.setInfo(info);
    }
}

// The unit's time of day, on its day of the year and in its year (the year
// nearest the computer's clock where the report carries none), less its time
// zone, minus the computer's UTC clock now.
void MonitoredUnit::updateClockOffset(const quint8 *report, qint16 count)
{
    if (!m_statusKnown)
        return;
    using namespace Frames;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const int zone = readStatus(m_status.data(), m_timeReportLength == TimeReportLongLength).timeZone;
    const qint64 zoneSeconds = Lists::zoneOffsetSeconds(zone);
    const auto offsetIn = [&](int year) {
        const QDateTime unitTime(QDate(year, 1, 1).addDays(dayOfYear(report[0], report[1]) - 1),
                                 QTime(0, 0).addSecs(report[2] * 3600 + report[3] * 60 + report[4]), Qt::UTC);
        return double(now.msecsTo(unitTime)) / 1000 - double(zoneSeconds);
    };
    double offset = 0;
    if (count == TimeReportLongLength) {
        offset = offsetIn(yearOf(report[5]));
    } else {
        offset = offsetIn(now.date().year());
        for (const int year : {now.date().year() - 1, now.date().year() + 1}) {
            if (std::abs(offsetIn(year)) < std::abs(offset))
                offset = offsetIn(year);
        }
    }
    m_metrics.setClockOffset(offset);
}
