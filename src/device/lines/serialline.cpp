#include "device/lines/serialline.h"

#include "device/lines/lineformat.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

SerialLine::SerialLine(QObject *parent)
    : UnitLine(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &UnitLine::received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLine::onError);
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
    // Leave no lock file behind.
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
    if (!m_port.isOpen())
        m_return.watch(m_path);
}

bool SerialLine::isOpen() const
{
    return m_port.isOpen();
}

bool SerialLine::open()
{
    m_return.stop();
    if (m_port.isOpen())
        return false;
    // Most of the ports probed at start-up have no device. QSerialPort would
    // first make, sync to disk and remove a lock file for each, a few tenths
    // of a millisecond apiece, only to find nothing to open.
    if (m_path.isEmpty() || !QFileInfo::exists(m_path)) {
        setFailure(LineFailure::Missing);
        return false;
    }
    m_failed = false;
    m_port.clearError();
    m_port.setPortName(m_path);
    m_port.setBaudRate(LineFormat::BitRate);
    m_port.setDataBits(QSerialPort::DataBits(LineFormat::DataBits));
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::StopBits(LineFormat::StopBits));
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        setFailure(openFailure());
        return false;
    }
    setFailure(LineFailure::None);
    watchLine();
    return true;
}

QString SerialLine::failureDetail() const
{
    return failure() == LineFailure::None || failure() == LineFailure::Missing || m_port.errorString().isEmpty()
        ? UnitLine::failureDetail()
        : m_port.errorString();
}

// Why QSerialPort could not open the device. It reports a device that another
// program holds (its lock file, or EBUSY) as a permission error, as it does
// one that this user may not open: the device's own permissions tell them
// apart.
LineFailure SerialLine::openFailure() const
{
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return LineFailure::Missing;
    case QSerialPort::PermissionError:
        return ::access(QFile::encodeName(m_path).constData(), R_OK | W_OK) == 0 ? LineFailure::Busy
                                                                                : LineFailure::Permission;
    default:
        return LineFailure::Unusable;
    }
}

void SerialLine::close()
{
    m_return.stop();
    stopWatching();
    if (m_port.isOpen()) {
        // QSerialPort drops what it has not yet handed to the device when it
        // closes; a command the operator just gave must still leave.
        if (!m_failed)
            m_port.flush();
        m_port.close();
    }
    // Anything the close itself reported belongs to the line just closed.
    m_failed = false;
    m_port.clearError();
}

bool SerialLine::write(const QByteArray &block)
{
    if (!m_port.isOpen() || m_failed)
        return false;
    if (m_port.write(block) != block.size())
        return false;
    // Hand the frame to the device now rather than at the next turn of the
    // event loop: commands leave in the order given, at once.
    m_port.flush();
    return true;
}

bool SerialLine::readInput(QByteArray &block)
{
    if (m_failed) {
        block.clear();
        return false;
    }
    block = m_port.readAll();
    return true;
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        break;
    default:
        return;  // open failures are reported by open()'s result
    }
    fail();
}

void SerialLine::watchLine()
{
    m_watchFd = ::fcntl(int(m_port.handle()), F_DUPFD_CLOEXEC, 0);
    if (m_watchFd < 0)
        return;
    m_watch = new QSocketNotifier(m_watchFd, QSocketNotifier::Read, this);
    connect(m_watch, &QSocketNotifier::activated, this, &SerialLine::checkLine);
}

void SerialLine::stopWatching()
{
    delete m_watch;
    m_watch = nullptr;
    if (m_watchFd >= 0)
        ::close(m_watchFd);
    m_watchFd = -1;
}

// The line woke us. Bytes waiting are QSerialPort's to read; a hang-up, an
// error, or readable with nothing to read means the line is dead.
void SerialLine::checkLine()
{
    pollfd line{m_watchFd, POLLIN, 0};
    if (::poll(&line, 1, 0) <= 0)
        return;
    int waiting = 0;
    const bool dead = (line.revents & (POLLHUP | POLLERR | POLLNVAL))
        || ((line.revents & POLLIN) && (::ioctl(m_watchFd, FIONREAD, &waiting) != 0 || waiting == 0));
    if (dead)
        fail();
}

void SerialLine::fail()
{
    if (m_failed || !m_port.isOpen())
        return;
    m_failed = true;
    setFailure(LineFailure::Closed);
    // The dead line stays readable until it is closed; one report is enough.
    if (m_watch)
        m_watch->setEnabled(false);
    failedLater();
}
