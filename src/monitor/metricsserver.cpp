#include "metricsserver.h"

#include <prometheus/collectable.h>
#include <prometheus/text_serializer.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
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
        // A failure to accept stops QTcpServer accepting, unless it takes it
        // for a passing one and tries again at once (Qt 6.4 so takes a lack
        // of descriptors, which the bound above keeps away). The oldest
        // connection makes up for a lack of descriptors or memory; without
        // one to close, accepting resumes a second later.
        connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::SocketResourceError)
                resumeAccepting();
            else if (closeOldest())
                resumeAccepting();
            else
                QTimer::singleShot(1000, this, &QTcpServer::resumeAccepting);
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
        if (m_open.size() >= m_most)
            closeOldest();
        m_open.append(socket);
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { m_open.removeOne(socket); });
        connect(socket, &QObject::destroyed, this, [this, socket] { m_open.removeOne(socket); });
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
    }

private:
    // Closes the oldest connection with nothing to read, or else the oldest:
    // connections are accepted many at a time, before what arrived on any of
    // them is read, and a scrape's request waiting in the kernel among those
    // of a burst is thus spared.
    bool closeOldest()
    {
        if (m_open.isEmpty())
            return false;
        const auto waiting = [](QTcpSocket *socket) {
            int bytes = 0;
            return socket->bytesAvailable() > 0 || (::ioctl(int(socket->socketDescriptor()), FIONREAD, &bytes) == 0 && bytes > 0);
        };
        const auto idle = std::find_if_not(m_open.begin(), m_open.end(), waiting);
        QTcpSocket *oldest = idle == m_open.end() ? m_open.first() : *idle;
        m_open.removeOne(oldest);
        oldest->abort();
        return true;
    }

    // Open, oldest first; at most MaxConnections, or a quarter of the
    // descriptors the process may open where that is fewer.
    QList<QTcpSocket *> m_open;
    int m_most = MetricsServer::MaxConnections;
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
