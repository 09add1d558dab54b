#pragma once

#include "deadline.h"
#include "line.h"
#include "options.h"
#include "unit.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>

class QTextStream;

// Plays the unit on a line: sends its reports on time, hands it what arrives,
// logs both, and plays the scenario of the options.
//
// Log lines start with the computer's time of day: "<-" a command received,
// "->" a report sent (with --trace), "--" an event of the scenario.
//
// Time reports keep to the unit's clock, which runs on the computer's
// monotonic clock: each is due when that clock passes its tick (a whole
// multiple of the interval), plus the phase, plus its jitter, and is written
// at that absolute moment. Moments never come from intervals added up, so no
// error builds up from one report to the next.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const Options &options, std::unique_ptr<Line> line, QTextStream &log);

    // False, with `error` set, if the unit cannot keep time (no timer to be had).
    bool start(QString &error);
    // Stops sending reports (commands are still taken), or sends them again.
    void setSilent(bool silent);

signals:
    // The unit has hung up (0) or its line failed (1).
    void finished(int exitCode);

private:
    static qint64 now() { return Deadline::now(); }
    void log(const QString &text);
    void after(double seconds, void (Simulator::*event)());

    // Sends the time report of the tick at `tickAt`, now.
    void startReports();
    void sendTimeReport(qint64 tickAt);
    // Schedules the next time report: the first tick of the clock after `after`.
    void scheduleTimeReport(qint64 after);
    void stepClockAfterReport(int count);
    QString timingNote(qint64 tickAt, qint64 sentAt) const;
    void sendStatusReport();
    void send(const QByteArray &bytes, const QString &note = {});
    void sendNextSplitByte();
    void receive(const QByteArray &bytes);

    void lockAcquired();
    void lockLost();
    void sendGarbage();
    void sendOverlongFrame();
    void stopSending() { setSilent(true); }
    void hangUp();

    Options m_options;
    std::unique_ptr<Line> m_line;
    QTextStream &m_log;
    Sim::Unit m_unit;
    Deadline m_timeDeadline;
    // The pending time report: the moment (monotonic nanoseconds) its tick
    // came on the unit's clock, and its jitter.
    qint64 m_tickAt = 0;
    qint64 m_jitter = 0;
    QRandomGenerator m_jitterRandom{718};  // the same draws on every run
    int m_timeReportsSent = 0;
    QTimer m_statusTimer;
    QTimer m_splitTimer;
    QByteArray m_splitQueue;
    int m_ticksPerStatus = 0;
    int m_ticks = 0;
    bool m_sending = true;
};
