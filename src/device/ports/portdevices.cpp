#include "device/ports/portdevices.h"

#include "device/lines/entryline.h"

#include <QRegularExpression>
#include <QSettings>

namespace Ports {

namespace {

QString defaultDevicePath(qint16 port)
{
    if (port >= 1 && port <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 5 && port <= 12)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 5);
    if (port >= 13 && port <= 16)
        return QStringLiteral("/dev/ttyACM%1").arg(port - 13);
    return {};
}

} // namespace

QString runLineRefusal(const QString &line)
{
    static const QRegularExpression Number(QStringLiteral("^[+-]?[0-9]+$"));
    if (!Number.match(line).hasMatch())
        return entryRefusal(line);
    bool ok = false;
    const qlonglong port = line.toLongLong(&ok);
    if (ok && port >= FirstPort && port <= LastPort)
        return {};
    return QStringLiteral("not a port number from %1 to %2").arg(FirstPort).arg(LastPort);
}

QString devicePathForPort(qint16 port)
{
    const QSettings settings;
    const QString named = settings.value(QStringLiteral("Ports/%1").arg(port)).toString().trimmed();
    return named.isEmpty() ? defaultDevicePath(port) : named;
}

} // namespace Ports
