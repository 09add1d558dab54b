#include "options.h"

#include <QCommandLineParser>
#include <QDateTime>

namespace {

const char *const Description =
    "Plays a QV-718 time-code unit on a serial line.\n"
    "\n"
    "Opens a pseudo-terminal pair and prints the path of the line to open, as\n"
    "the first line of standard output (with --device, plays the unit on a real\n"
    "serial port instead, 9600 bit/s 8N1). Sends a time report and a status\n"
    "report every second, applies every command frame it receives and prints\n"
    "each one decoded on standard error:\n"
    "  12:00:01.204 <- SetReadMode 4 \"IRIG-B TTL\" [04 02 FA]\n"
    "Lines with -> are reports sent (--trace), lines with -- are events.\n"
    "Times in seconds may have fractions (0.5). Ends on SIGINT or SIGTERM;\n"
    "SIGUSR1 stops the reports (commands are still taken), SIGUSR2 resumes them.";

struct Reader
{
    const QCommandLineParser &parser;
    QString &error;

    bool seconds(const QString &name, std::optional<double> &into, bool neverAllowed = false)
    {
        if (!parser.isSet(name))
            return true;
        const QString text = parser.value(name);
        if (neverAllowed && text == QLatin1String("never")) {
            into.reset();
            return true;
        }
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || value < 0)
            return fail(name, text, QStringLiteral("a number of seconds"));
        into = value;
        return true;
    }

    template<typename T>
    bool number(const QString &name, T &into, int low, int high)
    {
        if (!parser.isSet(name))
            return true;
        const QString text = parser.value(name);
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < low || value > high)
            return fail(name, text, QStringLiteral("%1 to %2").arg(low).arg(high));
        into = T(value);
        return true;
    }

    bool fail(const QString &name, const QString &text, const QString &expected)
    {
        error = QStringLiteral("--%1 %2: expected %3").arg(name, text, expected);
        return false;
    }
};

} // namespace

