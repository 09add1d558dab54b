#include "networkportservice.h"

#include "portdevices.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

std::chrono::milliseconds Remaining(const QDeadlineTimer &deadline)
{
    return std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime()));
}

// What a name lookup hands back across threads: plain bytes, no Qt objects.
struct Lookup
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::vector<sockaddr_storage> addresses;
};

// A name lookup under way. getaddrinfo takes no time limit and may wait
// many seconds on an unreachable name server, QHostInfo::fromName with it,
// and QHostInfo's asynchronous lookup needs the event loop, which open()
// must not run. So the lookup runs on a detached thread that shares only
// this block with the caller; whichever lets go of the block last frees it,
// and a late answer touches nothing else. Each such thread ends when the
// resolver's own time-outs do. (getaddrinfo_a would hand the same wait to
// glibc's own thread, but its request may not be freed until it completes,
// which brings back the same bookkeeping without the portability.) Several
// lookups run at once when several lines are probed together.
class PendingLookUp
{
public:
    explicit PendingLookUp(const QString &host)
    {
        if (m_literal.setAddress(host))
            return;
        const QByteArray name = QUrl::toAce(host);
        if (name.isEmpty())
            return;
        try {
            std::thread([lookup = m_lookup, name] {
                addrinfo hints{};
                hints.ai_family = AF_UNSPEC;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo *list = nullptr;
                std::vector<sockaddr_storage> found;
                if (getaddrinfo(name.constData(), nullptr, &hints, &list) == 0) {
                    for (const addrinfo *entry = list; entry; entry = entry->ai_next) {
                        sockaddr_storage address{};
                        std::memcpy(&address, entry->ai_addr, std::min<size_t>(entry->ai_addrlen, sizeof address));
                        found.push_back(address);
                    }
                    freeaddrinfo(list);
                }
                const std::lock_guard<std::mutex> lock(lookup->mutex);
                lookup->addresses = std::move(found);
                lookup->done = true;
                lookup->finished.notify_all();
            }).detach();
        } catch (const std::system_error &) {
            const std::lock_guard<std::mutex> lock(m_lookup->mutex);
            m_lookup->done = true;
        }
    }

    // The addresses the host stands for, in the resolver's order, or none if
    // the deadline passes first (`inTime` false) or the name does not
    // resolve.
    QList<QHostAddress> wait(const QDeadlineTimer &deadline, bool *inTime = nullptr)
    {
        if (inTime)
            *inTime = true;
        if (!m_literal.isNull())
            return {m_literal};
        std::unique_lock<std::mutex> lock(m_lookup->mutex);
        if (!m_lookup->finished.wait_for(lock, Remaining(deadline), [&] { return m_lookup->done; })) {
            if (inTime)
                *inTime = false;
            return {};
        }
        QList<QHostAddress> addresses;
        for (const sockaddr_storage &address : m_lookup->addresses)
            addresses << QHostAddress(reinterpret_cast<const sockaddr *>(&address));
        return addresses;
    }

private:
    QHostAddress m_literal;
    std::shared_ptr<Lookup> m_lookup = std::make_shared<Lookup>();
};

QList<QHostAddress> LookUp(const QString &host, const QDeadlineTimer &deadline)
{
    return PendingLookUp(host).wait(deadline);
}

// A device server that loses power or its network sends nothing more, not
// even a reset. The kernel's keep-alive probes and its limit on
// unacknowledged data turn that into a socket error within seconds, with no
// timer in this process.
void DetectSilentDeath(QTcpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#if defined(TCP_KEEPIDLE) && defined(TCP_USER_TIMEOUT)
    const int fd = int(socket.socketDescriptor());
    const int idleSeconds = 5, probeSeconds = 1, probes = 3, unacknowledgedMs = 8000;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &probeSeconds, sizeof probeSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
#endif
}

} // namespace

NetworkPortService::NetworkPortService(QObject *parent)
    : PortService(parent)
{
    // A device server on the rack's network is reached directly, never
    // through a proxy the desktop may have configured.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    m_socket.setReadBufferSize(ReadBufferSize);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        if (m_open && !m_failed)
            emit received();
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkPortService::fail);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::SocketTimeoutError)
            fail();
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        const int waited = m_retryMs;
        if (open()) {
            emit returned();
            return;
        }
        m_retryMs = std::min(2 * waited, LastRetryMs);
        m_retry.start(m_retryMs);
    });
}

void NetworkPortService::awaitReturn()
{
    if (m_open)
        return;
    m_retryMs = FirstRetryMs;
    m_retry.start(m_retryMs);
}

QList<bool> NetworkPortService::Answering(const QList<NetworkAddress> &addresses, QStringList &why)
{
    const QDeadlineTimer deadline(OpenDeadlineMs);
    std::vector<PendingLookUp> lookups;
    lookups.reserve(std::size_t(addresses.size()));
    for (const NetworkAddress &address : addresses)
        lookups.emplace_back(address.host);
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    why = QStringList(addresses.size(), QString());
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        bool inTime = true;
        const QList<QHostAddress> found = lookups[std::size_t(i)].wait(deadline, &inTime);
        auto socket = std::make_unique<QTcpSocket>();
        if (found.isEmpty())
            why[i] = inTime ? QStringLiteral("the name does not resolve")
                            : QStringLiteral("no answer from the name server in time");
        else {
            socket->setProxy(QNetworkProxy::NoProxy);
            socket->connectToHost(found.first(), addresses[i].port);
        }
        sockets.push_back(std::move(socket));
    }
    QList<bool> answering;
    for (const auto &socket : sockets) {
        // Past the deadline a socket still gets a look of a millisecond: a
        // connection that stood meanwhile is only seen by looking.
        const bool connected = socket->state() != QAbstractSocket::UnconnectedState
            && socket->waitForConnected(int(std::max<qint64>(1, Remaining(deadline).count())));
        answering << connected;
        socket->abort();
    }
    return answering;
}

