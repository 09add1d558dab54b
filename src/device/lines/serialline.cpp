#include "device/lines/serialline.h"

#include "device/lines/lineformat.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Output still held when the line closes (the device's own buffer was full)
// gets this long to leave.
constexpr int CloseDrainMs = 1000;

QString systemWords(const QString &step, int error)
{
    return QStringLiteral("%1: %2").arg(step, QString::fromLocal8Bit(std::strerror(error)));
}

// Why open() refused the device, from its errno.
LineFailure openFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return LineFailure::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return LineFailure::Permission;
    case EBUSY:  // made exclusive by a program that holds it (TIOCEXCL)
        return LineFailure::Busy;
    default:
        return LineFailure::Unusable;
    }
}

// The terminal set to the unit's line, raw. VMIN 1 makes a read with
// nothing waiting return EAGAIN on the non-blocking descriptor; with VMIN 0
// it would return 0, as a hung-up terminal does, and the two could not be
// told apart.
bool setLine(int fd)
{
    static_assert(LineFormat::DataBits == 8 && LineFormat::StopBits == 1, "CS8, no CSTOPB below");
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return false;
    ::cfmakeraw(&line);
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    // glibc takes the rate in bits per second as well as as B9600.
    return ::cfsetspeed(&line, LineFormat::BitRate) == 0 && ::tcsetattr(fd, TCSANOW, &line) == 0;
}

} // namespace

SerialLine::SerialLine(QObject *parent)
    : UnitLine(parent)
{
    // Something changed on the way to the lost device. A node may appear
    // before its permissions are set: a refusal now waits for the next
    // change, which the permissions' own change is.
    connect(&m_return, &DeviceWatcher::changed, this, [this] {
        m_return.stop();
        if (!tryReturn())
            m_return.watch(m_path);
    });
}

SerialLine::~SerialLine()
{
    close();
}

void SerialLine::setDevice(const QString &path)
{
    m_return.stop();
    // A bare name stands for a device in /dev, where its return is awaited.
    m_path = path.isEmpty() || path.contains(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path;
}

void SerialLine::awaitReturn()
{
    if (!isOpen())
        m_return.watch(m_path);
}

bool SerialLine::open()
{
    m_return.stop();
    if (isOpen())
        return false;
    if (m_path.isEmpty())
        return refuse(LineFailure::Missing, {});
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return refuse(openFailure(error), systemWords(QStringLiteral("open"), error));
    }
    // The lock is the descriptor's, and goes with it; it refuses a second
    // holder even when that one is root, whom TIOCEXCL lets through.
    // Each step that fails gives the descriptor back, and says why in the
    // system's words.
    const auto failing = [fd, this](LineFailure failure, const QString &step, int error) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return refuse(failure, failure == LineFailure::Busy ? QStringLiteral("another program holds the device")
                                                            : systemWords(step, error));
    };
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return failing(error == EWOULDBLOCK ? LineFailure::Busy : LineFailure::Unusable, QStringLiteral("flock"), error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        return failing(LineFailure::Unusable, QStringLiteral("TIOCEXCL"), error);
    }
    if (!setLine(fd)) {
        const int error = errno;
        return failing(LineFailure::Unusable, QStringLiteral("cannot set the line to %1").arg(LineFormat::text()), error);
    }
    m_watch = &LineWatch::instance();
    if (!m_watch->add(fd, this)) {
        const int error = errno;
        return failing(LineFailure::Unusable, QStringLiteral("epoll_ctl"), error);
    }
    m_fd = fd;
    m_failed = false;
    m_detail.clear();
    setFailure(LineFailure::None);
    return true;
}

bool SerialLine::refuse(LineFailure failure, const QString &detail)
{
    setFailure(failure);
    m_detail = detail;
    return false;
}

QString SerialLine::failureDetail() const
{
    return failure() == LineFailure::None || failure() == LineFailure::Missing || m_detail.isEmpty()
        ? UnitLine::failureDetail()
        : m_detail;
}

void SerialLine::close()
{
    m_return.stop();
    if (m_fd >= 0) {
        // A command the operator just gave must still leave.
        const QDeadlineTimer deadline(CloseDrainMs);
        while (!m_failed && !m_output.isEmpty()) {
            sendOutput();
            pollfd device{m_fd, POLLOUT, 0};
            if (!m_output.isEmpty() && ::poll(&device, 1, int(deadline.remainingTime())) <= 0)
                break;
        }
        if (m_watch)
            m_watch->remove(m_fd, this);
        // The terminal's exclusive mode is the terminal's, not the
        // descriptor's: it would outlast us where another holds the
        // terminal open (a pseudo-terminal's far end).
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    m_failed = m_taken = m_awaitingRoom = false;
    m_input.clear();
    m_output.clear();
}

bool SerialLine::write(const QByteArray &block)
{
    if (!isOpen() || m_failed)
        return false;
    m_output += block;
    sendOutput();
    return !m_failed;
}

void SerialLine::sendOutput()
{
    while (!m_output.isEmpty() && !m_failed) {
        const ssize_t sent = ::write(m_fd, m_output.constData(), std::size_t(m_output.size()));
        if (sent == m_output.size())
            m_output.clear();
        else if (sent >= 0)
            m_output.remove(0, sent);
        else if (errno == EAGAIN)
            break;
        else if (errno != EINTR)
            fail();
    }
    const bool awaitRoom = !m_output.isEmpty() && !m_failed;
    if (awaitRoom != m_awaitingRoom && m_watch)
        m_watch->setOutput(m_fd, this, m_awaitingRoom = awaitRoom);
}

// Takes what the line's wake-up brings. Whatever was read before a hang-up is
// handed out before the failure is told.
void SerialLine::take(std::uint32_t events)
{
    if (events & EPOLLOUT)
        sendOutput();
    if (m_failed || !(events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
        return;
    const qsizetype before = m_input.size();
    readAvailable();
    m_taken = m_taken || m_input.size() > before;
    if (events & (EPOLLHUP | EPOLLERR))
        fail();
}

void SerialLine::tell()
{
    if (std::exchange(m_taken, false))
        emit received();
}

bool SerialLine::readInput(QByteArray &block)
{
    // Outside a wake-up of the line, which reads first: what waits now.
    if (m_input.isEmpty() && isOpen() && !m_failed)
        readAvailable();
    block = std::exchange(m_input, QByteArray());
    return !block.isEmpty() || !m_failed;
}

// Reads what waits, noting the clock at each read that brings bytes. A read
// of nothing (0) or an error is a hang-up: the far end of a pseudo-terminal
// closed (EIO), the terminal hung up or its device gone (0).
void SerialLine::readAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_readAtNs = realtimeNs();
            m_input.append(buffer, n);
            if (std::size_t(n) < sizeof buffer)
                return;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else if (n == 0 || errno != EINTR) {
            fail();
            return;
        }
    }
}

void SerialLine::fail()
{
    if (m_failed)
        return;
    m_failed = true;
    setFailure(LineFailure::Closed);
    // The dead line stays readable until it is closed; one report is enough.
    if (m_watch)
        m_watch->remove(m_fd, this);
    m_output.clear();
    m_awaitingRoom = false;
    failedLater();
}
