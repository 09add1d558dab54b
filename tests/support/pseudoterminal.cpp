#include "pseudoterminal.h"

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
    cfsetspeed(&raw, B9600);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    // Our own hold on the slave keeps the master readable between the
    // program's opens and closes.
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty()
{
    hangUp();
}

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return false;
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, 1000);
            continue;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool Pty::write(const QByteArray &bytes)
{
    return WriteAll(m_master, bytes.constData(), std::size_t(bytes.size()));
}

QByteArray Pty::readAvailable()
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void Pty::hangUp()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}

bool Pty::vhangup()
{
    return m_slave >= 0 && ::ioctl(m_slave, TIOCVHANGUP) == 0;
}
