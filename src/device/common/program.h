#pragma once

#include <QString>

class QCommandLineParser;

// The program's name and version. The version is the project's own, set once
// in the build; nothing else spells it.
namespace Program {

// "QV-718": the organisation and application under which the per-user
// settings keep the remembered port and the [Ports] section.
inline constexpr char Name[] = "QV-718";

// The programs, as their files, their messages' prefixes and the journal's
// SYSLOG_IDENTIFIER name them.
inline constexpr char PanelName[] = "qv718-panel";
inline constexpr char MonitorName[] = "qv718-monitor";
inline constexpr char SimulatorName[] = "qv718-sim";

// The project's version, as the build sets it ("1.0.2").
QString version();

// Makes the running application this program, for QSettings and --version.
// Needs the application object.
void setIdentity();

// Parses a command line with `parser`, which holds the program's options:
// --help and --version print and end the program. False, with the reason in
// `error`, for an unknown option, a missing value or an argument that is no
// option.
bool parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, QString &error);

} // namespace Program
