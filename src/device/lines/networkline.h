#pragma once

#include "device/lines/networkaddress.h"
#include "device/lines/telnet.h"
#include "device/lines/unitline.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>


// The serial line through a device server on the network (networkaddress.h):
// raw TCP, or Telnet with the server's serial port set to the unit's line
// (telnet.h). To the rest of the program it behaves as SerialLine does.
//
// open() blocks, like opening a serial port, but for OpenDeadlineMs at most:
// name lookup, connect and the agreement on binary mode all fit in it, and
// nothing is sent to the unit before binary mode holds both ways. A
// connection that closes, resets or fails before that agreement has not been
// opened. A server that refuses binary mode cannot be opened; one that
// refuses COM-PORT-OPTION, or has not answered it by the deadline, is used as
// its port is set, and one line on the log (linelog.h) says so.
//
// Once open, Telnet commands are answered by the service itself; readInput()
// returns only the unit's bytes, and write() escapes them for the line and
// hands them to the socket at once. Between two readInput() calls the
// process holds at most ReadBufferSize bytes from the socket, and as many
// again that came during open(); beyond that TCP holds the server back. Of
// bytes to send it holds at most WriteBufferSize: a server that does not
// take them (or floods us with requests to answer) fails the line.
//
// What no unit on a line can send fails the line too, with one line on the
// log naming the server and the reason: more than FloodBytes within a second
// (a wrong port, a misconfigured device server: left alone, it would cost a
// core for as long as it lasts), and a Telnet sub-negotiation longer than
// Telnet::MaxSubNegotiation or not ended within SubNegotiationMs of its IAC
// SB (every report after it would vanish into it).
//
// A connection that ends while open (the server closes it, resets it, hands
// the line to another client, goes away, or withdraws binary mode) is a line
// failure, reported once: received() is raised from the event loop and
// readInput() returns false until the port is closed. After a failure or a
// close nothing wakes the process.
//
// The line keeps one retry schedule across its connections: the waits of
// awaitReturn() grow 1 s, 2 s, 4 s and so on up to 30 s with every attempt,
// and start again at 1 s only once a connection has stayed up for
// StableMs. A connection that ends sooner counts as one more failed attempt,
// whatever it carried, and is not worth reopening at once.
class NetworkLine final : public UnitLine
{
    Q_OBJECT

public:
    static constexpr int OpenDeadlineMs = 250;
    static constexpr qint64 ReadBufferSize = 64 * 1024;
    static constexpr qint64 WriteBufferSize = 64 * 1024;
    static constexpr int StableMs = 30000;
    // About 68 times what 9600 bit/s carries in a second (960 bytes). No
    // backlog a device server keeps for a unit reaches it: ser2net opens the
    // device when a client connects and passes on at most its dev-to-net
    // buffer (64 bytes by default) at a time, and a server that buffers the
    // unit's output while no client is there holds at most what 9600 bit/s
    // carries between two of our attempts (30 s, about 28 KiB). A larger
    // buffer still drains: each attempt takes at least this much of it.
    static constexpr qint64 FloodBytes = 64 * 1024;
    static constexpr int FloodWindowMs = 1000;
    static constexpr int SubNegotiationMs = 1000;

    explicit NetworkLine(QObject *parent = nullptr);
    ~NetworkLine() override;

    // The server the next open() connects to. Ends any wait; another address
    // than before starts its retry schedule afresh.
    void setAddress(const NetworkAddress &address);

    // Within OpenDeadlineMs: lookup, connect, and binary mode agreed.
    bool open() override;
    // Waits up to OpenDeadlineMs for the last command to leave.
    void close() override;
    bool isOpen() const override;
    // The unit's bytes only; Telnet is answered on the way.
    bool readInput(QByteArray &block) override;
    // Escaped for Telnet, handed to the socket at once.
    bool write(const QByteArray &block) override;
    // Only after a connection that had stayed up for StableMs.
    bool worthReopeningAtOnce() const override;
    // Tries the address again, quietly, after the schedule's next wait, until
    // it opens (returned()).
    void awaitReturn() override;

private:
    bool connectWithin(const QDeadlineTimer &deadline);
    bool negotiateWithin(const QDeadlineTimer &deadline);
    // Reads what the socket holds through the Telnet layer, appends the data
    // bytes to `data` and answers the server. False when the answers would
    // pass WriteBufferSize.
    // False also when the bytes are what no unit sends (a flood, a
    // sub-negotiation without end), after the log has said so.
    bool takeInput(QByteArray &data);
    // The same into the bytes kept for the first readInput().
    bool takeWhileOpening();
    bool refuse(const char *why, LineFailure failure);
    void warnComPort();
    void fail();

    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;

    QTcpSocket m_socket;
    NetworkAddress m_address;
    Telnet::Client m_telnet{Telnet::Client::Mode::Raw};
    QByteArray m_pending;  // data bytes taken from the socket, not yet read
    bool m_opening = false;
    bool m_open = false;
    bool m_failed = false;  // while opening: the connection ended
    bool m_warned = false;  // about COM-PORT-OPTION, on this connection
    LineFailure m_fault = LineFailure::None;  // what ended this connection, where known
    // How long the connection that failed last had been up.
    QElapsedTimer m_upSince;
    qint64 m_lastUpMs = 0;
    // Bytes taken from the socket in the current window of FloodWindowMs.
    QElapsedTimer m_floodWindow;
    qint64 m_windowBytes = 0;
    // Runs while a sub-negotiation is open.
    QTimer m_subNegotiation;
    // While a lost line is awaited: the next attempt; the wait before it.
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
};
