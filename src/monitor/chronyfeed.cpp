#include "chronyfeed.h"
#include "socksample.h"

#include "events/journal.h"

#include <cerrno>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

ChronyFeed::ChronyFeed(const QString &unit, const QString &line, const QString &socket, QObject *parent)
    : QObject(parent)
    , m_unit(unit)
    , m_line(line)
    , m_socket(socket)
{
}

ChronyFeed::~ChronyFeed()
{
    close();
}

void ChronyFeed::take(ClockUse use, const UnitClock::Reading &reading, qint64 arrivedNs)
{
    if (use == ClockUse::Used)
        send(arrivedNs, reading.offset);
}

// The offset is the same at `tv`, which drops the arrival's nanoseconds: both
// clocks run on in that microsecond.
void ChronyFeed::send(qint64 arrivedNs, double offset)
{
    if (!m_retry.hasExpired())
        return;
    SockSample sample{};
    sample.tv.tv_sec = time_t(arrivedNs / 1000000000);
    sample.tv.tv_usec = suseconds_t(arrivedNs % 1000000000 / 1000);
    sample.offset = offset;
    sample.magic = SockMagic;
    int error = 0;
    if (m_fd < 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = m_socket.toLocal8Bit();  // its length checked with the settings
        std::copy(path.cbegin(), path.cend(), address.sun_path);
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            error = errno;
    }
    if (!error && ::send(m_fd, &sample, sizeof sample, MSG_NOSIGNAL) == ssize_t(sizeof sample))
        return;
    error = error ? error : errno;
    close();
    m_retry.setRemainingTime(RetryMs);
    Journal::chronyUnreachable(m_unit, m_line, m_socket, error, RetryMs / 1000);
}

void ChronyFeed::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
