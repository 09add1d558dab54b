// The simulated unit on its own: the reports it encodes, what it makes of
// command frames, and its clock. Golden bytes are the documented examples.

#include "frames.h"
#include "unit.h"

#include <QDateTime>
#include <QTest>

using Sim::Form;

namespace {

// The unit of the documented examples: UTC, "IRIG-B Analog" in, "IRIG-B"
// out, output freeze on, reader enabled and locked, "Pass-Through", an offset
// of 250 microseconds, its clock at day 123 of 2009, 14:05:09.
Sim::Unit ExampleUnit(Form form, bool gps = false)
{
    Sim::Settings settings;
    settings.timeZone = 24;
    settings.readMode = 1;
    settings.generateMode = 1;
    settings.outputFreeze = true;
    settings.readerEnabled = true;
    settings.controlFunction = 1;
    settings.offset = 250;
    settings.gpsAvailable = gps;
    Sim::Unit unit(form, settings, Sim::Time{2009, 123, (14 * 3600 + 5 * 60 + 9) * 1000}, 0);
    unit.setReaderLock(true);
    return unit;
}

Sim::Unit UnitAt(Form form, const QString &start)
{
    const QDateTime time = QDateTime::fromString(start, Qt::ISODateWithMs);
    Sim::Settings settings;
    settings.leapYear = QDate::isLeapYear(time.date().year());
    return Sim::Unit(form, settings,
                     Sim::Time{time.date().year(), time.date().dayOfYear(), time.time().msecsSinceStartOfDay()}, 0);
}

} // namespace

class SimUnitTest : public QObject
{
    Q_OBJECT

private slots:
    void reportsOfTheExampleUnit_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("traced");

