#include "simulator.h"

#include "device/protocol/reports.h"

#include <QDate>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTime>

#include <chrono>
#include <cmath>
#include <ctime>

using Sim::NanosecondsPerDay;
using Sim::NanosecondsPerSecond;

namespace {

constexpr qint64 NanosecondsPerMillisecond = 1000000;

// The unit as it starts now: its clock at --start, or at the computer's UTC
// time `ahead` on, read at one moment with the monotonic clock it then runs on.
Sim::Unit startingUnit(const Options &options)
{
    if (options.start)
        return Sim::Unit(options.form, options.settings, *options.start, Deadline::now());
    const qint64 before = Deadline::now();
    timespec real{};
    ::clock_gettime(CLOCK_REALTIME, &real);
    const qint64 at = before + (Deadline::now() - before) / 2;
    const qint64 utc = real.tv_sec * NanosecondsPerSecond + real.tv_nsec + options.ahead;
    const qint64 day = utc / NanosecondsPerDay - (utc % NanosecondsPerDay < 0 ? 1 : 0);
    const QDate date = QDate(1970, 1, 1).addDays(day);
    const Sim::Time start{date.year(), date.dayOfYear(), utc - day * NanosecondsPerDay};
    return Sim::Unit(options.form, options.settings, start, at);
}

// Seconds as "0.300" or "-2.500", with more places only where they count.
QString secondsText(qint64 nanoseconds)
{
    QString text = QString::number(double(nanoseconds) / NanosecondsPerSecond, 'f', 9);
    while (text.endsWith(QLatin1Char('0')) && text.indexOf(QLatin1Char('.')) < text.size() - 4)
        text.chop(1);
    return text;
}

// Seconds to the microsecond, with their sign: "+0.310340".
QString signedSeconds(qint64 nanoseconds)
{
    return (nanoseconds < 0 ? QString() : QStringLiteral("+"))
        + QString::number(double(nanoseconds) / NanosecondsPerSecond, 'f', 6);
}

} // namespace

Simulator::Simulator(const Options &options, std::unique_ptr<Line> line, QTextStream &log)
    : m_options(options)
    , m_line(std::move(line))
    , m_log(log)
    , m_unit(startingUnit(options))
{
    m_statusTimer.setTimerType(Qt::PreciseTimer);
    m_statusTimer.setInterval(options.statusInterval);
    // A status report follows every n-th time report directly when the
    // intervals allow; otherwise it keeps a pace of its own.
    if (options.statusInterval % options.interval == 0)
        m_ticksPerStatus = options.statusInterval / options.interval;
    m_splitTimer.setTimerType(Qt::PreciseTimer);
    m_splitTimer.setInterval(1);
    connect(&m_timeDeadline, &Deadline::reached, this, [this] { sendTimeReport(m_tickAt); });
    connect(&m_statusTimer, &QTimer::timeout, this, &Simulator::sendStatusReport);
    connect(&m_splitTimer, &QTimer::timeout, this, &Simulator::sendNextSplitByte);
    connect(m_line.get(), &Line::received, this, &Simulator::receive);
    connect(m_line.get(), &Line::failed, this, [this](const QString &why) {
        this->log(QStringLiteral("-- line failed: ") + why);
        emit finished(1);
    });
}

bool Simulator::start(QString &error)
{
    if (!m_timeDeadline.isValid()) {
        error = QStringLiteral("cannot make a timer");
        return false;
    }
    QString timing;
    if (!m_options.firstReportAtOnce) {
        timing = QStringLiteral(", phase %1 s, jitter %2 s, ahead %3 s")
                     .arg(secondsText(m_options.phase), secondsText(m_options.jitter), secondsText(m_options.ahead));
    }
    log(QStringLiteral("-- unit on %1, time reports %2%3")
            .arg(m_line->path(),
                 m_options.form == Sim::Form::WithDate ? QStringLiteral("with date") : QStringLiteral("without date"),
                 timing));
    log(QStringLiteral("-- clock ") + m_unit.describeReport(m_unit.timeReport(now())));
    log(QStringLiteral("-- settings ") + m_unit.describeReport(m_unit.statusReport()));

    if (m_options.lockAfter == 0.0)
        lockAcquired();
    else if (m_options.lockAfter)
        after(*m_options.lockAfter, &Simulator::lockAcquired);
    if (m_options.garbageAt)
        after(*m_options.garbageAt, &Simulator::sendGarbage);
    if (m_options.overlongAt)
        after(*m_options.overlongAt, &Simulator::sendOverlongFrame);
    if (m_options.stopAfter)
        after(*m_options.stopAfter, &Simulator::stopSending);
    if (m_options.hangUpAfter)
        after(*m_options.hangUpAfter, &Simulator::hangUp);

    startReports();
    return true;
}

// The reports begin, at start and after a silence: the first time report at
// once or at its moment, a status report of its own pace at once.
void Simulator::startReports()
{
    if (m_options.firstReportAtOnce)
        sendTimeReport(now());
    else
        scheduleTimeReport(now());
    if (!m_ticksPerStatus) {
        sendStatusReport();
        m_statusTimer.start();
    }
}

void Simulator::log(const QString &text)
{
    m_log << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << ' ' << text << Qt::endl;
}

void Simulator::after(double seconds, void (Simulator::*event)())
{
    QTimer::singleShot(std::chrono::milliseconds(std::llround(seconds * 1000)), Qt::PreciseTimer, this, event);
}

