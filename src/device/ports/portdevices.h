#pragma once

#include <QString>

// Which device a port number stands for. The per-user settings may name a
// device for a port (section "Ports", key n, for example
// 3=/dev/serial/by-id/usb-FTDI_...-if00-port0, 7=/dev/pts/4 or
// 9=rfc2217://rack-a:7001); a port not named there follows DefaultDevices.
namespace Ports {

// The default table: consecutive ports from 1 on, a run of each kind of
// device, numbered from 0 in its run.
struct DeviceRun
{
    int count;
    const char *device;  // its path without the number
    const char *kind;
};
inline constexpr DeviceRun DefaultDevices[] = {
    {4, "/dev/ttyS", "built-in serial ports"},
    {8, "/dev/ttyUSB", "USB serial adapters"},
    {4, "/dev/ttyACM", "USB modem-class devices"},
};

inline constexpr qint16 FirstPort = 1;
inline constexpr qint16 LastPort = [] {
    int last = FirstPort - 1;
    for (const DeviceRun &run : DefaultDevices)
        last += run.count;
    return qint16(last);
}();

// "1 to 16", as texts name the ports.
inline QString portRangeText()
{
    return QStringLiteral("%1 to %2").arg(FirstPort).arg(LastPort);
}

// The port's entry: the settings entry if there is one, else the default
// table's device; empty outside FirstPort to LastPort.
QString devicePathForPort(qint16 port);

// Why `line`, named for one run (the window's --port), cannot be used, or
// nothing: a number must be a port from FirstPort to LastPort; any other text
// must name a line (entryRefusal, entryline.h).
QString runLineRefusal(const QString &line);

} // namespace Ports
