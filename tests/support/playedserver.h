#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

// A device server on 127.0.0.1 that misbehaves on purpose, on a thread of its own so that it answers while the program
// blocks in opening a line: it sends each connection `script`, then closes, resets, holds or floods it, never reading.
class PlayedServer
{
public:
    enum class End { Close, Reset, Hold, Flood };

    PlayedServer(QByteArray script, End end) : m_script(std::move(script)), m_end(end)
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 8);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_clock.start();
        m_thread = std::thread([this] { serve(); });
    }
    ~PlayedServer()
    {
        ::eventfd_write(m_stop, 1);
        m_thread.join();
        ::close(m_listener);
        ::close(m_stop);
    }
    quint16 port() const { return m_port; }
    // How many times the script has been handed to the connection.
    int scriptsSent() const { return m_sent; }
    // When each connection was taken, in milliseconds from the server's start.
    QList<qint64> connections() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_connections;
    }

private:
    void serve()
    {
        std::vector<int> held;
        for (pollfd ready[] = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}}; ::poll(ready, 2, -1) > 0 && !ready[1].revents;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_connections << m_clock.elapsed();
            }
            // The script once, or again and again for as long as the other end takes it and the server runs.
            for (pollfd out[] = {{fd, POLLOUT, 0}, {m_stop, POLLIN, 0}}; ::poll(out, 2, -1) > 0 && !out[1].revents
                 && ::send(fd, m_script.constData(), std::size_t(m_script.size()), MSG_NOSIGNAL) >= 0 && ++m_sent && m_end == End::Flood;) {
            }
            const linger now{1, 0};
            if (m_end == End::Reset)
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
            m_end == End::Hold ? held.push_back(fd) : void(::close(fd));
        }
        for (const int fd : held)
            ::close(fd);
    }

    QByteArray m_script;
    End m_end;
    int m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_stop = ::eventfd(0, EFD_CLOEXEC);
    quint16 m_port = 0;
    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;
    QList<qint64> m_connections;
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};