void Simulator::sendTimeReport(qint64 tickAt)
{
    if (!m_sending)
        return;
    // The report shows the clock as it stands now, read at the report's tick.
    const qint64 sentAt = now();
    m_tickAt = tickAt;
    send(m_unit.timeReport(tickAt), m_options.jitter ? timingNote(tickAt, sentAt) : QString());
    if (m_ticksPerStatus && m_ticks++ % m_ticksPerStatus == 0)
        sendStatusReport();
    stepClockAfterReport(++m_timeReportsSent);
    scheduleTimeReport(tickAt);
}

void Simulator::scheduleTimeReport(qint64 after)
{
    // Time reports leave when the unit's clock passes a multiple of the
    // interval (every whole second, by default), then the phase, then the
    // jitter; a clock set anew meanwhile is in step again from that tick on.
    m_tickAt = after + m_unit.untilNextTick(after, m_options.interval * NanosecondsPerMillisecond);
    if (m_options.jitter)
        m_jitter = std::llround((2 * m_jitterRandom.generateDouble() - 1) * double(m_options.jitter));
    m_timeDeadline.start(m_tickAt + m_options.phase + m_jitter);
}

void Simulator::stepClockAfterReport(int count)
{
    const bool skip = count == m_options.skipAt;
    if (!skip && count != m_options.repeatAt)
        return;
    const QString named = m_unit.describeReport(m_unit.timeReport(m_tickAt)).section(QLatin1Char(' '), 1, 2);
    m_unit.stepClock(skip ? NanosecondsPerSecond : -NanosecondsPerSecond);
    log(QStringLiteral("-- second %1 after time report %2 (%3): the clock steps 1 s %4")
            .arg(skip ? QStringLiteral("skipped") : QStringLiteral("repeated"))
            .arg(count)
            .arg(named, skip ? QStringLiteral("forward") : QStringLiteral("back")));
}

// When a report was written against when it was due: seconds after the start
// of the second it names, by the unit's clock.
QString Simulator::timingNote(qint64 tickAt, qint64 sentAt) const
{
    const qint64 intoSecond = m_unit.timeAt(tickAt).nanosecond % NanosecondsPerSecond;
    return QStringLiteral("at %1 s (due %2 s, jitter %3 s)")
        .arg(signedSeconds(intoSecond + sentAt - tickAt), signedSeconds(intoSecond + m_options.phase),
             signedSeconds(m_jitter));
}

void Simulator::sendStatusReport()
{
    if (m_sending)
        send(m_unit.statusReport());
}

void Simulator::send(const QByteArray &bytes, const QString &note)
{
    // Written first, so that the trace costs its time afterwards.
    if (!m_options.split) {
        m_line->write(bytes);
    } else {
        m_splitQueue += bytes;
        if (!m_splitTimer.isActive())
            m_splitTimer.start();
    }
    if (!m_options.trace)
        return;
    QString line = QStringLiteral("-> ") + m_unit.describeReport(bytes);
    if (!note.isEmpty())
        line += QLatin1Char(' ') + note;
    log(line);
}

void Simulator::sendNextSplitByte()
{
    if (m_splitQueue.isEmpty()) {
        m_splitTimer.stop();
        return;
    }
    m_line->write(m_splitQueue.first(1));
    m_splitQueue.remove(0, 1);
}

void Simulator::receive(const QByteArray &bytes)
{
    const QStringList lines = m_unit.receive(bytes, now());
    for (const QString &line : lines)
        log(QStringLiteral("<- ") + line);
}

void Simulator::lockAcquired()
{
    m_unit.setReaderLock(true);
    log(m_unit.settings().readerEnabled ? QStringLiteral("-- reader locked")
                                        : QStringLiteral("-- reader locked (not reported: the reader is off)"));
    if (m_options.lockFor)
        after(*m_options.lockFor, &Simulator::lockLost);
}

void Simulator::lockLost()
{
    m_unit.setReaderLock(false);
    log(QStringLiteral("-- reader lost its lock"));
    if (m_options.relockAfter)
        after(*m_options.relockAfter, &Simulator::lockAcquired);
}

void Simulator::sendGarbage()
{
    // The same burst every time, so that a run can be repeated.
    QRandomGenerator random(718);
    QByteArray garbage(48, 0);
    for (char &byte : garbage)
        byte = char(random.bounded(256));
    log(QStringLiteral("-- garbage [%1]").arg(Sim::hexBytes(garbage)));
    m_line->write(garbage);
}

void Simulator::sendOverlongFrame()
{
    QByteArray frame;
    frame += char(Frames::FrameStart);
    for (int i = 0; i < 40; ++i)
        frame += char(i);
    frame += char(Frames::TimeReportEnd);
    log(QStringLiteral("-- overlong frame [%1]").arg(Sim::hexBytes(frame)));
    m_line->write(frame);
}

void Simulator::setSilent(bool silent)
{
    if (silent != m_sending)
        return;
    m_sending = !silent;
    if (silent) {
        m_timeDeadline.stop();
        m_statusTimer.stop();
        log(QStringLiteral("-- reports stopped"));
        return;
    }
    log(QStringLiteral("-- reports resumed"));
    startReports();
}

void Simulator::hangUp()
{
    log(QStringLiteral("-- hanging up"));
    m_timeDeadline.stop();
    m_statusTimer.stop();
    m_splitTimer.stop();
    m_line->close();
    emit finished(0);
}
