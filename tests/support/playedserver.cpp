#include "playedserver.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

PlayedServer::PlayedServer(QByteArray script, End end)
    : m_script(std::move(script))
    , m_end(end)
    , m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    , m_stop(::eventfd(0, EFD_CLOEXEC))
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const auto where = reinterpret_cast<sockaddr *>(&address);
    if (::bind(m_listener, where, length) == 0 && ::listen(m_listener, 8) == 0 && ::getsockname(m_listener, where, &length) == 0)
        m_port = ntohs(address.sin_port);
    m_clock.start();
    m_thread = std::thread(&PlayedServer::serve, this);
}

PlayedServer::~PlayedServer()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stop, &one, sizeof one);
    m_thread.join();
    ::close(m_listener);
    ::close(m_stop);
}

QList<qint64> PlayedServer::connections() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

void PlayedServer::serve()
{
    std::vector<int> held;
    for (;;) {
        pollfd waiting[] = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}};
        if (::poll(waiting, 2, -1) < 0 || waiting[1].revents)
            break;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_connections << m_clock.elapsed();
        }
        // The script once, or a flood of it for as long as the other end takes it and the server runs.
        for (qsizetype sent = 0, total = m_script.size(); sent < total;) {
            pollfd writable[] = {{fd, POLLOUT, 0}, {m_stop, POLLIN, 0}};
            const ssize_t n = ::poll(writable, 2, -1) > 0 && !writable[1].revents
                ? ::send(fd, m_script.constData() + sent % m_script.size(), std::size_t(m_script.size() - sent % m_script.size()), MSG_NOSIGNAL)
                : -1;
            if (n < 0)
                break;
            sent += n;
            if (m_end == End::Flood)
                total = sent + m_script.size();
        }
        if (m_end == End::Reset) {
            const linger now{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        if (m_end == End::Hold)
            held.push_back(fd);
        else
            ::close(fd);
    }
    for (const int fd : held)
        ::close(fd);
}
