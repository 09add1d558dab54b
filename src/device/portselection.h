#pragma once

#include <QList>
#include <QString>

class PortService;

// Finding the ports that can be opened, opening one, and remembering the
// operator's choice. Every routine turns a failure of the port into a false
// result; none shows anything.
namespace Module1 {

struct PortState
{
    // The port in use, or the remembered one.
    qint16 CurrentPort = 0;
    // The ports that could be opened at start-up, ascending. Built once.
    QList<qint16> AvailablePorts;
    qint16 AvailablePortCount = 0;
};

// Rebuilds AvailablePorts from ports 1 to 16. Afterwards no port is open.
void ScanComports(PortService &Comm, PortState &ports);

// True if the port can be opened; leaves it closed. Closes an open port first.
bool ProbePort(PortService &Comm, qint16 port);

// Closes any open port, then opens `port`. On false no port is open.
bool OpenPort(PortService &Comm, qint16 port);

// Opens `port` only if the scan found it; otherwise false, and the open port
// is left alone.
bool OpenPortIfPresent(PortService &Comm, const PortState &ports, qint16 port);

// The remembered port: settings "Settings/Comport", default "1". A stored
// value that is not a number in the 16-bit range counts as absent.
qint16 rememberedPort();

// Stores a port list entry's text as the remembered port.
void rememberPort(const QString &entryText);

} // namespace Module1
