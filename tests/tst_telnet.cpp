// The Telnet layer of network lines, byte-exact, however the stream is cut;
// and the port entries that name network lines.

#include "frames.h"

#include "device/networkaddress.h"
#include "device/telnet.h"

#include <QTest>

namespace {

// Agreement on both options; the settings follow the server's DO.
const QByteArray Agree = Hex("FFFB00 FFFD00 FFFD2C");
const QByteArray Settings = Hex("FFFA2C0100002580FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0401FFF0 FFFA2C0501FFF0"
                                "FFFA2C050EFFF0 FFFA2C0A00FFF0 FFFA2C0B00FFF0");

QString Shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

const char *Answer(bool yes, bool no)
{
    return yes ? "yes" : no ? "no" : "pending";
}

// Decodes `stream` cut into the given pieces; reports what came out and the
// options' states in one line.
QString Decode(const QList<QByteArray> &pieces)
{
    Telnet::Client client(Telnet::Client::Mode::Telnet);
    QByteArray data, reply;
    for (const QByteArray &piece : pieces)
        client.receive(piece, data, reply);
    return QStringLiteral("data [%1] reply [%2] binary %3 com-port %4")
        .arg(Shown(data), Shown(reply), Answer(client.binaryAgreed(), client.binaryRefused()),
             Answer(client.comPortAccepted(), client.comPortRefused()));
}

} // namespace

class TelnetTest : public QObject
{
    Q_OBJECT

private slots:
    void receive_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("options");  // binary, com-port

