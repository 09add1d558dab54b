// The simulated unit on its own: the reports it encodes, what it makes of command frames, and its clock.

#include "frames.h"
#include "unit.h"

#include <QDateTime>
#include <QTest>

using Sim::Form;

namespace {

// The unit of the worked examples: UTC, "IRIG-B Analog" in, "IRIG-B" out, output freeze on, reader enabled and
// locked, "Pass-Through", an offset of 250 microseconds, its clock at day 123 of 2009, 14:05:09.
Sim::Unit exampleUnit(Form form, bool gps = false)
{
    Sim::Settings settings;
    settings.outputFreeze = true;
    settings.controlFunction = 1;
    settings.offset = 250;
    settings.gpsAvailable = gps;
    Sim::Unit unit(form, settings, Sim::Time{2009, 123, (14 * 3600 + 5 * 60 + 9) * 1000}, 0);
    unit.setReaderLock(true);
    return unit;
}

} // namespace

class SimUnitTest : public QObject
{
    Q_OBJECT

private slots:
    // Commands to the example unit, fed as the bytes in the brackets of the lines it logs, whole and a byte at a
    // time; and its status report after.
    void commands_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<bool>("gps");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("status");
        const auto row = [](const char *name, Form form, const QStringList &lines, const char *status = "18 01 01 43 01 00 02 05 00",
                            bool gps = false) { QTest::newRow(name) << form << gps << lines << hex(status); };
        const Form dated = Form::WithDate;
        const Form timeOnly = Form::TimeOnly;
        row("read mode GPS", dated, {R"(SetReadMode 6 "GPS" [06 02 FA])"}, "18 06 01 53 01 00 02 05 00", true);
        row("time zone", dated, {R"-(SetTimeZone 14 "-5        (Eastern)" [0E 01 FA])-"}, "0E 01 01 43 01 00 02 05 00");
        // A reader that is off reports no lock.
        row("reader cleared", dated, {"SetReaderEnable 0 off [00 05 FA]"}, "18 01 01 01 01 00 02 05 00");
        row("encoded year", dated, {R"(SetControlFunction 2 "Encoded Year" [02 08 FA])"}, "18 01 01 43 02 00 02 05 00");
        row("two in one block", dated, {"SetOutputFreeze 0 off [00 04 FA]", R"(SetGenerateMode 2 "IRIG-G" [02 03 FA])"},
            "18 01 02 42 01 00 02 05 00");
        row("leap year, time only", timeOnly, {"SetLeapYear 1 on [01 06 FA]"}, "18 01 01 47 01 00 02 05 00");
        row("binary seconds, time only", timeOnly, {R"(SetControlFunction 0 "Off" [00 08 FA])",
            "SetBinarySeconds 1 on [01 07 FA]"}, "18 01 01 47 00 00 02 05 00");
        // Frames the unit cannot take change nothing.
        row("GPS without GPS", dated, {"not understood: SetReadMode 6 is out of range for this unit [06 02 FA]"});
        row("code 11", dated, {"not understood: no command has code 11 [01 0B FA]"});
        row("no frame end", dated, {"not understood: 64 bytes without a frame end [" + QByteArray(64, 1).toHex(' ') + "]",
            R"(SetReadMode 4 "IRIG-B TTL" [04 02 FA])"}, "18 04 01 43 01 00 02 05 00");
    }
    void commands()
    {
        QFETCH(Form, form);
        QFETCH(bool, gps);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, status);
        QByteArray bytes;
        for (const QString &line : std::as_const(lines))
            bytes += QByteArray::fromHex(line.section('[', -1).toLatin1());
        Sim::Unit whole = exampleUnit(form, gps);
        Sim::Unit bytewise = exampleUnit(form, gps);
        QCOMPARE(whole.receive(bytes, 0), lines);
        QStringList got;
        for (const char byte : std::as_const(bytes))
            got += bytewise.receive(QByteArrayView(&byte, 1), 0);
        QCOMPARE(got, lines);
        QVERIFY2(whole.statusReport() == hex("FF") + status + hex("FC"), whole.statusReport().toHex(' ').constData());
        QCOMPARE(bytewise.statusReport(), whole.statusReport());
    }

    // The clock: commands at 0 ms, the time report `elapsed` ms later, and how long until the next whole second then.
    void clock_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("nextSecond");
        const auto row = [](const char *name, Form form, const char *start, const char *commands, int elapsed,
                            const char *report, int nextSecond = 1000) {
            QTest::newRow(name) << form << start << hex(commands) << elapsed << hex(report) << nextSecond;
        };
        const Form dated = Form::WithDate;
        const Form timeOnly = Form::TimeOnly;
        row("at start", dated, "2009-05-03T14:05:09.250", "", 0, "FF 01 17 0E 05 09 09 05 03 FE", 750);
        row("new year", dated, "2008-12-31T23:59:59", "", 1000, "FF 00 01 00 00 00 09 01 01 FE");
        // The time set starts a new second.
        row("time and year set", dated, "2026-02-05T07:04:09.700", "01 17 0E 05 09 00 FA 09 0A FA", 999,
            "FF 01 17 0E 05 09 09 05 03 FE", 1);
        row("day 1 set", dated, "2026-02-05T07:04:09", "00 01 0D 07 09 00 FA", 1000, "FF 00 01 0D 07 0A 1A 01 01 FE");
        // Day 366 of a common year: 31 December, then 1 January of the next.
        row("day 366 of a common year", dated, "2009-05-03T14:05:09", "03 42 17 3B 3A 00 FA", 0, "FF 03 42 17 3B 3A 09 0C 1F FE");
        row("after day 366 of a common year", dated, "2009-05-03T14:05:09", "03 42 17 3B 3A 00 FA", 2000,
            "FF 00 01 00 00 00 0A 01 01 FE");
        // A time-only unit knows no year: its leap-year setting decides.
        row("day 366, leap year set", timeOnly, "2009-12-31T23:59:59", "01 06 FA", 1000, "FF 03 42 00 00 00 FE");
        row("day 366, leap year clear", timeOnly, "2009-12-31T23:59:59", "", 1000, "FF 00 01 00 00 00 FE");
    }
    void clock()
    {
        QFETCH(Form, form);
        QFETCH(QString, start);
        QFETCH(QByteArray, commands);
        QFETCH(int, elapsed);
        QFETCH(QByteArray, report);
        QFETCH(int, nextSecond);
        const QDateTime time = QDateTime::fromString(start, Qt::ISODateWithMs);
        Sim::Settings settings;
        settings.leapYear = QDate::isLeapYear(time.date().year());
        Sim::Unit unit(form, settings, {time.date().year(), time.date().dayOfYear(), time.time().msecsSinceStartOfDay()}, 0);
        unit.receive(commands, 0);
        QVERIFY2(unit.timeReport(elapsed) == report, unit.timeReport(elapsed).toHex(' ').constData());
        QCOMPARE(unit.untilNextTick(elapsed, 1000), qint64(nextSecond));
    }
};

QTEST_GUILESS_MAIN(SimUnitTest)
#include "tst_simunit.moc"
