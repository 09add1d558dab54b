// The device layer without a line: the unit's byte stream cut into reports however it arrives, what reports say (the
// moment a time report names, the settings' names), numbers read out of typed text in every locale, the folder a lost
// device is awaited in; and the order of a unit's events.

#include "frames.h"

#include "device/lines/devicewatcher.h"
#include "device/protocol/reporttime.h"
#include "events/unitclock.h"
#include "events/unitwatch.h"
#include "device/common/numbertext.h"

#include <QDir>
#include <QSignalSpy>
#include <QLocale>
#include <QTest>

#include <clocale>
#include <limits>

namespace {

// Records every report as "T<count>:<hex of the positions it may read>".
struct RecordingSink final : Frames::ReportSink
{
    QStringList events;
    static QString positions(const quint8 *report, int n) { return QByteArray((const char *)report, n).toHex(' '); }
    void ShowGeneratorTime(const quint8 *report, qint16 count) override { events << QString("T%1:").arg(count) + positions(report, 8); }
    void ApplyStatus(const quint8 *report) override { events << "S:" + positions(report, 9); }
};

} // namespace

class DeviceTest : public QObject
{
    Q_OBJECT

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("countAfter");
        const QByteArray thirtyOne = hex("FF 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
        const auto row = [](const char *name, const QByteArray &stream, const QStringList &events, int count = 0) {
            QTest::newRow(name) << stream << events << count;
        };
        row("time report", hex("FF 01 17 0E 05 09 FE"), {"T5:01 17 0e 05 09 00 00 00"});
        row("time report with date", hex("FF 01 17 0E 05 09 09 05 03 FE"), {"T8:01 17 0e 05 09 09 05 03"});
        row("0xFD starts like 0xFF", hex("FD 01 17 0E 05 09 FE"), {"T5:01 17 0e 05 09 00 00 00"});
        row("status report", hex("FF 18 01 01 43 01 00 02 05 00 FC"), {"S:18 01 01 43 01 00 02 05 00"});
        row("two frames, in terminator order", hex("FF 00 2D 08 00 00 FE FF 18 01 01 43 01 00 02 05 00 FC"),
            {"T5:00 2d 08 00 00 00 00 00", "S:18 01 01 43 01 00 02 05 00"});
        row("terminator without start", hex("01 17 0E 05 09 FE 01 02 FC"), {});
        row("start restarts the frame", hex("FF 33 33 33 33 33 33 FF 01 17 0E 05 09 FE"), {"T5:01 17 0e 05 09 33 00 00"});
        row("0xFA and 0xFB are data", hex("FF FA FB 0E 05 09 FE"), {"T5:fa fb 0e 05 09 00 00 00"});
        row("bytes outside a frame are stored", hex("AA BB"), {}, 2);
        row("unfinished frame", hex("FF 01 17 0E"), {}, 3);
        // The 31st data byte lands at position 30 and the count wraps to 0; a 32nd overwrites position 0 and the
        // count passed is 1.
        row("31 data bytes", thirtyOne + hex("FE"), {"T0:01 02 03 04 05 06 07 08"});
        row("32 data bytes", thirtyOne + hex("20 FE"), {"T1:20 02 03 04 05 06 07 08"});
        // A short status report reads what earlier frames left behind.
        row("short status uses stale positions", hex("FF 01 02 03 04 05 06 07 08 09 FE FF 18 41 FC"),
            {"T9:01 02 03 04 05 06 07 08", "S:18 41 03 04 05 06 07 08 09"});
    }
    // The same reports whatever the blocks the stream arrives in: whole, byte by byte, and cut at sizes that straddle
    // frame boundaries.
    void framing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, events);
        QFETCH(int, countAfter);
        for (const int size : {0, 1, 2, 3, 5, 7, 11}) {
            Frames::ReportFramer framer;
            RecordingSink sink;
            for (qsizetype i = 0; i < stream.size(); i += size ? size : stream.size())
                framer.ProcessReceivedBytes(stream.mid(i, size ? size : -1), sink);
            QVERIFY2(sink.events == events, qPrintable(QString("blocks of %1: %2").arg(size).arg(sink.events.join(" | "))));
            QCOMPARE(framer.RxCount, qint16(countAfter));
        }
    }

    void numberText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");  // what the text begins with
        QTest::addColumn<bool>("number");   // the text as a whole is a number
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("digits then letters") << "12a" << 12.0 << false;
        QTest::newRow("blanks around, tab") << " \t0012  " << 12.0 << true;
        QTest::newRow("half") << "12.5" << 12.5 << true;
        QTest::newRow("no digit before the point") << ".5" << 0.5 << true;
        QTest::newRow("comma is not a decimal point") << "12,5" << 12.0 << false;
        QTest::newRow("exponent with sign") << "25E-1" << 2.5 << true;
        QTest::newRow("huge exponent") << "1e99999999999999999999" << std::numeric_limits<double>::infinity() << true;
        QTest::newRow("hex is not read") << "0x10" << 0.0 << false;
        QTest::newRow("other digits are not read") << QString::fromUtf8("\u0661\u0662") << 0.0 << false;
    }
    // The same reading in every locale: a German or French desktop reads "12.5" as twelve and a half too.
    void numberText()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, number);
        for (const char *name : {"C", "de_DE.UTF-8", "fr_FR.UTF-8", "ar_EG.UTF-8"}) {  // Debian's locales-all
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            QVERIFY2(std::setlocale(LC_ALL, name), name);
            const NumberText::Reading reading = NumberText::read(text);
            QVERIFY2(reading.value == value && reading.whole == number, name);
        }
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    // The moment a time report names: its own year, or the one nearest the computer's clock; less the unit's zone.
    void reportedTime_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("near");
        QTest::addColumn<QString>("named");
        QTest::newRow("dated, UTC") << Reports::timeWithDate(123, 14, 5, 9, 2009, 5, 3) << 24 << "2026-06-01T00:00:00" << "2009-05-03T14:05:09";
        QTest::newRow("zone +1 h") << Reports::time(100, 13, 0, 0) << 26 << "2026-04-10T12:00:00" << "2026-04-10T12:00:00";
        QTest::newRow("zone -5 h") << Reports::time(100, 9, 0, 0) << 14 << "2026-04-10T12:00:00" << "2026-04-10T14:00:00";
        QTest::newRow("the year before") << Reports::time(366, 23, 59, 59) << 24 << "2009-01-01T00:00:01" << "2008-12-31T23:59:59";
        QTest::newRow("the year after") << Reports::time(1, 0, 0, 1) << 24 << "2008-12-31T23:59:59" << "2009-01-01T00:00:01";
    }
    void reportedTime()
    {
        QFETCH(QByteArray, report);
        QFETCH(int, zone);
        QFETCH(QString, near);
        QFETCH(QString, named);
        const auto utc = [](const QString &text) { return QDateTime::fromString(text + 'Z', Qt::ISODate); };
        const auto *data = reinterpret_cast<const quint8 *>(report.constData()) + 1;
        QCOMPARE(Frames::reportedTime(data, qint16(report.size() - 2), zone, utc(near)), utc(named));
    }

    // A unit as a clock: each report's phase against the second it names (in the unit's zone), its offset with the
    // calibrated phase, and a jump where a second does not follow the last by the time that passed.
    void unitClock_data()
    {
        QTest::addColumn<QString>("reports");  // SECOND@ARRIVAL each, in seconds of a day; "|" forgets the last
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("read");     // phase/offset in ms, J for a jump
        QTest::newRow("in step") << "10@10.300 11@11.302" << 24 << "300/0 302/-2";
        QTest::newRow("zone +1 h") << "3610@10.300" << 26 << "300/0";
        QTest::newRow("skipped and repeated") << "10@10.3 11@11.3 13@12.3 13@13.3 14@14.3" << 24
                                              << "300/0 300/0 -700/1000J 300/0J 300/0";
        QTest::newRow("late by less than half a second") << "10@10.3 11@11.7" << 24 << "300/0 700/-400";
        QTest::newRow("nothing to follow after silence") << "10@10.3 | 30@30.3" << 24 << "300/0 300/0";
    }
    void unitClock()
    {
        QFETCH(QString, reports);
        QFETCH(int, zone);
        QFETCH(QString, read);
        UnitClock clock(0.3);
        QStringList got;
        for (const QString &report : reports.split(' ')) {
            if (report == "|") {
                clock.forget();
                continue;
            }
            const int second = report.section('@', 0, 0).toInt();
            const QByteArray frame = Reports::timeWithDate(100, second / 3600, second / 60 % 60, second % 60, 2026, 4, 10);
            const qint64 arrived = QDateTime(QDate(2026, 4, 10), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() * 1000000
                + qint64(report.section('@', 1).toDouble() * 1e9);
            const UnitClock::Reading reading = clock.timeReport(reinterpret_cast<const quint8 *>(frame.constData()) + 1, 8, arrived, zone);
            got << QString("%1/%2%3").arg(qRound(reading.phase * 1000)).arg(qRound(reading.offset * 1000)).arg(reading.jump ? "J" : "");
        }
        QCOMPARE(got.join(' '), read);
    }

    // The settings by the names the window's lists give them, as the monitor's unit_info labels carry them.
    void settingNames_data()
    {
        QTest::addColumn<int>("timeReportLength");
        QTest::addColumn<QString>("names");  // read_mode, generate_mode, time_zone, control_function, time_report
        QTest::newRow("before a time report") << 0 << "IRIG-B TTL, IRIG-A, -5 (Eastern), , ";
        QTest::newRow("dated reports") << 8 << "IRIG-B TTL, IRIG-A, -5 (Eastern), Encoded Year, 8";
        QTest::newRow("undated reports") << 5 << "IRIG-B TTL, IRIG-A, -5 (Eastern), Pass-Through, 5";
    }
    void settingNames()
    {
        QFETCH(int, timeReportLength);
        QFETCH(QString, names);
        const QByteArray report = Reports::status(14, 4, 0, 0x04, 2, 0);
        const QMap<QString, QString> got = Frames::settingNames(reinterpret_cast<const quint8 *>(report.constData()) + 1, timeReportLength);
        QCOMPARE(QStringList({got["read_mode"], got["generate_mode"], got["time_zone"], got["control_function"], got["time_report"]}).join(", "), names);
    }

    // A unit's events follow a fixed order: a line's first opening and the first lock of a connection tell nothing, a
    // lost line is told once per reason, back once, and nothing of a unit carries over to the next.
    void unitEvents_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("events");
        QTest::newRow("lock changes") << "open time unlock lock unlock" << "lock-regained lock-lost";
        QTest::newRow("no report, no loss") << "open lost:closed" << "";
        QTest::newRow("lost and back") << "open time lost:closed open time" << "line-lost:closed line-back";
        QTest::newRow("once per reason") << "failed:refused failed:refused failed:unreachable open time"
                                         << "line-lost:refused line-lost:unreachable line-back";
        QTest::newRow("a new connection's first lock") << "open unlock lost:closed open lock" << "line-lost:closed line-back";
        QTest::newRow("another unit") << "open time lost:closed forget open time" << "line-lost:closed";
        QTest::newRow("silent and back") << "open time wait time" << "unit-silent unit-reporting";
    }
    void unitEvents()
    {
        QFETCH(QString, steps);
        QFETCH(QString, events);
        const std::map<QString, LineFailure> failures{{"closed", LineFailure::Closed}, {"refused", LineFailure::Refused},
                                                      {"unreachable", LineFailure::Unreachable}};
        const char *names[] = {"line-lost", "line-back", "unit-silent", "unit-reporting", "lock-lost", "lock-regained"};
        UnitWatch watch;
        QStringList told;
        connect(&watch, &UnitWatch::happened, this, [&](UnitEvent event) {
            told << names[int(event)] + (event == UnitEvent::LineLost ? ':' + QString(failureName(watch.failure())) : QString());
        });
        QSignalSpy silent(&watch, &UnitWatch::silent);
        for (const QString &step : steps.split(' ')) {
            const QString reason = step.section(':', 1);
            if (step == "open") watch.lineOpened();
            else if (step == "time") watch.timeReport();
            else if (step == "lock" || step == "unlock") watch.statusReport(step == "lock");
            else if (step.startsWith("lost")) watch.lineLost(failures.at(reason));
            else if (step.startsWith("failed")) watch.openFailed(failures.at(reason));
            else if (step == "forget") watch.forget();
            else QVERIFY(silent.wait(2 * UnitWatch::SilenceMs));
        }
        QCOMPARE(told.join(' '), events);
    }

    // The folder a lost device's return is watched in: the nearest that exists, found for any path.
    void nearestFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("a device") << "/dev/ttyS0" << "/dev";
        QTest::newRow("no parent exists") << "/nonexistent/a/b/ttyUSB0" << "/";
        QTest::newRow("relative") << "nonexistent/ttyUSB0" << QDir::currentPath();
        QTest::newRow("the root") << "/" << "/";
    }
    void nearestFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(::nearestFolder(path), folder);
    }
};

QTEST_GUILESS_MAIN(DeviceTest)
#include "tst_device.moc"