NetworkPortService::~NetworkPortService()
{
    close();
}

void NetworkPortService::setPortNumber(qint16 port)
{
    setEntry(Module1::DevicePathForPort(port));
}

void NetworkPortService::setEntry(const QString &entry)
{
    m_retry.stop();
    m_entry = entry;
    m_address = ParseNetworkAddress(m_entry, &m_entryError);
}

void NetworkPortService::setAddress(const NetworkAddress &address)
{
    m_retry.stop();
    m_address = address;
    m_entry = address.toString();
    m_entryError.clear();
}

bool NetworkPortService::isOpen() const
{
    return m_open;
}

bool NetworkPortService::open()
{
    m_retry.stop();
    if (m_open)
        return false;
    if (!m_address) {
        if (IsNetworkEntry(m_entry))
            std::fprintf(stderr, "%s: %s\n", qPrintable(m_entry), qPrintable(m_entryError));
        return false;
    }
    const QDeadlineTimer deadline(OpenDeadlineMs);
    m_telnet = Telnet::Client(m_address->protocol == NetworkAddress::Protocol::Rfc2217 ? Telnet::Client::Mode::Telnet
                                                                                       : Telnet::Client::Mode::Raw);
    m_pending.clear();
    m_failed = false;
    m_warned = false;
    if (!connectWithin(deadline) || !negotiateWithin(deadline)) {
        m_socket.abort();
        m_pending.clear();
        return false;
    }
    m_open = true;
    // Bytes that came with the negotiation are read like any others.
    if (!m_pending.isEmpty())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_open && !m_failed)
                    emit received();
            },
            Qt::QueuedConnection);
    return true;
}

bool NetworkPortService::connectWithin(const QDeadlineTimer &deadline)
{
    for (const QHostAddress &address : LookUp(m_address->host, deadline)) {
        const auto left = Remaining(deadline);
        if (left.count() == 0)
            break;
        m_socket.connectToHost(address, m_address->port);
        if (m_socket.waitForConnected(int(left.count()))) {
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            DetectSilentDeath(m_socket);
            return true;
        }
        m_socket.abort();
    }
    return false;
}

bool NetworkPortService::negotiateWithin(const QDeadlineTimer &deadline)
{
    m_socket.write(m_telnet.opening());
    m_socket.flush();
    for (;;) {
        takeInput(m_pending);
        // A flood during the negotiation keeps its newest bytes only.
        if (m_pending.size() > ReadBufferSize)
            m_pending.remove(0, m_pending.size() - ReadBufferSize);
        if (m_telnet.binaryAgreed())
            return true;
        if (m_telnet.binaryRefused() || m_socket.state() != QAbstractSocket::ConnectedState)
            return false;
        const auto left = Remaining(deadline);
        if (left.count() == 0)
            return false;
        m_socket.waitForReadyRead(int(left.count()));
    }
}

void NetworkPortService::takeInput(QByteArray &data)
{
    const QByteArray raw = m_socket.read(m_socket.bytesAvailable());
    QByteArray reply;
    m_telnet.receive(raw, data, reply);
    if (!reply.isEmpty()) {
        m_socket.write(reply);
        m_socket.flush();
    }
    if (m_telnet.comPortRefused() && !m_warned) {
        m_warned = true;
        std::fprintf(stderr, "%s: the server does not set its serial port; using it at its own settings\n",
                     qPrintable(m_address->toString()));
    }
}

void NetworkPortService::close()
{
    m_retry.stop();
    // Nothing the socket reports while closing belongs to the line any more.
    const bool sendRest = m_open && !m_failed;
    m_open = false;
    m_failed = false;
    if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        // A command the operator just gave must still leave, as on a serial
        // port that drains before it closes.
        if (sendRest && m_socket.bytesToWrite() > 0)
            m_socket.waitForBytesWritten(OpenDeadlineMs);
        m_socket.abort();
    }
    m_pending.clear();
}

bool NetworkPortService::write(const QByteArray &block)
{
    if (!m_open || m_failed)
        return false;
    QByteArray line;
    m_telnet.encode(block, line);
    if (m_socket.write(line) != line.size())
        return false;
    // Commands leave in the order given, at once, not at the next turn of
    // the event loop.
    m_socket.flush();
    return true;
}

bool NetworkPortService::readInput(QByteArray &block)
{
    block.clear();
    if (m_failed)
        return false;
    if (!m_open)
        return true;
    block.swap(m_pending);
    takeInput(block);
    if (!m_telnet.binaryAgreed()) {
        // The server withdrew binary mode: its bytes are no longer the unit's.
        fail();
        block.clear();
        return false;
    }
    return true;
}

void NetworkPortService::fail()
{
    if (!m_open || m_failed)
        return;
    m_failed = true;
    // Reported from the event loop: the handler closes and reopens the
    // port, which must not happen inside the socket's own notification.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_failed && m_open)
                emit received();
        },
        Qt::QueuedConnection);
}
