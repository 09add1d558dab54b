// Serial lines over the network: the Telnet layer byte-exact however the stream is cut, the port entries, and the line
// itself on loopback sockets. The line against the real ser2net is in tst_realline.

#include "frames.h"
#include "testenv.h"

#include "device/lineservice.h"
#include "device/networkaddress.h"
#include "device/networkportservice.h"
#include "device/portselection.h"
#include "device/telnet.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>


#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Agreement on both options; the settings follow the server's DO.
const QByteArray Agree = Hex("FFFB00 FFFD00 FFFD2C");
const QByteArray Settings = Hex("FFFA2C0100002580FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0401FFF0 FFFA2C0501FFF0"
                                "FFFA2C050EFFF0 FFFA2C0A00FFF0 FFFA2C0B00FFF0");

QString Shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// Decodes `stream` cut into pieces: the data, the answers, and whether BINARY and COM-PORT-OPTION hold.
QString Decode(const QList<QByteArray> &pieces)
{
    Telnet::Client client(Telnet::Client::Mode::Telnet);
    QByteArray data, reply;
    for (const QByteArray &piece : pieces)
        client.receive(piece, data, reply);
    const auto state = [](bool yes, bool no) { return yes ? "yes" : no ? "no" : "pending"; };
    return QStringLiteral("data [%1] reply [%2] %3 %4")
        .arg(Shown(data), Shown(reply), state(client.binaryAgreed(), client.binaryRefused()),
             state(client.comPortAccepted(), client.comPortRefused()));
}

bool Open(NetworkPortService &line, const char *entry, quint16 port)
{
    line.setAddress(*ParseNetworkAddress(QString::fromLatin1(entry).arg(port)));
    return line.open();
}

} // namespace

