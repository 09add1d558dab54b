#include "options.h"

#include "device/lines/lineformat.h"
#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/common/program.h"

#include <QCommandLineParser>
#include <QDateTime>

#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>
#include <vector>

namespace {

const char *const Description =
    "Plays a QV-718 time-code unit on a serial line.\n"
    "\n"
    "Opens a pseudo-terminal pair and prints the path of the line to open, as\n"
    "the first line of standard output (with --device, plays the unit on a real\n"
    "serial port instead, %1). Sends a time report and a status\n"
    "report every second, applies every command frame it receives and prints\n"
    "each one decoded on standard error:\n"
    "  12:00:01.204 <- SetReadMode 4 \"IRIG-B TTL\" [04 02 FA]\n"
    "Lines with -> are reports sent (--trace), lines with -- are events.\n"
    "Times in seconds may have fractions (0.5). Ends on SIGINT or SIGTERM;\n"
    "SIGUSR1 stops the reports (commands are still taken), SIGUSR2 resumes them.\n"
    "\n"
    "The unit's clock starts at --start, or at the computer's UTC time (--ahead\n"
    "seconds on), and runs at the pace of the computer's monotonic clock. A time\n"
    "report is written when that clock passes a whole multiple of the --interval\n"
    "(a whole second, by default), --phase seconds later, moved by --jitter; a\n"
    "status report follows it at once (every n-th, with a --status-interval n\n"
    "times as long; with any other, status reports keep a pace of their own).\n"
    "Without --phase, --jitter or --ahead, the first time report leaves at once\n"
    "at the start, and again on SIGUSR2; with any of them, none is out of step.\n"
    "Time reports are counted from 1, the first sent.";

// One option: how it is declared to QCommandLineParser, and how its value
// fills the options. A flag has no value name, and its fill gets no text.
struct Option
{
    QString name;
    QString help;
    QString valueName;
    QString expected;  // what a value must be, for the error message
    std::function<bool(const QString &text, Options &options)> fill;
};

template <class T>
T &field(Options &options, T Options::*member)
{
    return options.*member;
}
template <class T>
T &field(Options &options, T Sim::Settings::*member)
{
    return options.settings.*member;
}

template <class Member>
Option flag(const char *name, const char *help, Member member, bool value = true)
{
    return {QLatin1String(name), QLatin1String(help), {}, {}, [=](const QString &, Options &options) {
                field(options, member) = value;
                return true;
            }};
}

template <class Member>
Option number(const char *name, const QString &help, const char *valueName, int low, int high, Member member)
{
    return {QLatin1String(name), help, QLatin1String(valueName), QStringLiteral("%1 to %2").arg(low).arg(high),
            [=](const QString &text, Options &options) {
                bool ok = false;
                const int value = text.toInt(&ok);
                using T = std::remove_reference_t<decltype(field(options, member))>;
                if (ok && value >= low && value <= high)
                    field(options, member) = T(value);
                return ok && value >= low && value <= high;
            }};
}

Option seconds(const char *name, const char *help, std::optional<double> Options::*member, bool neverAllowed = false)
{
    return {QLatin1String(name), QLatin1String(help), QLatin1String(neverAllowed ? "S|never" : "S"),
            QStringLiteral("a number of seconds"), [=](const QString &text, Options &options) {
                bool ok = false;
                const double value = text.toDouble(&ok);
                if (neverAllowed && text == QLatin1String("never"))
                    (options.*member).reset();
                else if (ok && value >= 0)
                    options.*member = value;
                return (neverAllowed && text == QLatin1String("never")) || (ok && value >= 0);
            }};
}

// Seconds with fractions, kept as nanoseconds, from `low` up to but not including `high`.
Option fraction(const char *name, const char *help, double low, double high, const QString &expected,
                qint64 Options::*member)
{
    return {QLatin1String(name), QLatin1String(help), QStringLiteral("S"), expected,
            [=](const QString &text, Options &options) {
                bool ok = false;
                const double value = text.toDouble(&ok);
                if (!ok || !(value >= low && value < high))
                    return false;
                options.*member = std::llround(value * 1e9);
                return true;
            }};
}

Option text(const char *name, const char *help, QString Options::*member)
{
    return {QLatin1String(name), QLatin1String(help), QStringLiteral("PATH"), {},
            [=](const QString &text, Options &options) {
                options.*member = text;
                return true;
            }};
}

// The clock's reading at start, UTC, within the years a report can carry.
bool fillStart(const QString &text, Options &options)
{
    QDateTime start = QDateTime::fromString(QString(text).replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
    start.setTimeSpec(Qt::UTC);
    if (!start.isValid() || start.date().year() < Frames::YearBase || start.date().year() > Frames::LastYear)
        return false;
    options.start = {start.date().year(), start.date().dayOfYear(), start.time().msecsSinceStartOfDay() * 1000000LL};
    return true;
}

// The reports a unit can count: the --skip-at and --repeat-at values.
constexpr int MaxReportCount = std::numeric_limits<int>::max();
// An --ahead beyond this many seconds would take the clock out of the years a report carries anyway.
constexpr double MaxAhead = 100 * 366 * 86400.0;

std::vector<Option> table()
{
    using Sim::Settings;
    const QString last = QString::number(Lists::GpsReadMode - 1);
    return {
        text("link", "Keep a symbolic link to the pseudo-terminal at PATH (removed at exit).", &Options::link),
        text("device", "Play the unit on this serial device instead of a pseudo-terminal.", &Options::device),
        {QStringLiteral("form"), QStringLiteral("Time reports of 5 data bytes (time only) or 8 (time, year and date). "
                                                "Default 8."),
         QStringLiteral("5|8"), QStringLiteral("5 or 8"), [](const QString &text, Options &options) {
             options.form = text == QLatin1String("5") ? Sim::Form::TimeOnly : Sim::Form::WithDate;
             return text == QLatin1String("5") || text == QLatin1String("8");
         }},
        {QStringLiteral("start"), QStringLiteral("The clock's reading at start, UTC, as 2009-05-03T14:05:09[.250]. "
                                                 "Default: the computer's UTC time."),
         QStringLiteral("TIME"), QStringLiteral("a time in %1 to %2, as 2009-05-03T14:05:09").arg(Frames::YearBase).arg(Frames::LastYear),
         fillStart},
        number("interval", QStringLiteral("Milliseconds between time reports. Default 1000."), "MS", 1, 3600000,
               &Options::interval),
        fraction("phase", "Write each time report S seconds after the start of the second it names, by the unit's "
                          "clock (with a shorter --interval: after the tick it follows), 0 to less than 1. Default 0.",
                 0, 1, QStringLiteral("seconds, 0 to less than 1"), &Options::phase),
        fraction("jitter", "Move each time report's writing by an amount drawn anew for each report from a uniform "
                           "distribution over -S to +S seconds (every amount in between equally likely; the same draws "
                           "on every run); S less than half the --interval. Default 0.",
                 0, 0.5, QStringLiteral("seconds, 0 to less than 0.5"), &Options::jitter),
        fraction("ahead", "Run the unit's clock S seconds ahead of the computer's UTC time (behind if negative). Not "
                          "with --start. Default 0.",
                 -MaxAhead, MaxAhead, QStringLiteral("a number of seconds"), &Options::ahead),
        number("skip-at", QStringLiteral("After the Nth time report, step the clock one second forward: the next "
                                         "report names the second two after the Nth's (at the default --interval), "
                                         "and leaves at its usual moment."),
               "N", 1, MaxReportCount, &Options::skipAt),
        number("repeat-at", QStringLiteral("After the Nth time report, step the clock one second back: the next "
                                           "report names the Nth's second again (at the default --interval), and "
                                           "leaves at its usual moment."),
               "N", 1, MaxReportCount, &Options::repeatAt),
        number("status-interval", QStringLiteral("Milliseconds between status reports. Default: the --interval."), "MS",
               1, 3600000, &Options::statusInterval),
        number("time-zone", QStringLiteral("Time-zone position, 0 (-12 h) to %1 (+12 h). Default %2 (UTC).")
                                .arg(std::size(Lists::TimeZones) - 1).arg(Lists::UtcTimeZone),
               "N", 0, int(std::size(Lists::TimeZones)) - 1, &Settings::timeZone),
        number("read-mode", QStringLiteral("Read-mode position, 0 to %1, or %2 (GPS) with --gps. Default 1 (IRIG-B "
                                           "Analog).").arg(last).arg(Lists::GpsReadMode),
               "N", 0, Lists::GpsReadMode, &Settings::readMode),
        number("generate-mode", QStringLiteral("Generator position, 0 to %1. Default 1 (IRIG-B).")
                                    .arg(std::size(Lists::GenerateModes) - 1),
               "N", 0, int(std::size(Lists::GenerateModes)) - 1, &Settings::generateMode),
        number("control-function", QStringLiteral("Control-function position, 0 to %1, or %2 (Encoded Year) with --form "
                                                  "8. Default 0.").arg(Lists::EncodedYear - 1).arg(Lists::EncodedYear),
               "N", 0, Lists::EncodedYear, &Settings::controlFunction),
        number("offset", QStringLiteral("Microsecond offset, 0 to %1. Default 0.").arg(Frames::MaxOffset), "US", 0,
               Frames::MaxOffset, &Settings::offset),
        number("leap-year", QStringLiteral("Leap-year setting. Default: 1 if the start year is a leap year."), "0|1", 0,
               1, &Settings::leapYear),
        flag("freeze", "Output freeze on.", &Settings::outputFreeze),
        flag("binary-seconds", "Binary seconds on.", &Settings::binarySeconds),
        flag("reader-disabled", "Reader off (it then never reports a lock).", &Settings::readerEnabled, false),
        flag("gps", "The unit offers GPS as a read mode.", &Settings::gpsAvailable),
        seconds("lock-after", "The reader locks this many seconds after the start, or never. Default 2.",
                &Options::lockAfter, true),
        seconds("lock-for", "The reader loses its lock this many seconds after gaining it. Default: it keeps it.",
                &Options::lockFor),
        seconds("relock-after", "The reader locks again this many seconds after each loss, or never. Default: the "
                                "--lock-after.", &Options::relockAfter, true),
        seconds("garbage-at", "Send a burst of 48 random bytes at this many seconds.", &Options::garbageAt),
        seconds("overlong-at", "Send a frame with 40 data bytes at this many seconds.", &Options::overlongAt),
        flag("split", "Send every report byte by byte, one write each, a millisecond apart.", &Options::split),
        seconds("stop-after", "Stop sending reports after this many seconds (commands are still taken; SIGUSR2 resumes "
                              "them).", &Options::stopAfter),
        seconds("hang-up-after", "Close the line after this many seconds, and end.", &Options::hangUpAfter),
        flag("trace", "Also print every report sent.", &Options::trace),
    };
}

} // namespace

std::optional<Options> parseOptions(const QStringList &arguments, QString &error)
{
    const std::vector<Option> options = table();
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description).arg(LineFormat::text()));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const Option &option : options)
        parser.addOption({option.name, option.help, option.valueName});
    if (!Program::parseCommandLine(parser, arguments, error))
        return std::nullopt;

    Options result;
    for (const Option &option : options) {
        if (!parser.isSet(option.name))
            continue;
        const QString text = parser.value(option.name);
        if (!option.fill(text, result)) {
            error = QStringLiteral("--%1 %2: expected %3").arg(option.name, text, option.expected);
            return std::nullopt;
        }
    }
    if (!parser.isSet(QStringLiteral("relock-after")))
        result.relockAfter = result.lockAfter;
    // What one option allows depends on another.
    Sim::Settings &s = result.settings;
    if (!result.link.isEmpty() && !result.device.isEmpty())
        error = QStringLiteral("--link names a pseudo-terminal; it does not go with --device");
    else if (s.readMode == Lists::GpsReadMode && !s.gpsAvailable)
        error = QStringLiteral("--read-mode %1: expected 0 to %2 without --gps").arg(s.readMode).arg(Lists::GpsReadMode - 1);
    else if (s.controlFunction == Lists::EncodedYear && result.form != Sim::Form::WithDate)
        error = QStringLiteral("--control-function %1: expected 0 to %2 with --form 5")
                    .arg(s.controlFunction).arg(Lists::EncodedYear - 1);
    else if (result.start && parser.isSet(QStringLiteral("ahead")))
        error = QStringLiteral("--ahead sets the clock against the computer's; it does not go with --start");
    else if (2 * result.jitter >= result.interval * 1000000LL)
        error = QStringLiteral("--jitter %1: expected less than half the --interval, so that reports keep their order")
                    .arg(parser.value(QStringLiteral("jitter")));
    else if (result.skipAt && result.skipAt == result.repeatAt)
        error = QStringLiteral("--skip-at and --repeat-at %1: expected two different reports").arg(*result.skipAt);
    const int startYear = result.start ? result.start->year
                                       : QDateTime::currentDateTimeUtc().addMSecs(result.ahead / 1000000).date().year();
    if (error.isEmpty() && (startYear < Frames::YearBase || startYear > Frames::LastYear))
        error = QStringLiteral("--ahead %1: expected a clock within the years %2 to %3")
                    .arg(parser.value(QStringLiteral("ahead"))).arg(Frames::YearBase).arg(Frames::LastYear);
    if (!error.isEmpty())
        return std::nullopt;
    for (const char *timing : {"phase", "jitter", "ahead"})
        result.firstReportAtOnce = result.firstReportAtOnce && !parser.isSet(QLatin1String(timing));
    if (!parser.isSet(QStringLiteral("leap-year")))
        s.leapYear = QDate::isLeapYear(startYear);
    if (!parser.isSet(QStringLiteral("status-interval")))
        result.statusInterval = result.interval;
    return result;
}
