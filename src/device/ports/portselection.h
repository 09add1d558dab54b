#pragma once

#include <QList>
#include <QString>

class PortService;

// Finding the ports that can be opened, opening one, and remembering the
// operator's choice. Every routine turns a failure of the port into a false
// result; none shows anything.
namespace Ports {

struct PortState
{
    // The port in use, or the remembered one.
    qint16 CurrentPort = 0;
    // The ports that could be opened at start-up, ascending. Built once.
    QList<qint16> AvailablePorts;
    qint16 AvailablePortCount() const { return qint16(AvailablePorts.size()); }
};

// Rebuilds AvailablePorts from ports FirstPort to LastPort, each probed: opened and closed
// again. Afterwards no port is open.
void ScanComports(PortService &Comm, PortState &ports);

// Opens `port` only if the scan found it, closing any open port first (on
// false no port is open then); otherwise false, and the open port is left
// alone.
bool OpenPortIfPresent(PortService &Comm, const PortState &ports, qint16 port);

// The remembered port: settings "Settings/Comport", default "1". A stored
// value that is not a number in the 16-bit range counts as absent.
qint16 rememberedPort();

// Stores a port list entry's text as the remembered port.
void rememberPort(const QString &entryText);

} // namespace Ports
