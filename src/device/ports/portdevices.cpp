#include "device/ports/portdevices.h"

#include "device/lines/entryline.h"

#include <QRegularExpression>
#include <QSettings>

namespace Ports {

namespace {

QString defaultDevicePath(qint16 port)
{
    int first = FirstPort;
    for (const DeviceRun &run : DefaultDevices) {
        if (port >= first && port < first + run.count)
            return QLatin1String(run.device) + QString::number(port - first);
        first += run.count;
    }
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
    return QStringLiteral("not a port number from ") + portRangeText();
}

QString devicePathForPort(qint16 port)
{
    const QSettings settings;
    const QString named = settings.value(QStringLiteral("Ports/%1").arg(port)).toString().trimmed();
    return named.isEmpty() ? defaultDevicePath(port) : named;
}

} // namespace Ports
