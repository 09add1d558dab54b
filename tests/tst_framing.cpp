// Cutting the unit's byte stream into reports: which reports are dispatched,
// with which data bytes and count, however the bytes are split.

#include "frames.h"

#include "device/reports.h"

#include <QTest>

namespace {

// Records every report as "T<count>:<hex of the positions it may read>".
class RecordingSink final : public Module1::ReportSink
{
public:
    QStringList events;
    void ShowGeneratorTime(const quint8 *report, qint16 count) override
    {
        events << QStringLiteral("T%1:%2").arg(count).arg(Positions(report, 8));
    }
    void ApplyStatus(const quint8 *report) override
    {
        events << QStringLiteral("S:%1").arg(Positions(report, 9));
    }
    static QString Positions(const quint8 *report, int n)
    {
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(report), n).toHex(' '));
    }
};

// Splits a stream into blocks of the given size (0: one block).
QList<QByteArray> Blocks(const QByteArray &stream, int size)
{
    if (size == 0)
        return {stream};
    QList<QByteArray> blocks;
    for (qsizetype i = 0; i < stream.size(); i += size)
        blocks << stream.mid(i, size);
    return blocks;
}

} // namespace

class FramingTest : public QObject
{
    Q_OBJECT

private slots:
    void dispatch_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("countAfter");

        QTest::newRow("time report") << Hex("FF 01 17 0E 05 09 FE")
                                     << QStringList{"T5:01 17 0e 05 09 00 00 00"} << 0;
        QTest::newRow("time report with date") << Hex("FF 01 17 0E 05 09 09 05 03 FE")
                                               << QStringList{"T8:01 17 0e 05 09 09 05 03"} << 0;
        QTest::newRow("0xFD starts like 0xFF") << Hex("FD 01 17 0E 05 09 FE")
                                               << QStringList{"T5:01 17 0e 05 09 00 00 00"} << 0;
        QTest::newRow("status report") << Hex("FF 18 01 01 43 01 00 02 05 00 FC")
                                       << QStringList{"S:18 01 01 43 01 00 02 05 00"} << 0;
        QTest::newRow("two frames, in terminator order")
            << Hex("FF 00 2D 08 00 00 FE FF 18 01 01 43 01 00 02 05 00 FC")
            << QStringList{"T5:00 2d 08 00 00 00 00 00", "S:18 01 01 43 01 00 02 05 00"} << 0;
        QTest::newRow("terminator without start") << Hex("01 17 0E 05 09 FE 01 02 FC") << QStringList{} << 0;
        QTest::newRow("start restarts the frame") << Hex("FF 33 33 33 33 33 33 FF 01 17 0E 05 09 FE")
                                                  << QStringList{"T5:01 17 0e 05 09 33 00 00"} << 0;
        QTest::newRow("0xFA and 0xFB are data") << Hex("FF FA FB 0E 05 09 FE")
                                                << QStringList{"T5:fa fb 0e 05 09 00 00 00"} << 0;
        QTest::newRow("bytes outside a frame are stored") << Hex("AA BB") << QStringList{} << 2;
        QTest::newRow("unfinished frame") << Hex("FF 01 17 0E") << QStringList{} << 3;
        QTest::newRow("empty") << QByteArray() << QStringList{} << 0;

        // 31 data bytes: the last lands at position 30 and the count wraps to 0.
        QByteArray thirtyOne = Hex("FF");
        for (int i = 1; i <= 31; ++i)
            thirtyOne += char(i);
        QTest::newRow("31 data bytes") << thirtyOne + Hex("FE") << QStringList{"T0:01 02 03 04 05 06 07 08"} << 0;
        // 32: the 32nd overwrites position 0 and the count passed is 1.
        QTest::newRow("32 data bytes") << thirtyOne + Hex("20 FE") << QStringList{"T1:20 02 03 04 05 06 07 08"} << 0;
        // A short status report reads what earlier frames left behind.
        QTest::newRow("short status uses stale positions")
            << Hex("FF 01 02 03 04 05 06 07 08 09 FE FF 18 41 FC")
            << QStringList{"T9:01 02 03 04 05 06 07 08", "S:18 41 03 04 05 06 07 08 09"} << 0;
    }

    // Every stream gives the same reports whatever the blocks it arrives in:
    // whole, byte by byte, and cut at sizes that straddle frame boundaries.
    void dispatch()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, events);
        QFETCH(int, countAfter);
        for (int size : {0, 1, 2, 3, 5, 7, 11}) {
            Module1::ReportFramer framer;
            RecordingSink sink;
            for (const QByteArray &block : Blocks(stream, size))
                framer.ProcessReceivedBytes(block, sink);
            QVERIFY2(sink.events == events,
                     qPrintable(QStringLiteral("blocks of %1: %2").arg(size).arg(sink.events.join(" | "))));
            QCOMPARE(framer.RxCount, qint16(countAfter));
        }
    }

    // A sink that fails leaves the rest of the block unread.
    void failingSinkStopsTheBlock()
    {
        struct Failing final : Module1::ReportSink {
            int calls = 0;
            void ShowGeneratorTime(const quint8 *, qint16) override { ++calls; throw std::runtime_error("display"); }
            void ApplyStatus(const quint8 *) override { ++calls; }
        } sink;
        Module1::ReportFramer framer;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 framer.ProcessReceivedBytes(Hex("FF 01 02 03 04 05 FE FF 18 FC"), sink));
        QCOMPARE(sink.calls, 1);
        QCOMPARE(framer.InFrame, qint16(1));  // the recovery resets it, not the framer
        QCOMPARE(framer.RxCount, qint16(5));
    }
};

QTEST_APPLESS_MAIN(FramingTest)
#include "tst_framing.moc"