class NetworkLineTest : public QObject
{
    Q_OBJECT

private slots:
    void receive_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("decoded");  // data, answers, then BINARY and COM-PORT-OPTION
        const auto row = [](const char *name, const QByteArray &stream, const QByteArray &data,
                            const QByteArray &reply, const char *options) {
            QTest::newRow(name) << stream << QStringLiteral("data [%1] reply [%2] %3").arg(Shown(data), Shown(reply), options);
        };
        // IAC IAC at every position of a report, and carriage return (hour 13) with NUL after it, which binary mode
        // leaves alone.
        const QByteArray report = Hex("01 17 0D 00 0D 0A FE");
        for (int at = 0; at <= report.size(); ++at) {
            QByteArray data = report, stream = Agree;
            data.insert(at, '\xFF');
            Telnet::AppendEscaped(data, stream);
            row(qPrintable(QStringLiteral("0xFF at %1").arg(at)), stream, data, Settings, "yes yes");
        }
        row("nothing yet", {}, {}, {}, "pending pending");
        row("commands vanish", Hex("01 FFF1 02 FFF9 03 FFF2 04 FFF0 05"), Hex("01 02 03 04 05"), {}, "pending pending");
        row("sub-negotiations vanish", Hex("01 FFFA2C6A00FFF0 02 FFFA2C65FFFF00FFFFFFF0 03"), Hex("01 02 03"), {},
            "pending pending");
        row("oversized sub-negotiation", Hex("01 FFFA2C") + QByteArray(3000, '\xF0') + Hex("FFF0 02"), Hex("01 02"), {},
            "pending pending");
        row("command ends a sub-negotiation without SE", Hex("01 FFFA2C06 FFFB05 02"), Hex("01 02"), Hex("FFFE05"),
            "pending pending");
        row("unsupported options refused, every request", Hex("FFFB01 FFFD18 FFFB01 FFFC03 FFFE05 FFFB2C"), {},
            Hex("FFFE01 FFFC18 FFFE01 FFFE2C"), "pending pending");
        row("acknowledgements not answered, repeats ignored", Agree + Agree, {}, Settings, "yes yes");
        row("binary refused by the server", Hex("FFFC00 FFFD00"), {}, {}, "no pending");
        row("binary refused for the client", Hex("FFFB00 FFFE00"), {}, {}, "no pending");
        row("binary withdrawn, then offered again", Hex("FFFB00 FFFD00 FFFC00 FFFB00"), {}, Hex("FFFE00 FFFD00"),
            "yes pending");
        row("com-port refused", Hex("FFFB00 FFFD00 FFFE2C"), {}, {}, "yes no");
        row("com-port dropped and taken again: settings once", Agree + Hex("FFFE2C FFFD2C"), {},
            Settings + Hex("FFFC2C FFFB2C"), "yes yes");
    }

    // The same outcome however the stream is cut in two.
    void receive()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, decoded);
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const QString got = Decode({stream.left(cut), stream.mid(cut)});
            QVERIFY2(got == decoded, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got)));
        }
    }

    // Everything sent is byte-exact: 0xFF doubled in data and in values.
    void sent()
    {
        Telnet::Client client(Telnet::Client::Mode::Telnet);
        QByteArray data;
        client.encode(Hex("FF 01 FF FF 0D 00"), data);
        QCOMPARE(data.toHex(' '), Hex("FFFF 01 FFFFFFFF 0D 00").toHex(' '));
        QCOMPARE(client.opening().toHex(' '), Hex("FFFB00 FFFD00 FFFB2C").toHex(' '));
        QCOMPARE(Telnet::ComPortSettings(0xFF00FFFF).left(13).toHex(' '), Hex("FFFA2C01 FFFF00FFFFFFFF FFF0").toHex(' '));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("parsed");  // the address again, or the reason

        QTest::newRow("raw by name") << " tcp://rack-3.lab:4001 " << "tcp://rack-3.lab:4001";
        QTest::newRow("rfc2217 by IPv4") << "RFC2217://192.0.2.3:2000" << "rfc2217://192.0.2.3:2000";
        QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:7000" << "rfc2217://[::1]:7000";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:7000" << "IPv6 address without brackets";
        QTest::newRow("device path") << "/dev/ttyUSB0" << "not a network address";
    }

    void addresses()
    {
        QFETCH(QString, entry);
        QFETCH(QString, parsed);
        QString reason;
        const std::optional<NetworkAddress> address = ParseNetworkAddress(entry, &reason);
        QCOMPARE(address ? address->toString() : reason, parsed);
        QCOMPARE(IsNetworkEntry(entry), !entry.startsWith('/'));
    }

    // Entries that name no usable line are left out of the list, each with one line on standard error, and the scan
    // goes on. Run in a network namespace of its own, made with unshare, where no name server can be reached: the name
    // lookup fails there without a query leaving the machine.
    void badEntriesAreNamed()
    {
        if (qEnvironmentVariableIsSet("QV718_OWN_NETWORK")) {
            UseProgramIdentity();
            TempSettings settings;
            settings.hideMachinePorts();
            const QStringList entries{"telnet://h:23", "tcp://h", "rfc2217://rack-3.invalid:4001", "tcp://[::1]:99999"};
            for (int i = 0; i < entries.size(); ++i)
                settings.set(QString("Ports/%1").arg(i + 3), entries[i]);
            LineService line;
            Module1::PortState ports;
            Module1::ScanComports(line, ports);
            QVERIFY(ports.AvailablePorts.isEmpty());
            return;
        }
        qputenv("QV718_OWN_NETWORK", "1");
        QProcess offline;
        offline.start("unshare", {"--net", QCoreApplication::applicationFilePath(), "badEntriesAreNamed"});
        qunsetenv("QV718_OWN_NETWORK");
        QVERIFY2(offline.waitForFinished(60000) && offline.exitStatus() == QProcess::NormalExit && offline.exitCode() == 0,
                 qPrintable("unshare --net needs root\n" + offline.readAll()));
        QCOMPARE(QString::fromLocal8Bit(offline.readAllStandardError()).split('\n').filter("[Ports]"), (QStringList{
            "[Ports] 3=telnet://h:23: unknown scheme", "[Ports] 4=tcp://h: missing port",
            "[Ports] 6=tcp://[::1]:99999: port out of range",
            "[Ports] 5=rfc2217://rack-3.invalid:4001: the name does not resolve"}));
    }

    // A closed port answers at once; a host that takes the connection request and never answers it fails at the
    // deadline.
    void openingIsBounded()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 refusing = closed.serverPort();
        closed.close();
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        const auto where = reinterpret_cast<sockaddr *>(&address);
        QVERIFY(::bind(listener, where, length) == 0 && ::listen(listener, 0) == 0);
        QVERIFY(::getsockname(listener, where, &length) == 0);
        // Connections of our own fill its queue until one is left unanswered for a second.
        std::vector<int> ours;
        for (bool waiting = false; !waiting && ours.size() < 4;) {
            ours.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(ours.back(), where, length);
            pollfd connected{ours.back(), POLLOUT, 0};
            waiting = ::poll(&connected, 1, 1000) == 0;
        }
        QVERIFY2(ours.size() < 4, "the queue does not fill");
        const int deadline = NetworkPortService::OpenDeadlineMs;
        for (const char *entry : {"tcp://127.0.0.1:%1", "rfc2217://127.0.0.1:%1", "rfc2217://[::1]:%1"}) {
            for (const quint16 port : {refusing, ntohs(address.sin_port)}) {
                NetworkPortService line;
                QElapsedTimer clock;
                clock.start();
                QVERIFY(!Open(line, entry, port));
                const qint64 took = clock.elapsed();
                const bool refused = port == refusing || QByteArray(entry).contains('[');  // the silent host is IPv4
                QVERIFY2(refused ? took < deadline / 2 : took >= deadline - 5 && took < deadline + 150,
                         qPrintable(QStringLiteral("%1: %2 ms").arg(QString(entry).arg(port)).arg(took)));
            }
        }
        for (int fd : ours)
            ::close(fd);
        ::close(listener);
    }

    // A server that sends without pause while nothing is read: the process holds a bounded part, TCP holds back the
    // rest.
    void floodStaysBounded()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        NetworkPortService line;
        QVERIFY(Open(line, "tcp://127.0.0.1:%1", server.serverPort()) && server.waitForNewConnection(5000));
        const QByteArray flood(1 << 20, 'x');
        const auto fd = int(server.nextPendingConnection()->socketDescriptor());  // does not block
        for (int i = 0; i < 16 && ::write(fd, flood.constData(), std::size_t(flood.size())) > 0; ++i)
            QTest::qWait(20);  // nothing read meanwhile, by design
        QByteArray block;
        QVERIFY(line.readInput(block));
        QVERIFY2(block.size() > 0 && block.size() <= NetworkPortService::ReadBufferSize, qPrintable(QString::number(block.size())));
    }
};

QTEST_GUILESS_MAIN(NetworkLineTest)
#include "tst_networkline.moc"
