// Serial lines over the network: the Telnet layer byte-exact however the
// stream is cut, the port entries, and the line itself on loopback sockets
// against device servers played by the test.

#include "frames.h"
#include "testenv.h"

#include "device/lineservice.h"
#include "device/networkaddress.h"
#include "device/networkportservice.h"
#include "device/portselection.h"
#include "device/telnet.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <future>

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

// Decodes `stream` cut into the given pieces: the data, the answers, and
// whether BINARY and COM-PORT-OPTION hold, in one line.
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

// What the line yields until `size` bytes have come or it fails.
QByteArray Take(PortService &line, qsizetype size)
{
    QByteArray taken, block;
    (void)QTest::qWaitFor([&] { return !line.readInput(block) || (taken += block).size() >= size; });
    return taken;
}

// A device server on 127.0.0.1 for one connection, in a thread of its own
// since open() waits without running the event loop. It sends `greeting` at
// once, `answer` when `expected` bytes have come, then waits for the client
// to hang up.
class Peer
{
public:
    Peer(QByteArray greeting, qsizetype expected, QByteArray answer)
    {
        std::future<quint16> listening = m_listening.get_future();
        m_thread.reset(QThread::create([=] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost);
            m_listening.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            QTcpSocket *client = server.nextPendingConnection();
            client->write(greeting);
            while (m_heard.size() < expected && (client->bytesAvailable() > 0 || client->waitForReadyRead(5000)))
                m_heard += client->readAll();
            client->write(answer);
            client->waitForBytesWritten(5000);
            client->waitForDisconnected(5000);
        }));
        m_thread->start();
        port = listening.get();
    }
    ~Peer() { m_thread->wait(); }

    // Everything the client sent, once the connection has ended.
    QByteArray heard()
    {
        m_thread->wait();
        return m_heard;
    }

    quint16 port = 0;

