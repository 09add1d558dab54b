#include "serialportservice.h"

#include "portnames.h"

#include <QFileInfo>

namespace {

// Whether the device behind a port name is there, resolved as QSerialPort
// resolves it: a bare name such as "ttyUSB0" lies in /dev.
bool DeviceExists(const QString &portName)
{
    const bool isPath = portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./"))
        || portName.startsWith(QLatin1String("../"));
    return QFileInfo::exists(isPath ? portName : QLatin1String("/dev/") + portName);
}

} // namespace

SerialPortService::SerialPortService(QObject *parent)
    : PortService(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &PortService::received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortService::onError);
}

SerialPortService::~SerialPortService()
{
    // Leave no lock file behind.
    close();
}

void SerialPortService::setPortNumber(qint16 port)
{
    m_portNumber = port;
}

QString SerialPortService::devicePath() const
{
    return Module1::DevicePathForPort(m_portNumber);
}

bool SerialPortService::isOpen() const
{
    return m_port.isOpen();
}

bool SerialPortService::open()
{
    if (m_port.isOpen())
        return false;
    const QString path = devicePath();
    if (path.isEmpty())
        return false;
    // Most of the ports probed at start-up have no device. QSerialPort would
    // first make, sync to disk and remove a lock file for each, a few tenths
    // of a millisecond apiece, only to find nothing to open.
    if (!DeviceExists(path))
        return false;
    m_failed = false;
    m_port.clearError();
    m_port.setPortName(path);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    return true;
}

void SerialPortService::close()
{
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

bool SerialPortService::write(const QByteArray &block)
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

bool SerialPortService::readInput(QByteArray &block)
{
    if (m_failed) {
        block.clear();
        return false;
    }
    block = m_port.readAll();
    return true;
}

void SerialPortService::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        break;
    default:
        return;  // open failures are reported by open()'s result
    }
    if (m_failed || !m_port.isOpen())
        return;
    m_failed = true;
    // Report it from the event loop: the handler closes and reopens the
    // port, which must not happen inside QSerialPort's own notification.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_failed && m_port.isOpen())
                emit received();
        },
        Qt::QueuedConnection);
}
