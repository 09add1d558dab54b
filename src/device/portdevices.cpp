#include "portdevices.h"

#include <QHash>
#include <QSettings>

namespace Module1 {

QString defaultDevicePath(qint16 port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    if (port >= 1 && port <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 5 && port <= 12)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 5);
    if (port >= 13 && port <= 16)
        return QStringLiteral("/dev/ttyACM%1").arg(port - 13);
    return {};
#endif
}

namespace {
QHash<qint16, QString> &namedForRun()
{
    static QHash<qint16, QString> devices;
    return devices;
}
} // namespace

void nameDeviceForRun(qint16 port, const QString &device)
{
    namedForRun().insert(port, device);
}

QString devicePathForPort(qint16 port)
{
    if (const auto named = namedForRun().constFind(port); named != namedForRun().cend())
        return *named;
#ifndef Q_OS_WIN
    const QSettings settings;
    const QString named = settings.value(QStringLiteral("Ports/%1").arg(port)).toString().trimmed();
    if (!named.isEmpty())
        return named;
#endif
    return defaultDevicePath(port);
}

} // namespace Module1
