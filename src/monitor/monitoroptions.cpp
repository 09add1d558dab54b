#include "monitoroptions.h"

#include "device/lines/entryline.h"
#include "device/lines/networkaddress.h"
#include "device/common/program.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include <cmath>

#include <sys/un.h>

namespace {

const char *const Description =
    "Watches QV-718 time-code units on their serial lines, local or behind\n"
    "device servers, and serves what they report as Prometheus metrics on\n"
    "http://ADDR:PORT/metrics; their events (line lost and back, silent and\n"
    "reporting, lock lost and regained) go to the systemd journal; a unit's\n"
    "time may feed chronyd as a reference clock (--chrony). It never sends a\n"
    "command to a unit. Reads its settings again on SIGHUP; ends on SIGINT or\n"
    "SIGTERM. With --calibrate, it measures one unit's phase instead, prints\n"
    "the lines to paste, and ends.";

// Why a unit's NAME or LINE cannot be used, or nothing; the LINE's entry and
// phase read into `unit`.
QString refusal(MonitoredLine &unit)
{
    static const QRegularExpression Name(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    if (!Name.match(unit.name).hasMatch())
        return QStringLiteral("unit name \"%1\": expected 1 to 64 of A-Z a-z 0-9 _ . -").arg(unit.name);
    const qsizetype comma = unit.line.indexOf(QLatin1Char(','));
    unit.entry = unit.line.left(comma).trimmed();
    QString why = entryRefusal(unit.entry);
    if (why.isEmpty() && comma >= 0) {
        const QString option = unit.line.mid(comma + 1).trimmed();
        bool number = false;
        const double phase = option.section(QLatin1Char('='), 1).trimmed().toDouble(&number);
        if (option.section(QLatin1Char('='), 0, 0).trimmed() != QLatin1String("phase") || !number || !(std::abs(phase) < 1))
            why = QStringLiteral("\"%1\": expected phase=SECONDS, above -1 and below 1").arg(option);
        else
            unit.phase = phase;
    }
    return why.isEmpty() ? QString() : QStringLiteral("unit %1: line \"%2\": %3").arg(unit.name, unit.line, why);
}

// "127.0.0.1:9718" or "[::1]:9718": an address of this computer and a port.
bool isListenAddress(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    return colon > 0 && ok && port >= 1 && port <= 65535 && address.setAddress(host)
        && bracketed == (address.protocol() == QAbstractSocket::IPv6Protocol);
}

QString listenRefusal(const QString &given)
{
    return QStringLiteral("%1: expected ADDR:PORT, as %2 or [::1]:%3").arg(given, defaultListen()).arg(DefaultMetricsPort);
}

// The line an entry names, spelt alike for any two entries on one line: a
// network line as scheme://host:port with the host in lower case, a device
// by its path through every link where the path exists (a bare name stands
// for one in /dev, as SerialLine takes it).
QString lineIdentity(const QString &entry)
{
    if (std::optional<NetworkAddress> address = parseNetworkAddress(entry)) {
        address->host = address->host.toLower();
        return address->toString();
    }
    const QString path = entry.contains(QLatin1Char('/')) ? entry : QStringLiteral("/dev/") + entry;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// A unit's chrony socket (--chrony, [Chrony]), named at its line of the file
// (0 for --chrony).
struct ChronyEntry
{
    QString name, path;
    int lineNumber;
};

// The units accepted so far, each with where it was named (its line of the
// file; 0 for --unit) and the line it is on; the chrony sockets named.
struct AcceptedUnits
{
    QString file;
    QList<MonitoredLine> list;
    QList<int> lineNumbers;
    QStringList identities;
    QList<ChronyEntry> chrony;

    // Where something named earlier was, as told of a refusal at `lineNumber`.
    QString where(int earlier, int lineNumber) const
    {
        return earlier == 0 ? QString()
            : lineNumber    ? QStringLiteral("line %1").arg(earlier)
                            : QStringLiteral("%1:%2").arg(file, QString::number(earlier));
    }

    // Takes the unit, named at `lineNumber`, or says why not.
    QString add(MonitoredLine unit, int lineNumber)
    {
        QString why = refusal(unit);
        const QString identity = why.isEmpty() ? lineIdentity(unit.entry) : QString();
        for (qsizetype i = 0; i < list.size() && why.isEmpty(); ++i) {
            const QString where = this->where(lineNumbers[i], lineNumber);
            if (list[i].name == unit.name)
                why = QStringLiteral("unit %1 is named twice").arg(unit.name)
                    + (where.isEmpty() ? QString() : QStringLiteral(" (also at %1)").arg(where));
            else if (identities[i] == identity)
                why = QStringLiteral("units %1%2 and %3 share one line: %4")
                          .arg(list[i].name, where.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(where), unit.name, identity);
        }
        if (why.isEmpty()) {
            list << unit;
            lineNumbers << lineNumber;
            identities << identity;
        }
        return why;
    }

    // The refusal of a chrony socket, in full: where, what and why.
    QString chronyRefusal(const ChronyEntry &entry, const QString &why) const
    {
        return (entry.lineNumber ? QStringLiteral("%1:%2: ").arg(file).arg(entry.lineNumber) : QStringLiteral("--chrony "))
            + QStringLiteral("%1=%2: %3").arg(entry.name, entry.path, why);
    }

    // Takes a chrony socket, or says why not. Whether its NAME is a unit with
    // a phase is known once every unit is (assignChrony).
    QString addChrony(const ChronyEntry &entry)
    {
        constexpr qsizetype Longest = sizeof(sockaddr_un::sun_path) - 1;
        QString why;
        if (!entry.path.startsWith(QLatin1Char('/')) || entry.path.toLocal8Bit().size() > Longest)
            why = QStringLiteral("expected an absolute path of at most %1 bytes").arg(Longest);
        for (const ChronyEntry &other : std::as_const(chrony)) {
            const QString also = where(other.lineNumber, entry.lineNumber);
            const QString at = also.isEmpty() ? QString() : QStringLiteral(" (also at %1)").arg(also);
            if (why.isEmpty() && other.name == entry.name)
                why = QStringLiteral("unit %1 is named twice for chrony%2").arg(entry.name, at);
            else if (why.isEmpty() && other.path == entry.path)
                why = QStringLiteral("units %1 and %2 share one chrony socket%3").arg(other.name, entry.name, at);
        }
        if (why.isEmpty())
            chrony << entry;
        return why.isEmpty() ? QString() : chronyRefusal(entry, why);
    }

    // Gives each chrony socket to its unit, or says why one cannot have it.
    QString assignChrony()
    {
        for (const ChronyEntry &entry : std::as_const(chrony)) {
            const auto unit = std::find_if(list.begin(), list.end(), [&](const MonitoredLine &u) { return u.name == entry.name; });
            if (unit == list.end())
                return chronyRefusal(entry, QStringLiteral("no unit %1").arg(entry.name));
            if (!unit->phase)
                return chronyRefusal(entry, QStringLiteral("unit %1 has no phase: measure it with --calibrate and give "
                                                           "it as %1=LINE,phase=S").arg(entry.name));
            unit->chrony = entry.path;
        }
        return {};
    }
};

// Reads the settings file into `units` and `listen` (see monitoroptions.h);
// false with the one line that says why.
bool readSettingsFile(AcceptedUnits &units, QString &listen, QString &error)
{
    QFile file(units.file);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the settings file %1: %2").arg(units.file, file.errorString());
        return false;
    }
    QString all = QString::fromUtf8(file.readAll());
    if (all.startsWith(QChar(0xFEFF)))  // a byte-order mark some editors write
        all.remove(0, 1);
    enum class Section { None, Units, Monitor, Chrony } section = Section::None;
    int listenAt = 0;
    int number = 0;
    for (QString text : all.split(QLatin1Char('\n'))) {
        ++number;
        const auto refuse = [&](const QString &why) {
            error = QStringLiteral("%1:%2: %3").arg(units.file, QString::number(number), why);
            return false;
        };
        if (const qsizetype comment = text.indexOf(QLatin1Char(';')); comment >= 0)
            text.truncate(comment);
        text = text.trimmed();
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        const QString key = text.left(equals).trimmed(), value = text.mid(equals + 1).trimmed();
        if (text.isEmpty())
            continue;
        if (text.startsWith(QLatin1Char('#')))
            return refuse(QStringLiteral("\"#\" begins no comment; \";\" does"));
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']'))) {
            const QString name = text.mid(1, text.size() - 2).trimmed();
            if (name == QLatin1String("Units"))
                section = Section::Units;
            else if (name == QLatin1String("Monitor"))
                section = Section::Monitor;
            else if (name == QLatin1String("Chrony"))
                section = Section::Chrony;
            else
                return refuse(QStringLiteral("unknown section [%1]: the sections are [Units], [Monitor] and [Chrony]").arg(name));
        } else if (equals < 0) {
            return refuse(QStringLiteral("neither a comment (;), a [section] nor KEY=VALUE: \"%1\"").arg(text));
        } else if (section == Section::None) {
            return refuse(QStringLiteral("key \"%1\" before any section ([Units], [Monitor] or [Chrony])").arg(key));
        } else if (section == Section::Units) {
            const QString why = units.add({key, value, {}, {}, {}}, number);
            if (!why.isEmpty())
                return refuse(why);
        } else if (section == Section::Chrony) {
            error = units.addChrony({key, value, number});
            if (!error.isEmpty())
                return false;
        } else if (key != QLatin1String("listen")) {
            return refuse(QStringLiteral("unknown key \"%1\" in [Monitor]").arg(key));
        } else if (listenAt) {
            return refuse(QStringLiteral("listen is given twice (also at line %1)").arg(listenAt));
        } else if (!isListenAddress(value)) {
            return refuse(listenRefusal(QStringLiteral("listen=") + value));
        } else {
            listen = value;
            listenAt = number;
        }
    }
    return true;
}

} // namespace

