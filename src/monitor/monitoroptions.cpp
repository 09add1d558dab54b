#include "monitoroptions.h"

#include "device/entryline.h"
#include "device/program.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSettings>

namespace {

const char *const Description =
    "Watches QV-718 time-code units on their serial lines, local or behind\n"
    "device servers, and serves what they report as Prometheus metrics on\n"
    "http://ADDR:PORT/metrics; their events (line lost and back, silent and\n"
    "reporting, lock lost and regained) go to the systemd journal. It never\n"
    "sends a command to a unit. Ends on SIGINT or SIGTERM.";

// Why a unit's NAME or LINE cannot be used, or nothing.
QString refusal(const QString &name, const QString &line)
{
    static const QRegularExpression Name(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    if (!Name.match(name).hasMatch())
        return QStringLiteral("unit name \"%1\": expected 1 to 64 of A-Z a-z 0-9 _ . -").arg(name);
    const QString why = entryRefusal(line);
    return why.isEmpty() ? QString() : QStringLiteral("unit %1: line \"%2\": %3").arg(name, line, why);
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

} // namespace

std::optional<MonitorOptions> readMonitorOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption unit(QStringLiteral("unit"), QStringLiteral("A unit to watch: NAME=LINE, LINE a device path, "
                                                                         "tcp://HOST:PORT or rfc2217://HOST:PORT. Repeatable."),
                                  QStringLiteral("NAME=LINE"));
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("The settings file. Default: %1, unless "
                                                                             "--unit is given.").arg(QLatin1String(DefaultConfig)),
                                    QStringLiteral("FILE"));
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Serve /metrics here: 127.0.0.1:9718 "
                                                                             "(default) or [::1]:9718."),
                                    QStringLiteral("ADDR:PORT"));
    parser.addOptions({unit, config, listen});
    if (!Program::parseCommandLine(parser, arguments, error))
        return std::nullopt;

    MonitorOptions options;
    QList<MonitoredLine> units;
    if (parser.isSet(config) || !parser.isSet(unit)) {
        const QString file = parser.isSet(config) ? parser.value(config) : QLatin1String(DefaultConfig);
        QSettings settings(file, QSettings::IniFormat);
        options.listen = settings.value(QStringLiteral("Monitor/listen"), options.listen).toString();
        settings.beginGroup(QStringLiteral("Units"));
        for (const QString &name : settings.childKeys())
            units << MonitoredLine{name, settings.value(name).toString()};
        if (!QFileInfo(file).isReadable() || settings.status() != QSettings::NoError) {
            error = parser.isSet(config) ? QStringLiteral("cannot read the settings file %1").arg(file)
                                         : QStringLiteral("no unit to watch: no --unit, and no settings file %1").arg(file);
            return std::nullopt;
        }
    }
    for (const QString &given : parser.values(unit)) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        units << MonitoredLine{given.left(equals), equals < 0 ? QString() : given.mid(equals + 1)};
    }
    if (parser.isSet(listen))
        options.listen = parser.value(listen);

    for (const MonitoredLine &one : std::as_const(units)) {
        error = refusal(one.name, one.line);
        for (const MonitoredLine &other : std::as_const(options.units)) {
            if (error.isEmpty() && other.name == one.name)
                error = QStringLiteral("unit %1 is named twice").arg(one.name);
        }
        if (!error.isEmpty())
            return std::nullopt;
        options.units << one;
    }
    if (options.units.isEmpty())
        error = QStringLiteral("no unit to watch: name one with --unit NAME=LINE or in a settings file");
    else if (!isListenAddress(options.listen))
        error = QStringLiteral("--listen %1: expected ADDR:PORT, as 127.0.0.1:9718 or [::1]:9718").arg(options.listen);
    if (!error.isEmpty())
        return std::nullopt;
    return options;
}
