#include "pseudoterminal.h"

#include "device/lines/lineformat.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, LineFormat::BitRate);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the terminal open behind its back.
    for (const int fd : {m_master, m_slave})
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (n < 0) {
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, 1000);
            continue;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

QByteArray Pty::readAvailable()
{
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

void Pty::hangUp()
{
    for (int *fd : {&m_slave, &m_master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool Pty::vhangup()
{
    return m_slave >= 0 && ::ioctl(m_slave, TIOCVHANGUP) == 0;
}
