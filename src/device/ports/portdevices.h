#pragma once

#include <QString>

// Which device a port number stands for. The per-user settings may name a
// device for a port (section "Ports", key n, for example
// 3=/dev/serial/by-id/usb-FTDI_...-if00-port0, 7=/dev/pts/4 or
// 9=rfc2217://rack-a:7001); a port not named there follows the default table:
//
//   1 to 4    /dev/ttyS0 to /dev/ttyS3      (built-in serial ports)
//   5 to 12   /dev/ttyUSB0 to /dev/ttyUSB7  (USB serial adapters)
//   13 to 16  /dev/ttyACM0 to /dev/ttyACM3  (USB modem-class devices)
namespace Ports {

inline constexpr qint16 FirstPort = 1;
inline constexpr qint16 LastPort = 16;

// The port's entry: the settings entry if there is one, else the default
// table's device; empty outside 1 to 16.
QString devicePathForPort(qint16 port);

// Why `line`, named for one run (the window's --port), cannot be used, or
// nothing: a number must be a port from FirstPort to LastPort; any other text
// must name a line (entryRefusal, entryline.h).
QString runLineRefusal(const QString &line);

} // namespace Ports
