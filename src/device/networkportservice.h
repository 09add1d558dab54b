#pragma once

#include "networkaddress.h"
#include "portservice.h"
#include "telnet.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// The serial line through a device server on the network (networkaddress.h):
// raw TCP, or Telnet with the server's serial port set to the unit's line
// (telnet.h). To the rest of the program it behaves as SerialPortService does.
//
// open() blocks, like opening a serial port, but for OpenDeadlineMs at most:
// name lookup, connect and the agreement on binary mode all fit in it, and
// nothing is sent to the unit before binary mode holds both ways. A server
// that refuses binary mode cannot be opened; one that refuses
// COM-PORT-OPTION is used as its port is set, and one line on standard error
// says so.
//
// Once open, Telnet commands are answered by the service itself; readInput()
// returns only the unit's bytes, and write() escapes them for the line and
// hands them to the socket at once. Between two readInput() calls the
// process holds at most ReadBufferSize bytes from the socket, and as many
// again that came during open(); beyond that TCP holds the server back.
//
// A connection that ends while open (the server closes it, resets it, hands
// the line to another client, goes away, or withdraws binary mode) is a line
// failure, reported once: received() is raised from the event loop and
// readInput() returns false until the port is closed. After a failure or a
// close nothing wakes the process.
class NetworkPortService final : public PortService
{
    Q_OBJECT

public:
    static constexpr int OpenDeadlineMs = 250;
    static constexpr qint64 ReadBufferSize = 64 * 1024;

    explicit NetworkPortService(QObject *parent = nullptr);
    ~NetworkPortService() override;

    // Takes the address from the port's entry (portdevices.h). An entry that
    // is not a valid network address makes open() fail, with its reason on
    // standard error.
    void setPortNumber(qint16 port) override;
    // The same for a port whose entry has been read already.
    void setEntry(const QString &entry);
    // Uses this address for the next open().
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
    // Tries the address again, quietly, after 1 s, 2 s, 4 s and so on, then
    // every 30 s, until it opens (returned()).
    void awaitReturn() override;

    // Which of `addresses` accept a connection, all tried at once within one
    // OpenDeadlineMs, so that a scan of many lines that never answer waits
    // no longer than for one. A connection is closed as soon as it stands.
    // `why` gets, for each address, the reason it is not reached where one
    // is known ("the name does not resolve"), else nothing.
    static QList<bool> Answering(const QList<NetworkAddress> &addresses, QStringList &why);

    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;

private:
    bool connectWithin(const QDeadlineTimer &deadline);
    bool negotiateWithin(const QDeadlineTimer &deadline);
    // Reads what the socket holds through the Telnet layer, appends the data
    // bytes to `data` and answers the server.
    void takeInput(QByteArray &data);
    void fail();

    QTcpSocket m_socket;
    std::optional<NetworkAddress> m_address;
    QString m_entryError;  // why the port's entry is no address
    QString m_entry;
    Telnet::Client m_telnet{Telnet::Client::Mode::Raw};
    QByteArray m_pending;  // data bytes taken from the socket, not yet read
    bool m_open = false;
    bool m_failed = false;
    bool m_warned = false;  // about COM-PORT-OPTION, on this connection
    // While a lost line is awaited: the next attempt, and the wait before it.
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
};
