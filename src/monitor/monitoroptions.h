#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the monitor is asked to watch, from its command line and its settings
// file:
//
//   --unit NAME=LINE   a unit (repeatable); NAME is [A-Za-z0-9_.-]{1,64},
//                      LINE anything a [Ports] entry may be: a device path,
//                      tcp://HOST:PORT, rfc2217://HOST:PORT, and after it
//                      ",phase=S" where the unit's phase is known
//   --config FILE      the settings file, below; /etc/qv718-monitor.conf
//                      unless --unit is given, when none is read unless named
//   --listen ADDR:PORT where /metrics is served: 127.0.0.1:9718 by default,
//                      an IPv6 address in brackets ([::1]:9718)
//   --check-config     all of the above read and checked; nothing opened
//   --chrony NAME=PATH the unit NAME's time, as samples for chronyd's SOCK
//                      reference clock at PATH (repeatable; chronyfeed.h)
//   --calibrate        measure one unit's phase instead (calibration.h), for
//                      --for SECONDS (600 by default); refused while the
//                      computer's clock is unsynchronised, unless
//                      --trust-clock is given. Goes with --unit and --config
//                      alone, and they must name one unit.
//
// The settings file is read a line at a time. From a ';' on, a line is a
// comment; what is left, without the blanks around it, is empty, a section
// ("[Units]", "[Monitor]" or "[Chrony]") or KEY=VALUE (blanks around KEY and
// VALUE ignored): NAME=LINE under [Units], listen=ADDR:PORT under [Monitor],
// NAME=PATH under [Chrony] as --chrony. '#' begins no comment. Everything else is refused, with the file and the line
// where the reading stopped: a line of no such form or that begins with '#',
// KEY=VALUE before any section, an unknown section or key, listen twice or
// not an address. Every unit, from the file and then --unit, is refused for a
// bad NAME or LINE, a NAME named before, or a line another unit is on: the
// same device (compared through its links where it exists) or the same
// network line (scheme, host without regard to case, port).
// A unit's LINE may end in ",phase=S": the unit's calibrated phase in
// seconds (unitclock.h, qv718-monitor --calibrate), -1 < S < 1.
// A chrony socket (--chrony, [Chrony]) is refused for a NAME that is no
// unit, a unit without a phase, a PATH that is not absolute or longer than a
// socket's address holds, a NAME or a PATH given twice.
struct MonitoredLine
{
    QString name;
    QString line;  // as written, with its phase
    // Read from `line` when the unit is accepted:
    QString entry;  // the line itself
    std::optional<double> phase;
    QString chrony;  // the socket of chronyd's SOCK reference clock it feeds, if any
};

// Where /metrics is served unless told otherwise: loopback, port 9718.
inline constexpr int DefaultMetricsPort = 9718;
inline QString defaultListen()
{
    return QStringLiteral("127.0.0.1:%1").arg(DefaultMetricsPort);
}

struct MonitorOptions
{
    QList<MonitoredLine> units;
    QString listen = defaultListen();
};

inline constexpr char DefaultConfig[] = "/etc/qv718-monitor.conf";

// The command line, read once at the start; the settings file it names is
// read at the start and again at each reload.
struct MonitorCommandLine
{
    QString config;             // the settings file; empty: none is read
    bool configNamed = false;   // with --config, rather than by default
    QList<MonitoredLine> units; // --unit, in order
    std::optional<QString> listen;
    bool checkOnly = false;     // --check-config
    QStringList chrony;         // --chrony, as given
    bool calibrate = false;     // --calibrate
    double calibrateSeconds = 600;  // --for
    bool trustClock = false;    // --trust-clock
};

// The command line, or nothing with the one line that says why in `error`
// (an unknown option, a missing value, an argument that is no option).
// --help and --version print and end the program.
std::optional<MonitorCommandLine> readCommandLine(const QStringList &arguments, QString &error);

// The settings the command line and its settings file give, or nothing with
// the one line that says why in `error`: a refusal above, a settings file
// that cannot be read, no unit at all. The line names the file and the line
// number of a refusal in the file ("/etc/qv718-monitor.conf:14: unknown key
// \"Listen\" in [Monitor]"). For --calibrate, one unit exactly.
std::optional<MonitorOptions> readMonitorOptions(const MonitorCommandLine &commandLine, QString &error);
