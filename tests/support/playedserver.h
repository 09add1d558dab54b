#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>

// A device server that misbehaves on purpose, on a free port of 127.0.0.1, played on a thread of its own so that it
// answers while the program blocks in opening a line. It takes connection after connection, sends each `script`, and
// then closes it, resets it, keeps it open, or floods it with `script` again and again without ever reading.
class PlayedServer
{
public:
    enum class End { Close, Reset, Hold, Flood };

    PlayedServer(QByteArray script, End end);
    ~PlayedServer();

    quint16 port() const { return m_port; }
    // When each connection was taken, in milliseconds from the server's start.
    QList<qint64> connections() const;

private:
    void serve();

    QByteArray m_script;
    End m_end;
    int m_listener = -1;
    int m_stop = -1;  // readable once the server is to stop
    quint16 m_port = 0;
    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;
    QList<qint64> m_connections;
    std::thread m_thread;
};
