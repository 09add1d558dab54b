#include "device/ports/portselection.h"

#include "device/common/numbertext.h"
#include "device/ports/portdevices.h"
#include "device/ports/portservice.h"

#include <QSettings>

namespace Ports {

namespace {

const QString ComportKey = QStringLiteral("Settings/Comport");

// True if the port can be opened; leaves it closed. Closes an open port first.
bool ProbePort(PortService &Comm, qint16 port)
{
    if (Comm.isOpen())
        Comm.close();
    Comm.setPortNumber(port);
    if (!Comm.open())
        return false;
    Comm.close();
    return true;
}

// Closes any open port, then opens `port`. On false no port is open.
bool OpenPort(PortService &Comm, qint16 port)
{
    if (Comm.isOpen())
        Comm.close();
    Comm.setPortNumber(port);
    return Comm.open();
}

} // namespace

void ScanComports(PortService &Comm, PortState &ports)
{
    ports.AvailablePorts.clear();
    QList<qint16> all;
    for (qint16 port = FirstPort; port <= LastPort; ++port)
        all << port;
    Comm.beginScan(all);
    for (const qint16 port : std::as_const(all)) {
        if (ProbePort(Comm, port))
            ports.AvailablePorts.append(port);
    }
    Comm.endScan();
}

bool OpenPortIfPresent(PortService &Comm, const PortState &ports, qint16 port)
{
    if (!ports.AvailablePorts.contains(port))
        return false;
    return OpenPort(Comm, port);
}

qint16 rememberedPort()
{
    const QSettings settings;
    const QString stored = settings.value(ComportKey, QStringLiteral("1")).toString();
    const NumberText::Reading reading = NumberText::read(stored);
    if (reading.whole) {
        const double port = NumberText::roundHalfEven(reading.value);
        if (NumberText::fitsInt16(port))
            return qint16(port);
    }
    return 1;
}

void rememberPort(const QString &entryText)
{
    QSettings settings;
    // Every start stores the remembered port again. Rewriting an unchanged
    // value would still make a lock file and a new settings file and sync
    // both to disk, about a millisecond of every start.
    settings.setFallbacksEnabled(false);
    const QString stored = settings.value(ComportKey).toString();
    if (stored == entryText && settings.status() == QSettings::NoError)
        return;
    settings.setValue(ComportKey, entryText);
    settings.sync();
}

} // namespace Ports
