#include "line.h"

#include "device/lines/lineformat.h"

#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reports pile up in a pseudo-terminal while no program has the line open;
// a real line would simply lose them. Beyond this many unread bytes they are
// dropped, so that a program opening the line sees the present, not minutes
// of old reports (nor blocks the unit once the buffer is full).
constexpr int MaxUnreadBytes = 256;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

void makeRaw(termios &settings)
{
    cfmakeraw(&settings);
    cfsetspeed(&settings, LineFormat::BitRate);  // glibc takes the rate itself
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    static_assert(LineFormat::DataBits == 8 && LineFormat::StopBits == 1, "CS8 without CSTOPB");
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

} // namespace

std::unique_ptr<Line> Line::openPseudoTerminal(QString &error)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    termios settings{};
    makeRaw(settings);
    if (::openpty(&master, &slave, name, &settings, nullptr) != 0) {
        error = systemError("cannot open a pseudo-terminal");
        return nullptr;
    }
    setNonBlocking(master);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<Line>(new Line(master, slave, QString::fromLocal8Bit(name)));
}

std::unique_ptr<Line> Line::openDevice(const QString &path, QString &error)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemError(qPrintable(path));
        return nullptr;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        error = systemError(qPrintable(path + QStringLiteral(" is not a serial line")));
        ::close(fd);
        return nullptr;
    }
    makeRaw(settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        error = systemError(qPrintable(path));
        ::close(fd);
        return nullptr;
    }
    ::tcflush(fd, TCIOFLUSH);
    return std::unique_ptr<Line>(new Line(fd, -1, path));
}

Line::Line(int fd, int slaveFd, const QString &path)
    : m_fd(fd)
    , m_slaveFd(slaveFd)
    , m_path(path)
    , m_readable(new QSocketNotifier(fd, QSocketNotifier::Read, this))
    , m_writable(new QSocketNotifier(fd, QSocketNotifier::Write, this))
{
    m_writable->setEnabled(false);
    connect(m_readable, &QSocketNotifier::activated, this, &Line::readWaiting);
    connect(m_writable, &QSocketNotifier::activated, this, &Line::writeWaiting);
}

Line::~Line()
{
    close();
}

void Line::close()
{
    m_readable->setEnabled(false);
    m_writable->setEnabled(false);
    m_out.clear();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = m_slaveFd = -1;
}

void Line::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return;
    if (m_slaveFd >= 0) {
        int unread = 0;
        if (::ioctl(m_slaveFd, FIONREAD, &unread) == 0 && unread > MaxUnreadBytes)
            ::tcflush(m_slaveFd, TCIFLUSH);
    }
    m_out += bytes;
    writeWaiting();
}

void Line::writeWaiting()
{
    while (!m_out.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_out.constData(), size_t(m_out.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;
            fail(systemError("write"));
            return;
        }
        m_out.remove(0, n);
    }
    m_writable->setEnabled(!m_out.isEmpty());
}

void Line::readWaiting()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, n));
            if (m_fd < 0)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        fail(n == 0 ? QStringLiteral("the line was closed") : systemError("read"));
        return;
    }
}

void Line::fail(const QString &why)
{
    close();
    emit failed(why);
}

bool LineLink::make(const QString &target, const QString &at, QString &error)
{
    const QByteArray link = at.toLocal8Bit();
    struct stat existing = {};
    if (::lstat(link.constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = QStringLiteral("%1 exists and is not a symbolic link").arg(at);
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(target.toLocal8Bit().constData(), link.constData()) != 0) {
        error = systemError(qPrintable(at));
        return false;
    }
    m_target = target;
    m_at = at;
    return true;
}

LineLink::~LineLink()
{
    if (m_at.isEmpty())
        return;
    // Only if it is still ours: another unit may have taken the place since.
    char target[PATH_MAX] = {};
    const QByteArray link = m_at.toLocal8Bit();
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n > 0 && QString::fromLocal8Bit(target, int(n)) == m_target)
        ::unlink(link.constData());
}