std::optional<MonitorCommandLine> readCommandLine(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption unit(QStringLiteral("unit"), QStringLiteral("A unit to watch: NAME=LINE, LINE a device path, "
                                                                         "tcp://HOST:PORT or rfc2217://HOST:PORT, with "
                                                                         ",phase=S after it where the unit's phase is "
                                                                         "known (--calibrate). Repeatable."),
                                  QStringLiteral("NAME=LINE"));
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("The settings file. Default: %1, unless "
                                                                             "--unit is given.").arg(QLatin1String(DefaultConfig)),
                                    QStringLiteral("FILE"));
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Serve /metrics here: %1 (default) or "
                                                                             "[::1]:%2.").arg(defaultListen()).arg(DefaultMetricsPort),
                                    QStringLiteral("ADDR:PORT"));
    const QCommandLineOption check(QStringLiteral("check-config"), QStringLiteral("Read and check the settings file and "
                                                                                  "the options, open nothing, and exit: "
                                                                                  "0 if they are accepted, 2 if not."));
    const QCommandLineOption chrony(QStringLiteral("chrony"), QStringLiteral("Send the unit NAME's time to chronyd's "
                                                                             "SOCK reference clock at PATH, one sample "
                                                                             "per time report. Repeatable."),
                                    QStringLiteral("NAME=PATH"));
    const QCommandLineOption calibrate(QStringLiteral("calibrate"), QStringLiteral("Measure the one unit's phase "
                                                                                   "against the computer's clock, print "
                                                                                   "it with the lines to paste, and exit."));
    const QCommandLineOption seconds(QStringLiteral("for"), QStringLiteral("How long --calibrate measures: 1 to 86400 "
                                                                           "seconds. Default 600."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption trust(QStringLiteral("trust-clock"), QStringLiteral("Calibrate even though the kernel "
                                                                                 "says the computer's clock is not "
                                                                                 "synchronised."));
    parser.addOptions({unit, config, listen, check, chrony, calibrate, seconds, trust});
    if (!Program::parseCommandLine(parser, arguments, error))
        return std::nullopt;
    for (const QCommandLineOption *calibrating : {&seconds, &trust}) {
        if (parser.isSet(*calibrating) && !parser.isSet(calibrate))
            error = QStringLiteral("--%1 goes with --calibrate").arg(calibrating->names().first());
    }
    for (const QCommandLineOption *watching : {&listen, &check, &chrony}) {
        if (parser.isSet(*watching) && parser.isSet(calibrate))
            error = QStringLiteral("--calibrate does not go with --%1").arg(watching->names().first());
    }
    bool number = true;
    const double measure = parser.isSet(seconds) ? parser.value(seconds).toDouble(&number) : 600;
    if (error.isEmpty() && !(number && measure >= 1 && measure <= 86400))
        error = QStringLiteral("--for %1: expected 1 to 86400 seconds").arg(parser.value(seconds));
    if (!error.isEmpty())
        return std::nullopt;

    MonitorCommandLine commandLine;
    commandLine.configNamed = parser.isSet(config);
    if (commandLine.configNamed || !parser.isSet(unit))
        commandLine.config = commandLine.configNamed ? parser.value(config) : QLatin1String(DefaultConfig);
    for (const QString &given : parser.values(unit)) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        commandLine.units << MonitoredLine{given.left(equals), equals < 0 ? QString() : given.mid(equals + 1), {}, {}, {}};
    }
    if (parser.isSet(listen))
        commandLine.listen = parser.value(listen);
    commandLine.checkOnly = parser.isSet(check);
    commandLine.chrony = parser.values(chrony);
    commandLine.calibrate = parser.isSet(calibrate);
    commandLine.calibrateSeconds = measure;
    commandLine.trustClock = parser.isSet(trust);
    return commandLine;
}

