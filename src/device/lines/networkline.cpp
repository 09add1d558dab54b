#include "device/lines/networkline.h"

#include "device/lines/hostlookup.h"
#include "device/lines/linelog.h"

#include <QNetworkProxy>

#include <algorithm>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int remaining(const QDeadlineTimer &deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

// A device server that loses power or its network sends nothing more, not
// even a reset. The kernel's keep-alive probes and its limit on
// unacknowledged data turn that into a socket error within seconds, with no
// timer in this process.
void detectSilentDeath(QTcpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int fd = int(socket.socketDescriptor());
    const int idleSeconds = 5, probeSeconds = 1, probes = 3, unacknowledgedMs = 8000;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &probeSeconds, sizeof probeSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

} // namespace

NetworkLine::NetworkLine(QObject *parent)
    : UnitLine(parent)
{
    // A device server on the rack's network is reached directly, never
    // through a proxy the desktop may have configured.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    m_socket.setReadBufferSize(ReadBufferSize);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        if (m_open && !m_failed)
            emit received();
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLine::fail);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::SocketTimeoutError)
            fail();
    });
    m_subNegotiation.setSingleShot(true);
    m_subNegotiation.setInterval(SubNegotiationMs);
    connect(&m_subNegotiation, &QTimer::timeout, this, [this] {
        if (!m_open || m_failed)
            return;
        refuse("a Telnet sub-negotiation not ended within 1 s", LineFailure::Protocol);
        fail();
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        // Every attempt counts, whether it opens or not; only a connection
        // that lasts starts the schedule again.
        m_retryMs = std::min(2 * m_retryMs, LastRetryMs);
        if (!tryReturn())
            m_retry.start(m_retryMs);
    });
}

void NetworkLine::setAddress(const NetworkAddress &address)
{
    m_retry.stop();
    if (address.toString() != m_address.toString()) {
        m_retryMs = FirstRetryMs;
        m_lastUpMs = 0;
    }
    m_address = address;
}

bool NetworkLine::isOpen() const
{
    return m_open;
}

bool NetworkLine::worthReopeningAtOnce() const
{
    return m_lastUpMs >= StableMs;
}

void NetworkLine::awaitReturn()
{
    if (!m_open)
        m_retry.start(m_retryMs);
}

bool NetworkLine::open()
{
    m_retry.stop();
    if (m_open)
        return false;
    const QDeadlineTimer deadline(OpenDeadlineMs);
    m_telnet = Telnet::Client(m_address.protocol == NetworkAddress::Protocol::Rfc2217 ? Telnet::Client::Mode::Telnet
                                                                                      : Telnet::Client::Mode::Raw);
    m_pending.clear();
    m_failed = false;
    m_warned = false;
    m_fault = LineFailure::None;
    m_floodWindow.invalidate();
    m_subNegotiation.stop();
    // Whatever the socket reports meanwhile ends the attempt, not a line.
    m_opening = true;
    bool agreed = connectWithin(deadline) && negotiateWithin(deadline);
    // A server that agrees and closes in one go (ser2net whose device is
    // missing) has not opened the line either: one more look, without
    // waiting, takes in what came with the agreement.
    if (agreed && m_socket.waitForReadyRead(0))
        agreed = takeWhileOpening();
    m_opening = false;
    if (!agreed || m_failed || m_socket.state() != QAbstractSocket::ConnectedState) {
        setFailure(m_fault != LineFailure::None ? m_fault : LineFailure::Closed);
        m_subNegotiation.stop();
        m_socket.abort();
        m_pending.clear();
        m_failed = false;
        return false;
    }
    setFailure(LineFailure::None);
    m_open = true;
    m_upSince.start();
    // Bytes that came with the negotiation are read like any others.
    if (!m_pending.isEmpty())
        receivedLater();
    return true;
}

bool NetworkLine::connectWithin(const QDeadlineTimer &deadline)
{
    const Connected connected = connectFirst({m_address}, deadline).front();
    m_fault = connected.failure;
    if (connected.descriptor < 0)
        return false;
    if (!m_socket.setSocketDescriptor(connected.descriptor)) {
        ::close(connected.descriptor);
        m_fault = LineFailure::Unreachable;
        return false;
    }
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    detectSilentDeath(m_socket);
    return true;
}

