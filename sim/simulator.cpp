#include "simulator.h"

#include "device/protocol/reports.h"

#include <QRandomGenerator>
#include <QTextStream>
#include <QTime>

#include <chrono>
#include <cmath>

Simulator::Simulator(const Options &options, std::unique_ptr<Line> line, QTextStream &log)
    : m_options(options)
    , m_line(std::move(line))
    , m_log(log)
    , m_unit(options.form, options.settings, options.start, 0)
{
    m_elapsed.start();
    m_timeTimer.setSingleShot(true);
    m_timeTimer.setTimerType(Qt::PreciseTimer);
    m_statusTimer.setTimerType(Qt::PreciseTimer);
    m_statusTimer.setInterval(options.statusInterval);
    // A status report follows every n-th time report directly when the
    // intervals allow; otherwise it keeps a pace of its own.
    if (options.statusInterval % options.interval == 0)
        m_ticksPerStatus = options.statusInterval / options.interval;
    m_splitTimer.setTimerType(Qt::PreciseTimer);
    m_splitTimer.setInterval(1);
    connect(&m_timeTimer, &QTimer::timeout, this, &Simulator::sendTimeReport);
    connect(&m_statusTimer, &QTimer::timeout, this, &Simulator::sendStatusReport);
    connect(&m_splitTimer, &QTimer::timeout, this, &Simulator::sendNextSplitByte);
    connect(m_line.get(), &Line::received, this, &Simulator::receive);
    connect(m_line.get(), &Line::failed, this, [this](const QString &why) {
        this->log(QStringLiteral("-- line failed: ") + why);
        emit finished(1);
    });
}

void Simulator::start()
{
    log(QStringLiteral("-- unit on %1, time reports %2")
            .arg(m_line->path(), m_options.form == Sim::Form::WithDate ? QStringLiteral("with date")
                                                                       : QStringLiteral("without date")));
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

    sendTimeReport();
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

void Simulator::sendTimeReport()
{
    if (!m_sending)
        return;
    send(m_unit.timeReport(now()));
    if (m_ticksPerStatus && m_ticks++ % m_ticksPerStatus == 0)
        sendStatusReport();
    // Time reports leave when the unit's clock passes a multiple of the
    // interval: every whole second, by default.
    m_timeTimer.start(int(m_unit.untilNextTick(now(), m_options.interval)));
}

void Simulator::sendStatusReport()
{
    if (m_sending)
        send(m_unit.statusReport());
}

void Simulator::send(const QByteArray &bytes)
{
    if (m_options.trace)
        log(QStringLiteral("-> ") + m_unit.describeReport(bytes));
    if (!m_options.split) {
        m_line->write(bytes);
        return;
    }
    m_splitQueue += bytes;
    if (!m_splitTimer.isActive())
        m_splitTimer.start();
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
    if (m_options.lockAfter)
        after(*m_options.lockAfter, &Simulator::lockAcquired);
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
        m_timeTimer.stop();
        m_statusTimer.stop();
        log(QStringLiteral("-- reports stopped"));
        return;
    }
    log(QStringLiteral("-- reports resumed"));
    sendTimeReport();
    if (!m_ticksPerStatus) {
        sendStatusReport();
        m_statusTimer.start();
    }
}

void Simulator::hangUp()
{
    log(QStringLiteral("-- hanging up"));
    m_timeTimer.stop();
    m_statusTimer.stop();
    m_splitTimer.stop();
    m_line->close();
    emit finished(0);
}
