// Command frames to the unit, byte-exact.

#include "frames.h"

#include "device/commands.h"
#include "fakeport.h"

#include <QTest>

using namespace Module1;

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("read mode IRIG-B Analog") << int(SetReadMode) << Hex("01") << Hex("01 02 FA");
        QTest::newRow("read mode IRIG-B TTL") << int(SetReadMode) << Hex("04") << Hex("04 02 FA");
        QTest::newRow("time zone -5 Eastern") << int(SetTimeZone) << Hex("0E") << Hex("0E 01 FA");
        QTest::newRow("time zone UTC") << int(SetTimeZone) << Hex("18") << Hex("18 01 FA");
        QTest::newRow("reader enabled") << int(SetReaderEnable) << Hex("01") << Hex("01 05 FA");
        QTest::newRow("encoded year") << int(SetControlFunction) << Hex("02") << Hex("02 08 FA");
        QTest::newRow("offset 1234") << int(SetOffset) << OffsetDigits(1234) << Hex("01 02 03 04 09 FA");
        QTest::newRow("offset 250") << int(SetOffset) << OffsetDigits(250) << Hex("00 02 05 00 09 FA");
        QTest::newRow("offset 0") << int(SetOffset) << OffsetDigits(0) << Hex("00 00 00 00 09 FA");
        QTest::newRow("offset 9999") << int(SetOffset) << OffsetDigits(9999) << Hex("09 09 09 09 09 FA");
        QTest::newRow("time day 123 14:05:09") << int(SetTime) << SetTimePayload(123, 14, 5, 9) << Hex("01 17 0E 05 09 00 FA");
        QTest::newRow("time day 7") << int(SetTime) << SetTimePayload(7, 0, 0, 0) << Hex("00 07 00 00 00 00 FA");
        QTest::newRow("time day 100") << int(SetTime) << SetTimePayload(100, 23, 59, 59) << Hex("01 00 17 3B 3B 00 FA");
        QTest::newRow("time day 366") << int(SetTime) << SetTimePayload(366, 0, 0, 0) << Hex("03 42 00 00 00 00 FA");
        QTest::newRow("year 2009") << int(SetYear) << Hex("09") << Hex("09 0A FA");
        QTest::newRow("year 2099") << int(SetYear) << Hex("63") << Hex("63 0A FA");
    }

    // One write per command, with the payload, the code and 0xFA.
    void frames()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, frame);
        QCOMPARE(payload.size(), PayloadLength(quint8(code)));
        FakePort port({1});
        port.setPortNumber(1);
        QVERIFY(port.open());
        SendCommand(port, quint8(code), payload);
        QCOMPARE(port.written.size(), 1);
        QVERIFY2(port.written[0] == frame, port.written[0].toHex(' ').constData());
    }

    void closedPortDropsTheCommand()
    {
        FakePort port({1});
        SendCommand(port, SetReadMode, Hex("04"));
        QVERIFY(port.written.isEmpty());
    }
};

QTEST_APPLESS_MAIN(CommandsTest)
#include "tst_commands.moc"
