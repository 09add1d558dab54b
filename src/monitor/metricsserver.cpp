#include "metricsserver.h"

#include <prometheus/collectable.h>
#include <prometheus/text_serializer.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QDeadlineTimer>
#include <QTimer>

#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Accepts connections for the HTTP server within the bounds above.
class BoundedListener final : public QTcpServer
{
public:
    explicit BoundedListener(QObject *parent)
        : QTcpServer(parent)
    {
        if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0)
            m_most = int(std::clamp<rlim_t>(limit.rlim_cur / 4, 1, rlim_t(m_most)));
        // A queue of 128 in the kernel: a burst is accepted in passes short
        // enough that the loop reads the requests that came meanwhile between
        // them. A longer queue makes each pass longer, and has more sockets
        // made at once; a connection that finds it full is asked again by its
        // client a second later.
        setListenBacklogSize(128);
        m_resume.setSingleShot(true);
        connect(&m_resume, &QTimer::timeout, this, &BoundedListener::makeRoom);
        // A failure to accept stops QTcpServer accepting, unless it takes it
        // for a passing one and tries again at once (Qt 6.4 so takes a lack
        // of descriptors, which the bound above keeps away). The oldest
        // connection makes up for a lack of descriptors or memory; without
        // one to close, accepting resumes a second later.
        connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::SocketResourceError)
                resumeAccepting();
            else if (closeOldest(false))
                resumeAccepting();
            else
                m_resume.start(1000);
        });
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(int(descriptor));
            delete socket;
            return;
        }
        m_open.append({socket, QDeadlineTimer(MetricsServer::GraceMs)});
        const auto forget = [this, socket] {
            m_open.removeIf([socket](const Open &open) { return open.socket == socket; });
            if (m_paused && m_open.size() <= m_most)
                makeRoom();
        };
        connect(socket, &QAbstractSocket::disconnected, this, forget);
        connect(socket, &QObject::destroyed, this, forget);
        // One answer a connection: closed once what was written has gone.
        connect(socket, &QIODevice::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() == 0)
                socket->disconnectFromHost();
        });
        // A timer of the socket's own, which ends with it: a connection closed
        // in time leaves nothing to wake the loop later.
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, &QAbstractSocket::abort);
        connect(socket, &QAbstractSocket::disconnected, deadline, &QTimer::stop);
        deadline->start(MetricsServer::ConnectionMs);
        addPendingConnection(socket);
        if (m_open.size() > m_most)
            makeRoom();
    }

private:
    struct Open
    {
        QTcpSocket *socket;
        QDeadlineTimer grace;  // until it has had time to send its request
    };

    // Back within the bound: the oldest connection that has nothing to read
    // and has had its grace is closed; where none has yet, accepting pauses
    // until the first grace ends.
    void makeRoom()
    {
        while (m_open.size() > m_most && closeOldest(true)) {
        }
        if (m_open.size() <= m_most) {
            m_paused = false;
            resumeAccepting();
            return;
        }
        m_paused = true;
        pauseAccepting();
        qint64 wait = MetricsServer::GraceMs;
        for (const Open &open : std::as_const(m_open))
            wait = std::min(wait, open.grace.remainingTime());
        m_resume.start(int(std::max<qint64>(wait, 1)));
    }

    // Closes the oldest connection with nothing to read (that has had its
    // grace, if `graceOver`), or else, where that is not asked, the oldest:
    // connections are accepted many at a time, before what arrived on any of
    // them is read, and a scrape's request waiting among those of a burst is
    // thus spared.
    bool closeOldest(bool graceOver)
    {
        const auto waiting = [](QTcpSocket *socket) {
            int bytes = 0;
            return socket->bytesAvailable() > 0 || (::ioctl(int(socket->socketDescriptor()), FIONREAD, &bytes) == 0 && bytes > 0);
        };
        auto chosen = std::find_if(m_open.begin(), m_open.end(), [&](const Open &open) {
            return !waiting(open.socket) && (!graceOver || open.grace.hasExpired());
        });
        if (chosen == m_open.end() && !graceOver && !m_open.isEmpty())
            chosen = m_open.begin();
        if (chosen == m_open.end())
            return false;
        QTcpSocket *oldest = chosen->socket;
        m_open.erase(chosen);
        oldest->abort();
        return true;
    }

    // Open, oldest first; at most MaxConnections, or a quarter of the
    // descriptors the process may open where that is fewer, but for those
    // accepted while none could yet be closed.
    QList<Open> m_open;
    int m_most = MetricsServer::MaxConnections;
    bool m_paused = false;
    QTimer m_resume;
};

} // namespace

MetricsServer::MetricsServer(std::vector<std::shared_ptr<prometheus::Collectable>> collectables, QObject *parent)
    : QObject(parent)
    , m_collectables(std::move(collectables))
{
    m_http.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [this] {
        return QHttpServerResponse(QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"), render());
    });
}

bool MetricsServer::listen(const QString &address)
{
    const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
    QString host = address.left(colon);
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    auto *listener = new BoundedListener(this);
    if (!listener->listen(QHostAddress(host), quint16(address.mid(colon + 1).toUInt()))) {
        delete listener;
        return false;
    }
    m_http.bind(listener);
    return true;
}

QByteArray MetricsServer::render() const
{
    std::vector<prometheus::MetricFamily> families;
    for (const std::shared_ptr<prometheus::Collectable> &collectable : m_collectables) {
        std::vector<prometheus::MetricFamily> some = collectable->Collect();
        families.insert(families.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
    }
    return QByteArray::fromStdString(prometheus::TextSerializer().Serialize(families));
}