private:
    std::promise<quint16> m_listening;
    std::unique_ptr<QThread> m_thread;
    QByteArray m_heard;
};

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
        // IAC IAC at every position of a report, and carriage return (hour
        // 13) with NUL after it, which binary mode leaves alone.
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
        QTest::newRow("unknown scheme") << "telnet://h:23" << "unknown scheme";
        QTest::newRow("no port") << "tcp://h" << "missing port";
        QTest::newRow("port out of range") << "tcp://h:99999999999999999999" << "port out of range";
        QTest::newRow("empty host") << "tcp://:7000" << "empty host";
        QTest::newRow("path after the port") << "tcp://h:7000/x" << "junk after the port";
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

    // Entries that name no usable line are left out of the list, each with one line on standard error, and the
    // scan goes on. Run in a network namespace of its own, made with unshare, where no name server can be reached:
    // the name lookup fails there without a query leaving the machine.
    void badEntriesAreNamed()
    {
        if (qEnvironmentVariableIsEmpty("QV718_OWN_NETWORK")) {
            QProcess offline;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("QV718_OWN_NETWORK", "1");
            offline.setProcessEnvironment(environment);
            offline.setProcessChannelMode(QProcess::ForwardedChannels);
            offline.start("unshare", {"--net", QCoreApplication::applicationFilePath(), "badEntriesAreNamed"});
            QVERIFY(offline.waitForFinished(60000));
            QVERIFY2(offline.exitStatus() == QProcess::NormalExit && offline.exitCode() == 0,
                     "unshare --net needs root; the test in the namespace failed");
            return;
        }
        UseProgramIdentity();
        TempSettings settings;
        settings.hideMachinePorts();
        const QStringList entries{"telnet://h:23", "tcp://h", "rfc2217://rack-3.invalid:4001", "tcp://[::1]:99999"};
        for (int i = 0; i < entries.size(); ++i)
            settings.set(QString("Ports/%1").arg(i + 3), entries[i]);
        QTemporaryFile errors;
        QVERIFY(errors.open());
        const int saved = ::dup(2);
        ::dup2(errors.handle(), 2);
        LineService line;
        Module1::PortState ports;
        Module1::ScanComports(line, ports);
        ::dup2(saved, 2);
        ::close(saved);
        QVERIFY(errors.seek(0));  // the descriptor's offset, shared with the duplicate, is at the end
        QCOMPARE(QString::fromLocal8Bit(errors.readAll()).split('\n', Qt::SkipEmptyParts), (QStringList{
            "[Ports] 3=telnet://h:23: unknown scheme", "[Ports] 4=tcp://h: missing port",
            "[Ports] 6=tcp://[::1]:99999: port out of range",
            "[Ports] 5=rfc2217://rack-3.invalid:4001: the name does not resolve"}));
        QVERIFY(ports.AvailablePorts.isEmpty());
    }

    void refusedPortFailsAtOnce()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        for (const char *entry : {"tcp://127.0.0.1:%1", "rfc2217://[::1]:%1", "rfc2217://localhost:%1"}) {
            NetworkPortService line;
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!Open(line, entry, port));
            QVERIFY2(clock.elapsed() < NetworkPortService::OpenDeadlineMs / 2, entry);
        }
    }

    // A host that takes the connection request and never answers it.
    void silentHostFailsAtTheDeadline()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        const auto where = reinterpret_cast<sockaddr *>(&address);
        QVERIFY(::bind(listener, where, length) == 0 && ::listen(listener, 0) == 0);
        QVERIFY(::getsockname(listener, where, &length) == 0);
        // Connections of our own fill its queue until one is left unanswered
        // for a second.
        std::vector<int> ours;
        for (bool waiting = false; !waiting && ours.size() < 4;) {
            ours.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(ours.back(), where, length);
            pollfd connected{ours.back(), POLLOUT, 0};
            waiting = ::poll(&connected, 1, 1000) == 0;
        }
        QVERIFY2(ours.size() < 4, "the queue does not fill");

        for (const char *entry : {"tcp://127.0.0.1:%1", "rfc2217://localhost:%1"}) {
            NetworkPortService line;
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!Open(line, entry, ntohs(address.sin_port)));
            const qint64 took = clock.elapsed();
            QVERIFY2(took >= NetworkPortService::OpenDeadlineMs - 5 && took < NetworkPortService::OpenDeadlineMs + 150,
                     qPrintable(QStringLiteral("%1: %2 ms").arg(entry).arg(took)));
        }
        for (int fd : ours)
            ::close(fd);
        ::close(listener);
    }

    // A Telnet server that agrees to both options and asks for one more:
    // the unit's bytes, 0xFF and CR among them, cross unchanged, and the
    // wire carries exactly the negotiation and the escaped bytes.
    void rfc2217CarriesTheUnitsBytes()
    {
        const QByteArray data = Hex("FF 01 17 0D 00 0D 0A FE FF FF"), escaped = Hex("FFFF 01 17 0D 00 0D 0A FE FFFFFFFF");
        const QByteArray sent = Hex("FFFB00 FFFD00 FFFB2C") + Telnet::ComPortSettings() + Hex("FFFE01") + escaped;
        Peer peer(Hex("FFFD2C FFFB01 FFFB00 FFFD00"), sent.size(), Hex("FFF1") + escaped);
        NetworkPortService line;
        QVERIFY(Open(line, "rfc2217://127.0.0.1:%1", peer.port));
        QVERIFY(line.write(data));
        QCOMPARE(Take(line, data.size()).toHex(' '), data.toHex(' '));
        line.close();
        QCOMPARE(peer.heard().toHex(' '), sent.toHex(' '));
    }

    // A server that sends without pause while nothing is read: the process
    // holds a bounded part, TCP holds back the rest.
    void floodStaysBounded()
    {
        Peer peer({}, 0, QByteArray(16 << 20, 'x'));
        NetworkPortService line;
        QVERIFY(Open(line, "tcp://127.0.0.1:%1", peer.port));
        QTest::qWait(300);  // nothing read meanwhile, by design
        QByteArray block;
        QVERIFY(line.readInput(block));
        QVERIFY2(block.size() > 0 && block.size() <= NetworkPortService::ReadBufferSize, qPrintable(QString::number(block.size())));
    }
};

QTEST_GUILESS_MAIN(NetworkLineTest)
#include "tst_networkline.moc"