        QTest::newRow("with date") << Form::WithDate << Hex("FF0117 0E0509 090503 FE")
                                   << Hex("FF 18 01 01 43 01 00 02 05 00 FC")
                                   << "StatusReport zone 24 read 1 generate 1 flags 43 (freeze reader locked) "
                                      "function 1 offset 250 [FF 18 01 01 43 01 00 02 05 00 FC]";
        // "Pass-Through" shares bit 2 with binary seconds; byte 4 is the
        // leap-year bit, clear in 2009.
        QTest::newRow("time only") << Form::TimeOnly << Hex("FF0117 0E0509 FE")
                                   << Hex("FF 18 01 01 47 00 00 02 05 00 FC")
                                   << "StatusReport zone 24 read 1 generate 1 flags 47 (freeze reader "
                                      "binary-seconds/pass-through locked) leap-year 0 offset 250 "
                                      "[FF 18 01 01 47 00 00 02 05 00 FC]";
    }
    void reportsOfTheExampleUnit()
    {
        QFETCH(Form, form);
        QFETCH(QByteArray, time);
        QFETCH(QByteArray, status);
        QFETCH(QString, traced);

        const Sim::Unit unit = ExampleUnit(form);
        QCOMPARE(unit.timeReport(0).toHex(' '), time.toHex(' '));
        QCOMPARE(unit.statusReport().toHex(' '), status.toHex(' '));
        QCOMPARE(unit.describeReport(unit.statusReport()), traced);
    }

    void timeReportIsTraced()
    {
        const Sim::Unit unit = ExampleUnit(Form::WithDate);
        QCOMPARE(unit.describeReport(unit.timeReport(0)),
                 QString("TimeReport 123 14:05:09 2009-05-03 [FF 01 17 0E 05 09 09 05 03 FE]"));
    }

    // Commands sent to the example unit: what it logs and the status report
    // it sends afterwards.
    void commands_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<bool>("gps");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("status");

        const Form date = Form::WithDate;
        const Form timeOnly = Form::TimeOnly;
        const QByteArray unchanged = Hex("FF 18 01 01 43 01 00 02 05 00 FC");

        QTest::newRow("read mode IRIG-B Analog") << date << false << Hex("01 02 FA")
            << QStringList{R"-(SetReadMode 1 "IRIG-B Analog" [01 02 FA])-"} << unchanged;
        QTest::newRow("read mode IRIG-B TTL") << date << false << Hex("04 02 FA")
            << QStringList{R"-(SetReadMode 4 "IRIG-B TTL" [04 02 FA])-"} << Hex("FF 18 04 01 43 01 00 02 05 00 FC");
        QTest::newRow("read mode GPS") << date << true << Hex("06 02 FA")
            << QStringList{R"-(SetReadMode 6 "GPS" [06 02 FA])-"} << Hex("FF 18 06 01 53 01 00 02 05 00 FC");
        QTest::newRow("time zone Eastern") << date << false << Hex("0E 01 FA")
            << QStringList{R"-(SetTimeZone 14 "-5        (Eastern)" [0E 01 FA])-"}
            << Hex("FF 0E 01 01 43 01 00 02 05 00 FC");
        QTest::newRow("time zone +5.5") << date << false << Hex("23 01 FA")
            << QStringList{R"-(SetTimeZone 35 "+5.5" [23 01 FA])-"} << Hex("FF 23 01 01 43 01 00 02 05 00 FC");
        QTest::newRow("generator IRIG-G") << date << false << Hex("02 03 FA")
            << QStringList{R"-(SetGenerateMode 2 "IRIG-G" [02 03 FA])-"} << Hex("FF 18 01 02 43 01 00 02 05 00 FC");
        QTest::newRow("freeze cleared") << date << false << Hex("00 04 FA")
            << QStringList{"SetOutputFreeze 0 off [00 04 FA]"} << Hex("FF 18 01 01 42 01 00 02 05 00 FC");
        // A reader that is off reports no lock.
        QTest::newRow("reader cleared") << date << false << Hex("00 05 FA")
            << QStringList{"SetReaderEnable 0 off [00 05 FA]"} << Hex("FF 18 01 01 01 01 00 02 05 00 FC");
        QTest::newRow("binary seconds ticked") << date << false << Hex("01 07 FA")
            << QStringList{"SetBinarySeconds 1 on [01 07 FA]"} << Hex("FF 18 01 01 47 01 00 02 05 00 FC");
        QTest::newRow("encoded year") << date << false << Hex("02 08 FA")
            << QStringList{R"-(SetControlFunction 2 "Encoded Year" [02 08 FA])-"}
            << Hex("FF 18 01 01 43 02 00 02 05 00 FC");
        QTest::newRow("offset 1234") << date << false << Hex("01 02 03 04 09 FA")
            << QStringList{"SetOffset 1234 us [01 02 03 04 09 FA]"} << Hex("FF 18 01 01 43 01 01 02 03 04 FC");
        QTest::newRow("offset 0") << date << false << Hex("00 00 00 00 09 FA")
            << QStringList{"SetOffset 0 us [00 00 00 00 09 FA]"} << Hex("FF 18 01 01 43 01 00 00 00 00 FC");
        QTest::newRow("offset 9999") << date << false << Hex("09 09 09 09 09 FA")
            << QStringList{"SetOffset 9999 us [09 09 09 09 09 FA]"} << Hex("FF 18 01 01 43 01 09 09 09 09 FC");
        QTest::newRow("two in one block") << date << false << Hex("00 04 FA 02 03 FA")
            << QStringList{"SetOutputFreeze 0 off [00 04 FA]", R"-(SetGenerateMode 2 "IRIG-G" [02 03 FA])-"}
            << Hex("FF 18 01 02 42 01 00 02 05 00 FC");

        // A time-only unit: leap year in byte 4, "Pass-Through" in bit 2.
        QTest::newRow("leap year, time only") << timeOnly << false << Hex("01 06 FA")
            << QStringList{"SetLeapYear 1 on [01 06 FA]"} << Hex("FF 18 01 01 47 01 00 02 05 00 FC");
        QTest::newRow("pass-through off, time only") << timeOnly << false << Hex("00 08 FA")
            << QStringList{R"-(SetControlFunction 0 "Off" [00 08 FA])-"} << Hex("FF 18 01 01 43 00 00 02 05 00 FC");
        QTest::newRow("binary seconds, time only") << timeOnly << false << Hex("00 08 FA 01 07 FA")
            << QStringList{R"-(SetControlFunction 0 "Off" [00 08 FA])-", "SetBinarySeconds 1 on [01 07 FA]"}
            << Hex("FF 18 01 01 47 00 00 02 05 00 FC");

        // Frames the unit cannot take change nothing.
        QTest::newRow("encoded year, time only") << timeOnly << false << Hex("02 08 FA")
            << QStringList{"not understood: SetControlFunction 2 is out of range for this unit [02 08 FA]"}
            << Hex("FF 18 01 01 47 00 00 02 05 00 FC");
        QTest::newRow("GPS without GPS") << date << false << Hex("06 02 FA")
            << QStringList{"not understood: SetReadMode 6 is out of range for this unit [06 02 FA]"} << unchanged;
        QTest::newRow("time zone 49") << date << false << Hex("31 01 FA")
            << QStringList{"not understood: SetTimeZone 49 is out of range for this unit [31 01 FA]"} << unchanged;
        QTest::newRow("check box greyed") << date << false << Hex("02 04 FA")
            << QStringList{"not understood: SetOutputFreeze 2 is out of range for this unit [02 04 FA]"}
            << unchanged;
        QTest::newRow("offset digit 10") << date << false << Hex("0A 00 00 00 09 FA")
            << QStringList{"not understood: SetOffset 10 0 0 0 is out of range for this unit [0A 00 00 00 09 FA]"}
            << unchanged;
        QTest::newRow("code 11") << date << false << Hex("01 0B FA")
            << QStringList{"not understood: no command has code 11 [01 0B FA]"} << unchanged;
        QTest::newRow("payload too short") << date << false << Hex("03 04 09 FA")
            << QStringList{"not understood: SetOffset needs 4 payload bytes, got 2 [03 04 09 FA]"} << unchanged;
        QTest::newRow("end alone") << date << false << Hex("FA")
            << QStringList{"not understood: frame end without a command [FA]"} << unchanged;
        QTest::newRow("stray bytes before a frame") << date << false << Hex("33 44 04 02 FA")
            << QStringList{"not understood: stray bytes [33 44]", R"-(SetReadMode 4 "IRIG-B TTL" [04 02 FA])-"}
            << Hex("FF 18 04 01 43 01 00 02 05 00 FC");
        const QByteArray noise(Sim::Unit::MaxFrameLength, '\x01');
        QTest::newRow("no frame end") << date << false << noise + Hex("04 02 FA")
            << QStringList{QString("not understood: 64 bytes without a frame end [%1]").arg(
                               QString(noise.toHex(' ').toUpper())),
                           R"-(SetReadMode 4 "IRIG-B TTL" [04 02 FA])-"}
            << Hex("FF 18 04 01 43 01 00 02 05 00 FC");
    }
    void commands()
    {
        QFETCH(Form, form);
        QFETCH(bool, gps);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, status);

        // Whole, and one byte per read as a slow line delivers it.
        Sim::Unit whole = ExampleUnit(form, gps);
        QCOMPARE(whole.receive(bytes, 0), lines);
        QCOMPARE(whole.statusReport().toHex(' '), status.toHex(' '));

        Sim::Unit bytewise = ExampleUnit(form, gps);
        QStringList got;
        for (const char byte : std::as_const(bytes))
            got += bytewise.receive(QByteArrayView(&byte, 1), 0);
        QCOMPARE(got, lines);
        QCOMPARE(bytewise.statusReport(), whole.statusReport());
    }

    // The clock: commands at 0 ms, the time report `elapsed` ms later, and
    // how long until the next whole second then.
    void clock_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<int>("elapsed");
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("nextSecond");

        QTest::newRow("at start") << Form::WithDate << "2009-05-03T14:05:09.250" << QByteArray() << 0
                                  << Hex("FF 01 17 0E 05 09 09 05 03 FE") << 750;
        QTest::newRow("runs on") << Form::WithDate << "2009-05-03T14:05:09.250" << QByteArray() << 1750
                                 << Hex("FF 01 17 0E 05 0B 09 05 03 FE") << 1000;
        QTest::newRow("next day") << Form::WithDate << "2009-05-03T23:59:59.500" << QByteArray() << 600
                                  << Hex("FF 01 18 00 00 00 09 05 04 FE") << 900;
        QTest::newRow("day 366 of a leap year") << Form::WithDate << "2008-12-31T23:59:59" << QByteArray() << 0
                                                << Hex("FF 03 42 17 3B 3B 08 0C 1F FE") << 1000;
        QTest::newRow("new year") << Form::WithDate << "2008-12-31T23:59:59" << QByteArray() << 1000
                                  << Hex("FF 00 01 00 00 00 09 01 01 FE") << 1000;
        // The time set starts a new second.
        QTest::newRow("time and year set") << Form::WithDate << "2026-02-05T07:04:09.700"
                                           << Hex("01 17 0E 05 09 00 FA 09 0A FA") << 999
                                           << Hex("FF 01 17 0E 05 09 09 05 03 FE") << 1;
        QTest::newRow("time set runs on") << Form::WithDate << "2026-02-05T07:04:09.700"
                                          << Hex("02 2D 0D 07 09 00 FA 1A 0A FA") << 1000
                                          << Hex("FF 02 2D 0D 07 0A 1A 09 02 FE") << 1000;
        // Day 366 of a common year: 31 December, then 1 January of the next.
        QTest::newRow("day 366 of a common year") << Form::WithDate << "2009-05-03T14:05:09"
                                                  << Hex("03 42 17 3B 3A 00 FA") << 0
                                                  << Hex("FF 03 42 17 3B 3A 09 0C 1F FE") << 1000;
        QTest::newRow("after day 366 of a common year") << Form::WithDate << "2009-05-03T14:05:09"
                                                        << Hex("03 42 17 3B 3A 00 FA") << 2000
                                                        << Hex("FF 00 01 00 00 00 0A 01 01 FE") << 1000;
        QTest::newRow("day 7") << Form::TimeOnly << "2026-02-05T07:04:09" << Hex("00 07 00 00 00 00 FA") << 0
                               << Hex("FF 00 07 00 00 00 FE") << 1000;
        QTest::newRow("day 100") << Form::TimeOnly << "2026-02-05T07:04:09" << Hex("01 00 00 00 00 00 FA") << 0
                                 << Hex("FF 01 00 00 00 00 FE") << 1000;
        // A time-only unit knows no year: its leap-year setting decides.
        QTest::newRow("day 366, leap year set") << Form::TimeOnly << "2009-12-31T23:59:59" << Hex("01 06 FA")
                                                << 1000 << Hex("FF 03 42 00 00 00 FE") << 1000;
        QTest::newRow("day 366, leap year clear") << Form::TimeOnly << "2009-12-31T23:59:59" << QByteArray()
                                                  << 1000 << Hex("FF 00 01 00 00 00 FE") << 1000;
        QTest::newRow("bad time ignored") << Form::TimeOnly << "2009-05-03T14:05:09" << Hex("03 43 00 00 00 00 FA")
                                          << 0 << Hex("FF 01 17 0E 05 09 FE") << 1000;
    }
    void clock()
    {
        QFETCH(Form, form);
        QFETCH(QString, start);
        QFETCH(QByteArray, commands);
        QFETCH(int, elapsed);
        QFETCH(QByteArray, report);
        QFETCH(int, nextSecond);

        Sim::Unit unit = UnitAt(form, start);
        unit.receive(commands, 0);
        QCOMPARE(unit.timeReport(elapsed).toHex(' '), report.toHex(' '));
        QCOMPARE(unit.untilNextTick(elapsed, 1000), qint64(nextSecond));
    }
};

QTEST_GUILESS_MAIN(SimUnitTest)
#include "tst_simunit.moc"