        // IAC IAC at every position of a report, and carriage return (hour
        // 13) with NUL after it, which binary mode leaves alone.
        const QByteArray report = Hex("01 17 0D 00 0D 0A FE");
        for (int at = 0; at <= report.size(); ++at) {
            QByteArray data = report;
            data.insert(at, '\xFF');
            QByteArray stream = Agree;
            Telnet::AppendEscaped(data, stream);
            QTest::addRow("0xFF at %d", at) << stream << data << Settings << "yes yes";
        }
        QTest::newRow("nothing yet") << QByteArray() << QByteArray() << QByteArray() << "pending pending";
        QTest::newRow("commands vanish") << Hex("01 FFF1 02 FFF9 03 FFF2 04 FFF0 05") << Hex("01 02 03 04 05")
                                         << QByteArray() << "pending pending";
        QTest::newRow("sub-negotiation vanishes") << Hex("01 FFFA2C6A00FFF0 02 FFFA2C65FFFF00FFFFFFF0 03")
                                                  << Hex("01 02 03") << QByteArray() << "pending pending";
        QTest::newRow("oversized sub-negotiation")
            << Hex("01 FFFA2C") + QByteArray(3000, '\xF0') + Hex("FFF0 02") << Hex("01 02") << QByteArray()
            << "pending pending";
        QTest::newRow("command ends a sub-negotiation without SE")
            << Hex("01 FFFA2C06 FFFB05 02") << Hex("01 02") << Hex("FFFE05") << "pending pending";
        QTest::newRow("unsupported options refused, every request")
            << Hex("FFFB01 FFFD18 FFFB01 FFFC03 FFFE05 FFFB2C") << QByteArray() << Hex("FFFE01 FFFC18 FFFE01 FFFE2C")
            << "pending pending";
        QTest::newRow("acknowledgements not answered, repeats ignored") << Agree + Agree << QByteArray() << Settings
                                                                        << "yes yes";
        QTest::newRow("binary refused by the server") << Hex("FFFC00 FFFD00") << QByteArray() << QByteArray()
                                                       << "no pending";
        QTest::newRow("binary refused for the client") << Hex("FFFB00 FFFE00") << QByteArray() << QByteArray()
                                                       << "no pending";
        QTest::newRow("binary withdrawn, then offered again")
            << Hex("FFFB00 FFFD00 FFFC00 FFFB00") << QByteArray() << Hex("FFFE00 FFFD00") << "yes pending";
        QTest::newRow("com-port refused") << Hex("FFFB00 FFFD00 FFFE2C") << QByteArray() << QByteArray() << "yes no";
        QTest::newRow("com-port dropped and taken again: settings once")
            << Agree + Hex("FFFE2C FFFD2C") << QByteArray() << Settings + Hex("FFFC2C FFFB2C") << "yes yes";
    }

    // The same outcome whole, cut in two at every byte boundary, and a byte
    // at a time.
    void receive()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, reply);
        QFETCH(QString, options);
        const QString expected = QStringLiteral("data [%1] reply [%2] binary %3 com-port %4")
                                     .arg(Shown(data), Shown(reply), options.section(' ', 0, 0),
                                          options.section(' ', 1, 1));
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const QString got = Decode({stream.left(cut), stream.mid(cut)});
            QVERIFY2(got == expected, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got)));
        }
        QList<QByteArray> bytes;
        for (char byte : stream)
            bytes << QByteArray(1, byte);
        QCOMPARE(Decode(bytes), expected);
    }

    void sent_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("line");

        auto escaped = [](const QByteArray &data) {
            QByteArray out;
            Telnet::Client(Telnet::Client::Mode::Telnet).encode(data, out);
            return out;
        };
        QTest::newRow("opening") << Telnet::Client(Telnet::Client::Mode::Telnet).opening() << Hex("FFFB00 FFFD00 FFFB2C");
        QTest::newRow("data without 0xFF") << escaped(Hex("04 02 FA 0D 00")) << Hex("04 02 FA 0D 00");
        QTest::newRow("0xFF doubled") << escaped(Hex("FF 01 FF FF 02 FF")) << Hex("FFFF 01 FFFFFFFF 02 FFFF");
        QTest::newRow("0xFF in a sub-negotiation value")
            << Telnet::SubNegotiation(Telnet::ComPort, Hex("01 00 00 FF FF")) << Hex("FFFA2C 01 0000FFFFFFFF FFF0");
        QTest::newRow("settings at a baud rate of 0xFFFF") << Telnet::ComPortSettings(0xFFFF).left(12)
                                                           << Hex("FFFA2C01 0000FFFFFFFF FFF0");
        QTest::newRow("settings at 9600") << Telnet::ComPortSettings() << Settings;
        QTest::newRow("raw: nothing opens") << Telnet::Client(Telnet::Client::Mode::Raw).opening() << QByteArray();
    }

    void sent()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, line);
        QVERIFY2(sent == line, qPrintable(Shown(sent)));
    }

    // Raw lines are not Telnet: every byte value passes both ways unchanged.
    void rawPassesEverything()
    {
        QByteArray every;
        for (int i = 0; i < 256; ++i)
            every += char(i);
        Telnet::Client raw(Telnet::Client::Mode::Raw);
        QByteArray data, reply, out;
        raw.receive(every, data, reply);
        raw.encode(every, out);
        QCOMPARE(data, every);
        QCOMPARE(out, every);
        QVERIFY(reply.isEmpty() && raw.binaryAgreed() && !raw.binaryRefused());
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("parsed");  // the address again, or the reason

        QTest::newRow("raw by name") << " tcp://rack-3.lab:4001 " << "tcp://rack-3.lab:4001";
        QTest::newRow("rfc2217 by IPv4") << "RFC2217://192.0.2.3:2000" << "rfc2217://192.0.2.3:2000";
        QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:7000" << "rfc2217://[::1]:7000";
        QTest::newRow("highest port") << "tcp://h:065535" << "tcp://h:65535";
        QTest::newRow("unknown scheme") << "telnet://h:23" << "unknown scheme";
        QTest::newRow("no port") << "tcp://h" << "missing port";
        QTest::newRow("colon without port") << "tcp://h:" << "missing port";
        QTest::newRow("port 0") << "tcp://h:0" << "port out of range";
        QTest::newRow("port 65536") << "tcp://h:65536" << "port out of range";
        QTest::newRow("very long port") << "tcp://h:99999999999999999999" << "port out of range";
        QTest::newRow("empty host") << "tcp://:7000" << "empty host";
        QTest::newRow("empty brackets") << "tcp://[]:7000" << "empty host";
        QTest::newRow("path after the port") << "tcp://h:7000/x" << "junk after the port";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:7000" << "IPv6 address without brackets";
        QTest::newRow("name in brackets") << "tcp://[rack]:7000" << "bad host";
        QTest::newRow("blank in the name") << "tcp://ra ck:7000" << "bad host";
        QTest::newRow("device path") << "/dev/ttyUSB0" << "not a network address";
        QTest::newRow("Windows device") << "COM3" << "not a network address";
    }

    void addresses()
    {
        QFETCH(QString, entry);
        QFETCH(QString, parsed);
        QString reason;
        const std::optional<NetworkAddress> address = ParseNetworkAddress(entry, &reason);
        QCOMPARE(address ? address->toString() : reason, parsed);
        QCOMPARE(IsNetworkEntry(entry), !entry.startsWith('/') && entry != "COM3");
    }
};

QTEST_APPLESS_MAIN(TelnetTest)
#include "tst_telnet.moc"