std::optional<Options> ParseOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto value = [&](const char *name, const char *help, const char *valueName) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(valueName)});
    };
    const auto flag = [&](const char *name, const char *help) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help)});
    };

    value("link", "Keep a symbolic link to the pseudo-terminal at PATH (removed at exit).", "PATH");
    value("device", "Play the unit on this serial device instead of a pseudo-terminal.", "PATH");
    value("form", "Time reports of 5 data bytes (time only) or 8 (time, year and date). Default 8.", "5|8");
    value("start", "The clock's reading at start, UTC, as 2009-05-03T14:05:09[.250]. Default: the computer's "
                   "UTC time.", "TIME");
    value("interval", "Milliseconds between time reports. Default 1000.", "MS");
    value("status-interval", "Milliseconds between status reports. Default: the --interval.", "MS");
    value("time-zone", "Time-zone position, 0 (-12 h) to 48 (+12 h). Default 24 (UTC).", "N");
    value("read-mode", "Read-mode position, 0 to 5, or 6 (GPS) with --gps. Default 1 (IRIG-B Analog).", "N");
    value("generate-mode", "Generator position, 0 to 2. Default 1 (IRIG-B).", "N");
    value("control-function", "Control-function position, 0 to 1, or 2 (Encoded Year) with --form 8. Default 0.",
          "N");
    value("offset", "Microsecond offset, 0 to 9999. Default 0.", "US");
    value("leap-year", "Leap-year setting. Default: 1 if the start year is a leap year.", "0|1");
    flag("freeze", "Output freeze on.");
    flag("binary-seconds", "Binary seconds on.");
    flag("reader-disabled", "Reader off (it then never reports a lock).");
    flag("gps", "The unit offers GPS as a read mode.");
    value("lock-after", "The reader locks this many seconds after the start and after each loss, or never. "
                        "Default 2.", "S|never");
    value("lock-for", "The reader loses its lock this many seconds after gaining it. Default: it keeps it.", "S");
    value("garbage-at", "Send a burst of 48 random bytes at this many seconds.", "S");
    value("overlong-at", "Send a frame with 40 data bytes at this many seconds.", "S");
    flag("split", "Send every report byte by byte, one write each, a millisecond apart.");
    value("stop-after", "Stop sending reports after this many seconds (commands are still taken; "
                         "SIGUSR2 resumes them).", "S");
    value("hang-up-after", "Close the line after this many seconds, and end.", "S");
    flag("trace", "Also print every report sent.");

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    Options options;
    Reader read{parser, error};
    options.link = parser.value(QStringLiteral("link"));
    options.device = parser.value(QStringLiteral("device"));
    if (!options.link.isEmpty() && !options.device.isEmpty()) {
        error = QStringLiteral("--link names a pseudo-terminal; it does not go with --device");
        return std::nullopt;
    }

    int form = 8;
    if (!read.number(QStringLiteral("form"), form, 5, 8))
        return std::nullopt;
    if (form != 5 && form != 8) {
        read.fail(QStringLiteral("form"), QString::number(form), QStringLiteral("5 or 8"));
        return std::nullopt;
    }
    options.form = Sim::Form(form);

    QDateTime start = QDateTime::currentDateTimeUtc();
    if (parser.isSet(QStringLiteral("start"))) {
        const QString text = parser.value(QStringLiteral("start"));
        start = QDateTime::fromString(QString(text).replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
        start.setTimeSpec(Qt::UTC);
        if (!start.isValid() || start.date().year() < 2000 || start.date().year() > 2099) {
            read.fail(QStringLiteral("start"), text, QStringLiteral("a time in 2000 to 2099, as 2009-05-03T14:05:09"));
            return std::nullopt;
        }
    }
    options.start.year = start.date().year();
    options.start.day = start.date().dayOfYear();
    options.start.millisecond = start.time().msecsSinceStartOfDay();

    Sim::Settings &s = options.settings;
    s.gpsAvailable = parser.isSet(QStringLiteral("gps"));
    s.outputFreeze = parser.isSet(QStringLiteral("freeze"));
    s.binarySeconds = parser.isSet(QStringLiteral("binary-seconds"));
    s.readerEnabled = !parser.isSet(QStringLiteral("reader-disabled"));
    s.leapYear = QDate::isLeapYear(options.start.year);
    options.trace = parser.isSet(QStringLiteral("trace"));
    options.split = parser.isSet(QStringLiteral("split"));
    options.lockAfter = 2.0;

    options.statusInterval = -1;
    const bool ok = read.number(QStringLiteral("interval"), options.interval, 1, 3600000)
        && read.number(QStringLiteral("status-interval"), options.statusInterval, 1, 3600000)
        && read.number(QStringLiteral("time-zone"), s.timeZone, 0, 48)
        && read.number(QStringLiteral("read-mode"), s.readMode, 0, s.gpsAvailable ? 6 : 5)
        && read.number(QStringLiteral("generate-mode"), s.generateMode, 0, 2)
        && read.number(QStringLiteral("control-function"), s.controlFunction, 0, form == 8 ? 2 : 1)
        && read.number(QStringLiteral("offset"), s.offset, 0, 9999)
        && read.number(QStringLiteral("leap-year"), s.leapYear, 0, 1)
        && read.seconds(QStringLiteral("lock-after"), options.lockAfter, true)
        && read.seconds(QStringLiteral("lock-for"), options.lockFor)
        && read.seconds(QStringLiteral("garbage-at"), options.garbageAt)
        && read.seconds(QStringLiteral("overlong-at"), options.overlongAt)
        && read.seconds(QStringLiteral("stop-after"), options.stopAfter)
        && read.seconds(QStringLiteral("hang-up-after"), options.hangUpAfter);
    if (!ok)
        return std::nullopt;
    if (options.statusInterval < 0)
        options.statusInterval = options.interval;
    return options;
}
