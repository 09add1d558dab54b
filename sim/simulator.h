#pragma once

#include "line.h"
#include "options.h"
#include "unit.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class QTextStream;

// Plays the unit on a line: sends its reports on time, hands it what arrives,
// logs both, and plays the scenario of the options.
//
// Log lines start with the computer's time of day: "<-" a command received,
// "->" a report sent (with --trace), "--" an event of the scenario.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const Options &options, std::unique_ptr<Line> line, QTextStream &log);

    void start();
    // Stops sending reports (commands are still taken), or sends them again.
    void setSilent(bool silent);

signals:
    // The unit has hung up (0) or its line failed (1).
    void finished(int exitCode);

private:
    qint64 now() const { return m_elapsed.elapsed(); }
    void log(const QString &text);
    void after(double seconds, void (Simulator::*event)());

    void sendTimeReport();
    void sendStatusReport();
    void send(const QByteArray &bytes);
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
    QElapsedTimer m_elapsed;
    Sim::Unit m_unit;
    QTimer m_timeTimer;
    QTimer m_statusTimer;
    QTimer m_splitTimer;
    QByteArray m_splitQueue;
    int m_ticksPerStatus = 0;
    int m_ticks = 0;
    bool m_sending = true;
};
