#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the monitor is asked to watch, from its command line and its settings
// file:
//
//   --unit NAME=LINE   a unit (repeatable); NAME is [A-Za-z0-9_.-]{1,64},
//                      LINE anything a [Ports] entry may be: a device path,
//                      tcp://HOST:PORT, rfc2217://HOST:PORT
//   --config FILE      the settings file, INI: [Units] NAME=LINE and
//                      [Monitor] listen=ADDR:PORT; /etc/qv718-monitor.conf
//                      unless --unit is given, when none is read unless named
//   --listen ADDR:PORT where /metrics is served: 127.0.0.1:9718 by default,
//                      an IPv6 address in brackets ([::1]:9718)
struct MonitoredLine
{
    QString name;
    QString line;
};

struct MonitorOptions
{
    QList<MonitoredLine> units;
    QString listen = QStringLiteral("127.0.0.1:9718");
};

inline constexpr char DefaultConfig[] = "/etc/qv718-monitor.conf";

// The options, or nothing with the one line that says why in `error` (a bad
// option, NAME, LINE or address, a duplicate NAME, a settings file that
// cannot be read, no unit at all). --help and --version print and end the
// program.
std::optional<MonitorOptions> readMonitorOptions(const QStringList &arguments, QString &error);