// Until BINARY holds both ways and the server has answered COM-PORT-OPTION,
// or the deadline passes. Without the option's answer by then the line is
// used as the server's port is set.
bool NetworkLine::negotiateWithin(const QDeadlineTimer &deadline)
{
    m_socket.write(m_telnet.opening());
    m_socket.flush();
    for (;;) {
        if (!takeWhileOpening() || m_failed)
            return false;
        if (m_telnet.binaryRefused()) {
            m_fault = LineFailure::Protocol;
            return false;
        }
        const bool comPortAnswered = m_telnet.comPortAccepted() || m_telnet.comPortRefused();
        if (m_telnet.binaryAgreed() && (comPortAnswered || m_address.protocol == NetworkAddress::Protocol::Raw))
            return true;
        if (remaining(deadline) == 0) {
            if (!m_telnet.binaryAgreed()) {
                m_fault = LineFailure::Protocol;
                return false;
            }
            warnComPort();
            return true;
        }
        m_socket.waitForReadyRead(remaining(deadline));
    }
}

bool NetworkLine::takeWhileOpening()
{
    const bool answered = takeInput(m_pending);
    // A flood during the opening keeps its newest bytes only.
    if (m_pending.size() > ReadBufferSize)
        m_pending.remove(0, m_pending.size() - ReadBufferSize);
    return answered;
}

bool NetworkLine::takeInput(QByteArray &data)
{
    // A socket that has closed holds nothing more to read.
    if (!m_socket.isReadable())
        return true;
    const QByteArray raw = m_socket.read(m_socket.bytesAvailable());
    if (!m_floodWindow.isValid() || m_floodWindow.hasExpired(FloodWindowMs)) {
        m_floodWindow.start();
        m_windowBytes = 0;
    }
    m_windowBytes += raw.size();
    if (m_windowBytes > FloodBytes)
        return refuse("more than 64 KiB within a second, far more than a unit sends at 9600 bit/s", LineFailure::Flood);
    QByteArray reply;
    m_telnet.receive(raw, data, reply);
    if (m_telnet.comPortRefused())
        warnComPort();
    if (m_telnet.subNegotiationOverlong())
        return refuse("a Telnet sub-negotiation longer than 1 KiB", LineFailure::Protocol);
    if (!m_telnet.inSubNegotiation())
        m_subNegotiation.stop();
    else if (!m_subNegotiation.isActive())
        m_subNegotiation.start();
    if (reply.isEmpty())
        return true;
    if (m_socket.bytesToWrite() + reply.size() > WriteBufferSize)
        return refuse("the server asks for more answers than it takes in", LineFailure::Protocol);
    m_socket.write(reply);
    m_socket.flush();
    return true;
}

bool NetworkLine::refuse(const char *why, LineFailure failure)
{
    qCWarning(LineLog, "%s: %s", qPrintable(m_address.toString()), why);
    m_fault = failure;
    return false;
}

void NetworkLine::warnComPort()
{
    if (m_warned)
        return;
    m_warned = true;
    qCWarning(LineLog, "%s: the server does not set its serial port; using it at its own settings",
              qPrintable(m_address.toString()));
}

void NetworkLine::close()
{
    m_retry.stop();
    m_subNegotiation.stop();
    // Nothing the socket reports while closing belongs to the line any more.
    const bool sendRest = m_open && !m_failed;
    if (m_open && m_upSince.elapsed() >= StableMs)
        m_retryMs = FirstRetryMs;
    m_open = false;
    m_failed = false;
    if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        // A command the operator just gave must still leave, as on a serial
        // port that drains before it closes.
        if (sendRest && m_socket.bytesToWrite() > 0)
            m_socket.waitForBytesWritten(OpenDeadlineMs);
        m_socket.abort();
    }
    m_failed = false;
    m_pending.clear();
}

bool NetworkLine::write(const QByteArray &block)
{
    if (!m_open || m_failed)
        return false;
    QByteArray line;
    m_telnet.encode(block, line);
    if (m_socket.bytesToWrite() + line.size() > WriteBufferSize) {
        m_fault = LineFailure::Protocol;
        fail();
        return false;
    }
    m_socket.write(line);
    // Commands leave in the order given, at once, not at the next turn of
    // the event loop.
    m_socket.flush();
    return true;
}

bool NetworkLine::readInput(QByteArray &block)
{
    block.clear();
    if (m_failed)
        return false;
    if (!m_open)
        return true;
    block.swap(m_pending);
    // A server that withdrew binary mode sends bytes that are no longer the
    // unit's; one that does not take our answers is not listening.
    if (!takeInput(block) || !m_telnet.binaryAgreed()) {
        if (m_fault == LineFailure::None)
            m_fault = LineFailure::Protocol;
        fail();
        block.clear();
        return false;
    }
    return true;
}

void NetworkLine::fail()
{
    if (m_opening) {
        m_failed = true;
        return;
    }
    if (!m_open || m_failed)
        return;
    m_failed = true;
    setFailure(m_fault != LineFailure::None ? m_fault : LineFailure::Closed);
    m_lastUpMs = m_upSince.elapsed();
    if (m_lastUpMs >= StableMs)
        m_retryMs = FirstRetryMs;
    failedLater();
}

NetworkLine::~NetworkLine()
{
    close();
}
