// The device layer without a line: the unit's byte stream cut into reports however it arrives, numbers read out of
// typed text in every locale, and the folder a lost device is awaited in.

#include "frames.h"

#include "device/lines/devicewatcher.h"
#include "device/common/numbertext.h"

#include <QDir>
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
        for (const char *name : {"C", "de_DE", "fr_FR", "ar_EG"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            std::setlocale(LC_ALL, name);
            const NumberText::Reading reading = NumberText::read(text);
            QVERIFY2(reading.value == value && reading.whole == number, name);
        }
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
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

QTEST_APPLESS_MAIN(DeviceTest)
#include "tst_device.moc"