std::optional<MonitorOptions> readMonitorOptions(const MonitorCommandLine &commandLine, QString &error)
{
    MonitorOptions options;
    AcceptedUnits units;
    units.file = commandLine.config;
    if (!commandLine.config.isEmpty() && !readSettingsFile(units, options.listen, error)) {
        if (!commandLine.configNamed && !QFileInfo::exists(commandLine.config))
            error = QStringLiteral("no unit to watch: no --unit, and no settings file %1").arg(commandLine.config);
        return std::nullopt;
    }
    for (const MonitoredLine &one : commandLine.units) {
        error = units.add(one, 0);
        if (!error.isEmpty())
            return std::nullopt;
    }
    for (const QString &given : commandLine.chrony) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        error = units.addChrony({given.left(equals), equals < 0 ? QString() : given.mid(equals + 1), 0});
        if (!error.isEmpty())
            return std::nullopt;
    }
    error = units.assignChrony();
    if (!error.isEmpty())
        return std::nullopt;
    options.units = units.list;
    if (commandLine.listen)
        options.listen = *commandLine.listen;
    if (options.units.isEmpty())
        error = QStringLiteral("no unit to watch: name one with --unit NAME=LINE or in a settings file");
    else if (commandLine.listen && !isListenAddress(options.listen))
        error = listenRefusal(QStringLiteral("--listen ") + options.listen);
    else if (commandLine.calibrate && options.units.size() > 1)
        error = QStringLiteral("--calibrate measures one unit; %1 are named").arg(options.units.size());
    if (!error.isEmpty())
        return std::nullopt;
    return options;
}
