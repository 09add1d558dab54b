#include "hostlookup.h"

#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

struct HostLookup::Shared
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::vector<sockaddr_storage> found;
    // Readable once the lookup is done, for a caller that waits on several.
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    Shared() = default;
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;
    ~Shared()
    {
        if (wake >= 0)
            ::close(wake);
    }

    // Every address getaddrinfo gives for `name`, none if it fails.
    static std::vector<sockaddr_storage> resolve(const char *name, int flags)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = flags;
        addrinfo *list = nullptr;
        std::vector<sockaddr_storage> found;
        if (::getaddrinfo(name, nullptr, &hints, &list) != 0)
            return found;
        for (const addrinfo *entry = list; entry; entry = entry->ai_next) {
            sockaddr_storage address{};
            std::memcpy(&address, entry->ai_addr, std::min<std::size_t>(entry->ai_addrlen, sizeof address));
            found.push_back(address);
        }
        ::freeaddrinfo(list);
        return found;
    }

    void finish(std::vector<sockaddr_storage> addresses)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        found = std::move(addresses);
        done = true;
        finished.notify_all();
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }
};

HostLookup::HostLookup(const QString &host)
    : m_shared(std::make_shared<Shared>())
{
    // A literal address, v4 or v6, is read here and now.
    std::vector<sockaddr_storage> literal = Shared::resolve(host.toLatin1().constData(), AI_NUMERICHOST);
    const QByteArray name = QUrl::toAce(host);
    if (!literal.empty() || name.isEmpty()) {
        m_shared->finish(std::move(literal));
        return;
    }
    try {
        std::thread([shared = m_shared, name] { shared->finish(Shared::resolve(name.constData(), 0)); }).detach();
    } catch (const std::system_error &) {
        m_shared->finish({});
    }
}

bool HostLookup::isDone() const
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->done;
}

bool HostLookup::wait(const QDeadlineTimer &deadline) const
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    const auto left = std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime()));
    return m_shared->finished.wait_for(lock, left, [this] { return m_shared->done; });
}

QList<QHostAddress> HostLookup::addresses() const
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    QList<QHostAddress> addresses;
    for (const sockaddr_storage &address : m_shared->found)
        addresses << QHostAddress(reinterpret_cast<const sockaddr *>(&address));
    return addresses;
}

namespace {

// One entry of a scan: its lookup, then a connection to each of its
// addresses at once; the first that stands answers for the entry.
struct Probe
{
    Probe(const QString &host, quint16 port) : lookup(host), port(port) {}

    HostLookup lookup;
    quint16 port;
    bool connecting = false;
    bool answered = false;
    std::vector<int> sockets;

    void closeAll()
    {
        for (const int fd : sockets)
            ::close(fd);
        sockets.clear();
    }

    void connectAll(const std::vector<sockaddr_storage> &addresses)
    {
        connecting = true;
        for (sockaddr_storage address : addresses) {
            socklen_t length = sizeof(sockaddr_in6);
            if (address.ss_family == AF_INET) {
                reinterpret_cast<sockaddr_in *>(&address)->sin_port = htons(port);
                length = sizeof(sockaddr_in);
            } else {
                reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port = htons(port);
            }
            const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                continue;
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) {
                ::close(fd);
                answered = true;
            } else if (errno == EINPROGRESS) {
                sockets.push_back(fd);
            } else {
                ::close(fd);
            }
        }
        if (answered)
            closeAll();
    }

    // A connection of ours has finished trying.
    void settled(int fd)
    {
        int error = 0;
        socklen_t length = sizeof error;
        answered = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        sockets.erase(std::find(sockets.begin(), sockets.end(), fd));
        ::close(fd);
        if (answered)
            closeAll();
    }
};

} // namespace

QList<bool> answering(const QList<NetworkAddress> &entries, int deadlineMs, QStringList &why)
{
    const QDeadlineTimer deadline(deadlineMs);
    std::vector<std::unique_ptr<Probe>> probes;
    for (const NetworkAddress &entry : entries)
        probes.push_back(std::make_unique<Probe>(entry.host, entry.port));
    const auto startConnecting = [](Probe &probe) {
        std::vector<sockaddr_storage> found;
        {
            const std::lock_guard<std::mutex> lock(probe.lookup.m_shared->mutex);
            found = probe.lookup.m_shared->found;
        }
        probe.connectAll(found);
    };
    for (const auto &probe : probes) {
        if (probe->lookup.isDone())
            startConnecting(*probe);
    }
    // One poll over every lookup still running and every connection still
    // trying, until none is left or the deadline passes.
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<Probe *> owners;
        for (const auto &probe : probes) {
            if (!probe->connecting) {
                waiting.push_back({probe->lookup.m_shared->wake, POLLIN, 0});
                owners.push_back(probe.get());
            }
            for (const int fd : probe->sockets) {
                waiting.push_back({fd, POLLOUT, 0});
                owners.push_back(probe.get());
            }
        }
        const qint64 left = deadline.remainingTime();
        if (waiting.empty() || left <= 0)
            break;
        const int ready = ::poll(waiting.data(), waiting.size(), int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            if (!waiting[i].revents)
                continue;
            if (!owners[i]->connecting)
                startConnecting(*owners[i]);
            else if (!owners[i]->answered)
                owners[i]->settled(waiting[i].fd);
        }
    }
    QList<bool> answered;
    why = QStringList(entries.size(), QString());
    for (std::size_t i = 0; i < probes.size(); ++i) {
        Probe &probe = *probes[i];
        probe.closeAll();
        answered << probe.answered;
        if (!probe.connecting)
            why[qsizetype(i)] = QStringLiteral("no answer from the name server in time");
        else if (probe.lookup.addresses().isEmpty())
            why[qsizetype(i)] = QStringLiteral("the name does not resolve");
    }
    return answered;
}
