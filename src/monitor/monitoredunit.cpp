#include "monitoredunit.h"

#include "device/protocol/reporttime.h"
#include "device/protocol/statusreading.h"
#include "events/journal.h"

#include <QDateTime>

namespace {

double nowSeconds()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000;
}

} // namespace

MonitoredUnit::MonitoredUnit(const QString &name, const QString &entry, std::optional<double> phase, Metrics &metrics,
                             QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_lineEntry(entry)
    , m_clock(phase)
    , m_metrics(metrics, name, phase)
{
    m_line.setEntry(entry);
    connect(&m_line, &UnitLine::received, &m_session, &UnitSession::receive);
    connect(&m_line, &UnitLine::failed, &m_session, &UnitSession::receive);
    connect(&m_session, &UnitSession::timeReport, this, &MonitoredUnit::takeTimeReport);
    connect(&m_session, &UnitSession::statusReport, this, &MonitoredUnit::takeStatusReport);
    connect(&m_session, &UnitSession::framed, this, &MonitoredUnit::countReportErrors);
    connect(&m_session, &UnitSession::lineOpened, this, [this] {
        m_metrics.setLineUp(true);
        m_clock.forget();
    });
    connect(&m_session, &UnitSession::openFailed, this,
            [this](LineFailure failure) { m_metrics.lineFailed(failureName(failure)); });
    connect(&m_session, &UnitSession::lineLost, this, &MonitoredUnit::lost);
    connect(&m_session, &UnitSession::silent, this, [this] {
        m_metrics.setReporting(false);
        m_metrics.withdrawReadings();
        m_clock.forget();
    });
    connect(&m_session, &UnitSession::event, this, [this](UnitEvent event, LineFailure failure) {
        if (event == UnitEvent::LockLost || event == UnitEvent::LockRegained)
            m_metrics.lockChanged();
        m_events.write(event, m_name, m_lineEntry, failure);
    });
    m_info = {{"line", entry.toStdString()}, {"time_report", ""}};
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
    if (const quint64 lost = errors.incomplete + errors.overlong - m_errorsCounted.incomplete - m_errorsCounted.overlong)
        emit reportsLost(lost);
    m_errorsCounted = errors;
}

// The unit as a clock (unitclock.h), once its time zone is known from a
// status report of this connection: the report's phase, a jump, the offset,
// and whether the report may stand for the unit's time.
void MonitoredUnit::takeTimeReport(const quint8 *report, qint16 count, qint64 arrivedNs)
{
    m_metrics.setReporting(true);
    m_metrics.report("time", double(arrivedNs) / 1e9);
    if (!m_timeReportLength) {
        m_timeReportLength = count == Frames::TimeReportLongLength ? count : Frames::TimeReportShortLength;
        updateInfo();
    }
    if (!m_statusKnown) {
        emit clockReading(ClockUse::NoStatus, {}, arrivedNs);
        return;
    }
    const int zone = readStatus(m_status.data(), m_timeReportLength == Frames::TimeReportLongLength).timeZone;
    const UnitClock::Reading reading = m_clock.timeReport(report, count, arrivedNs, zone);
    m_metrics.setPhase(reading.phase);
    m_metrics.setClockOffset(reading.offset);
    if (reading.jump) {
        m_metrics.timeCodeJumped();
        m_events.write(UnitEvent::TimeCodeJump, m_name, m_lineEntry);
    }
    const ClockUse use = !Frames::readerLocked(m_status.data()) ? ClockUse::Unlocked
        : reading.jump                                          ? ClockUse::Jump
        : !reading.follows                                      ? ClockUse::NoFollow
                                                                : ClockUse::Used;
    emit clockReading(use, reading, arrivedNs);
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
    std::map<std::string, std::string> info = {{"line", m_lineEntry.toStdString()}};
    const QMap<QString, QString> names = Frames::settingNames(m_status.data(), m_timeReportLength);
    for (auto name = names.cbegin(); name != names.cend(); ++name)
        info[name.key().toStdString()] = name.value().toStdString();
    if (info != m_info) {
        m_info = info;
        m_metrics.setInfo(info);
    }
}
