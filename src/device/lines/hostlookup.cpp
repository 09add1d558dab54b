#include "device/lines/hostlookup.h"

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

int HostLookup::doneDescriptor() const
{
    return m_shared->wake;
}

std::vector<sockaddr_storage> HostLookup::socketAddresses() const
{
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->found;
}

namespace {

// One entry: its lookup, then a connection to each of its addresses at once;
// the first that stands is kept, the others are closed.
struct Attempt
{
    Attempt(const QString &host, quint16 port) : lookup(host), port(port) {}
    Attempt(const Attempt &) = delete;
    Attempt &operator=(const Attempt &) = delete;
    ~Attempt()
    {
        closeAll();
        if (winner >= 0)
            ::close(winner);
    }

    HostLookup lookup;
    quint16 port;
    bool connecting = false;
    bool refused = false;  // a connection was refused
    int winner = -1;
    std::vector<int> sockets;

    void closeAll()
    {
        for (const int fd : sockets)
            ::close(fd);
        sockets.clear();
    }

    void won(int fd)
    {
        sockets.erase(std::remove(sockets.begin(), sockets.end(), fd), sockets.end());
        winner = fd;
        closeAll();
    }

    void connectAll()
    {
        connecting = true;
        for (sockaddr_storage address : lookup.socketAddresses()) {
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
            sockets.push_back(fd);
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) {
                won(fd);
                return;
            }
            if (errno != EINPROGRESS) {
                refused = refused || errno == ECONNREFUSED;
                sockets.pop_back();
                ::close(fd);
            }
        }
    }

    // A connection of ours has finished trying.
    void settled(int fd)
    {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            won(fd);
            return;
        }
        refused = refused || error == ECONNREFUSED;
        sockets.erase(std::remove(sockets.begin(), sockets.end(), fd), sockets.end());
        ::close(fd);
    }
};

} // namespace

std::vector<Connected> connectFirst(const QList<NetworkAddress> &entries, const QDeadlineTimer &deadline)
{
    std::vector<std::unique_ptr<Attempt>> attempts;
    for (const NetworkAddress &entry : entries) {
        attempts.push_back(std::make_unique<Attempt>(entry.host, entry.port));
        if (attempts.back()->lookup.isDone())
            attempts.back()->connectAll();
    }
    // One poll over every lookup still running and every connection still
    // trying, until none is left or the deadline passes.
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<Attempt *> owners;
        for (const auto &attempt : attempts) {
            if (!attempt->connecting) {
                waiting.push_back({attempt->lookup.doneDescriptor(), POLLIN, 0});
                owners.push_back(attempt.get());
            }
            for (const int fd : attempt->sockets) {
                waiting.push_back({fd, POLLOUT, 0});
                owners.push_back(attempt.get());
            }
        }
        const qint64 left = deadline.remainingTime();
        if (waiting.empty() || left == 0)
            break;
        const int ready = ::poll(waiting.data(), waiting.size(), int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            if (!waiting[i].revents || owners[i]->winner >= 0)
                continue;
            if (!owners[i]->connecting)
                owners[i]->connectAll();
            else
                owners[i]->settled(waiting[i].fd);
        }
    }
    std::vector<Connected> connected;
    for (const auto &attempt : attempts) {
        Connected one;
        one.descriptor = std::exchange(attempt->winner, -1);
        if (one.descriptor >= 0) {
            connected.push_back(one);
            continue;
        }
        one.failure = attempt->refused ? LineFailure::Refused : LineFailure::Unreachable;
        if (!attempt->connecting) {
            one.why = QStringLiteral("no answer from the name server in time");
        } else if (attempt->lookup.addresses().isEmpty()) {
            one.why = QStringLiteral("the name does not resolve");
            one.failure = LineFailure::NoSuchName;
        }
        connected.push_back(one);
    }
    return connected;
}
