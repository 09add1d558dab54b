// Serial lines over the network: the Telnet layer byte-exact however the stream is cut, the port entries, and the line
// itself on loopback sockets, against servers that misbehave on purpose and a name server of the test's own. The line
// against the real ser2net is in tst_realline.

#include "frames.h"
#include "playedserver.h"
#include "pseudoterminal.h"
#include "testenv.h"

#include "device/lines/hostlookup.h"
#include "device/ports/portline.h"
#include "device/lines/networkaddress.h"
#include "device/lines/networkline.h"
#include "device/ports/portselection.h"
#include "device/lines/telnet.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>

#include <cstring>
#include <thread>

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // in its run-time library
#endif

namespace {

// Agreement on both options; the settings follow the server's DO.
const QByteArray Agree = hex("FFFB00 FFFD00 FFFD2C");
const QByteArray Settings = hex("FFFA2C0100002580FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0401FFF0 FFFA2C0501FFF0"
                                "FFFA2C050EFFF0 FFFA2C0A00FFF0 FFFA2C0B00FFF0");

QString shown(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

// Decodes `stream` cut into pieces: the data, the answers, and whether BINARY and COM-PORT-OPTION hold.
QString decode(const QList<QByteArray> &pieces)
{
    Telnet::Client client(Telnet::Client::Mode::Telnet);
    QByteArray data, reply;
    for (const QByteArray &piece : pieces)
        client.receive(piece, data, reply);
    const auto state = [](bool yes, bool no) { return yes ? "yes" : no ? "no" : "pending"; };
    return QStringLiteral("data [%1] reply [%2] %3 %4")
        .arg(shown(data), shown(reply), state(client.binaryAgreed(), client.binaryRefused()),
             state(client.comPortAccepted(), client.comPortRefused()));
}

bool openLine(NetworkLine &line, const char *entry, quint16 port)
{
    line.setAddress(*parseNetworkAddress(QString::fromLatin1(entry).arg(port)));
    return line.open();
}

// What the process holds, in kB: its resident size. AddressSanitizer keeps freed memory aside for a while (its
// quarantine), which the resident size counts: under it, the heap in use instead.
qint64 residentKb()
{
#ifdef __SANITIZE_ADDRESS__
    return qint64(__sanitizer_get_current_allocated_bytes() / 1024);
#endif
    QFile statm("/proc/self/statm");  // sizes in pages, the resident size second
    return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024 : 0;
}

// A name server on 127.0.0.1 of a network of the test's own: "rack.test" is ::1 and 127.0.0.1; "slow.test" is never
// answered; every other name does not exist.
void serveNames(int fd)
{
    char query[512];
    sockaddr_storage from{};
    ssize_t n = 0;
    for (socklen_t length = sizeof from; (n = ::recvfrom(fd, query, sizeof query, 0, reinterpret_cast<sockaddr *>(&from), &length)) >= 0;
         length = sizeof from) {
        const QByteArray question = QByteArray(query + 12, int(std::max<ssize_t>(n - 12, 0)));
        const qsizetype end = question.indexOf('\0') + 5;  // the name, its type and class
        if (n <= 12 || end < 5 || end > question.size() || question.startsWith("\x04slow"))
            continue;
        const bool rack = question.startsWith("\x04rack\x04test"), aaaa = question[end - 3] == 28;
        QByteArray answer = QByteArray(query, 2) + hex(rack ? "8180 0001 0001" : "8183 0001 0000") + hex("0000 0000")
            + question.left(end);
        if (rack)
            answer += hex(aaaa ? "C00C 001C 0001 0000003C 0010 00000000000000000000000000000001"
                               : "C00C 0001 0001 0000003C 0004 7F000001");
        ::sendto(fd, answer.constData(), std::size_t(answer.size()), 0, reinterpret_cast<sockaddr *>(&from), length);
    }
}

} // namespace

Q_DECLARE_METATYPE(PlayedServer::End)

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
            QTest::newRow(name) << stream << QStringLiteral("data [%1] reply [%2] %3").arg(shown(data), shown(reply), options);
        };
        // IAC IAC at every position of a report, and carriage return (hour 13) with NUL after it, which binary mode
        // leaves alone.
        const QByteArray report = hex("01 17 0D 00 0D 0A FE");
        for (int at = 0; at <= report.size(); ++at) {
            QByteArray data = report, stream = Agree;
            data.insert(at, '\xFF');
            Telnet::appendEscaped(data, stream);
            row(qPrintable(QStringLiteral("0xFF at %1").arg(at)), stream, data, Settings, "yes yes");
        }
        row("commands vanish", hex("01 FFF1 02 FFF9 03 FFF2 04 FFF0 05"), hex("01 02 03 04 05"), {}, "pending pending");
        row("sub-negotiations vanish", hex("01 FFFA2C6A00FFF0 02 FFFA2C65FFFF00FFFFFFF0 03"), hex("01 02 03"), {},
            "pending pending");
        row("unsupported options refused, every request", hex("FFFB01 FFFD18 FFFB01 FFFC03 FFFE05 FFFB2C"), {},
            hex("FFFE01 FFFC18 FFFE01 FFFE2C"), "pending pending");
        row("acknowledgements not answered, repeats ignored", Agree + Agree, {}, Settings, "yes yes");
        row("binary refused by the server", hex("FFFC00 FFFD00"), {}, {}, "no pending");
        row("binary withdrawn, then offered again", hex("FFFB00 FFFD00 FFFC00 FFFB00"), {}, hex("FFFE00 FFFD00"),
            "yes pending");
        row("com-port refused", hex("FFFB00 FFFD00 FFFE2C"), {}, {}, "yes no");
        row("com-port dropped and taken again: settings once", Agree + hex("FFFE2C FFFD2C"), {},
            Settings + hex("FFFC2C FFFB2C"), "yes yes");
    }

    // The same outcome however the stream is cut in two.
    void receive()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, decoded);
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const QString got = decode({stream.left(cut), stream.mid(cut)});
            QVERIFY2(got == decoded, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got)));
        }
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
        QTest::newRow("unknown scheme") << "a://x:1" << "unknown scheme";
        QTest::newRow("not a scheme") << "serial_1://x:1" << "not a network address";
        for (const char *name : {"a..b", "-foo", "foo-", ".rack"})
            QTest::newRow(name) << QString("tcp://%1:7000").arg(name) << "not a valid host name";
        QTest::newRow("absolute name") << "tcp://rack_3.lab.:7000" << "tcp://rack_3.lab.:7000";
    }

    void addresses()
    {
        QFETCH(QString, entry);
        QFETCH(QString, parsed);
        QString reason;
        const std::optional<NetworkAddress> address = parseNetworkAddress(entry, &reason);
        QCOMPARE(address ? address->toString() : reason, parsed);
        QCOMPARE(isNetworkEntry(entry), parsed != "not a network address");
    }

    // The scan tries every entry and every address of a name at once: an entry that answers in time is listed, however
    // slow the names before it; one that names no usable line is left out, with a line on the log. Run in a network and
    // mount namespace of its own (unshare), whose only name server is the test's.
    void scanTriesEverythingAtOnce()
    {
        if (inOwnNamespace()) {
            ifreq lo{};
            std::strcpy(lo.ifr_name, "lo");
            lo.ifr_flags = IFF_UP;
            const int dns = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in at{AF_INET, htons(53), {htonl(INADDR_LOOPBACK)}, {}};
            QVERIFY(::ioctl(dns, SIOCSIFFLAGS, &lo) == 0 && ::bind(dns, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0);
            std::thread(serveNames, dns).detach();
            QTemporaryFile resolver;
            QVERIFY(resolver.open() && resolver.write("nameserver 127.0.0.1\n") > 0 && resolver.flush());
            if (QFile::exists("/etc/resolv.conf"))  // without one, 127.0.0.1 is asked anyway
                QVERIFY(::mount(qPrintable(resolver.fileName()), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0);
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost));
            // "rack.test": its first address, as the resolver sorts them, drops every packet (a listener whose queue is
            // full), its second answers. The scan lists it, and one opening of the line reaches it.
            const HostLookup rack("rack.test");
            QVERIFY(rack.wait(QDeadlineTimer(5000)) && rack.addresses().size() == 2);
            QTcpServer second;
            QVERIFY(second.listen(rack.addresses()[1]));
            sockaddr_storage first = rack.socketAddresses()[0];
            reinterpret_cast<sockaddr_in *>(&first)->sin_port = htons(second.serverPort());  // the same place in both
            const socklen_t length = first.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            const int full = ::socket(first.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0), queued = ::socket(first.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const auto closeBoth = qScopeGuard([&] { ::close(full), ::close(queued); });
            pollfd waiting{full, POLLIN, 0};
            QVERIFY(::bind(full, reinterpret_cast<sockaddr *>(&first), length) == 0 && ::listen(full, 0) == 0
                    && ::connect(queued, reinterpret_cast<sockaddr *>(&first), length) == 0 && ::poll(&waiting, 1, 5000) == 1);
            NetworkLine network;
            QVERIFY(openLine(network, "tcp://rack.test:%1", second.serverPort()));
            network.close();
            // A line that does not open says why.
            for (const auto &[entry, failure] : {std::pair{"tcp://nx.test:%1", LineFailure::NoSuchName}, {"tcp://127.0.0.1:%1", LineFailure::Refused}}) {
                QVERIFY(!openLine(network, entry, freePort()));
                QCOMPARE(network.failure(), failure);
            }
            Program::setIdentity();
            TempSettings settings;
            settings.hideMachinePorts();
            // Of local entries only real serial lines are listed, and nothing in the way (a pipe) blocks the scan.
            Pty pty;
            QTemporaryDir dir;
            QCOMPARE(::mkfifo(dir.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
            const std::pair<QString, const char *> entries[] = {{"tcp://slow.test:%1", "no answer from the name server in time"},
                {QString("rfc2217://rack.test:%1").arg(second.serverPort()), ""}, {"tcp://127.0.0.1:%1", ""}, {"telnet://h:23", "unknown scheme"},
                {"tcp://h", "missing port"}, {"tcp://nx.test:%1", "the name does not resolve"},
                {"tcp://[::1]:99999", "port out of range"}, {"tcp://-h:%1", "not a valid host name"}, {dir.path(), ""},
                {"/dev/null", ""}, {dir.filePath("fifo"), ""}, {dir.filePath("missing"), ""}, {pty.slavePath(), ""}};
            for (int port = 2; port < 15; ++port) {
                const auto &[entry, reason] = entries[port - 2];
                settings.set(QString("Ports/%1").arg(port), QString(entry).replace("%1", QString::number(server.serverPort())));
                if (*reason)
                    QTest::ignoreMessage(QtWarningMsg, qPrintable(QString("[Ports] %1=%2: %3").arg(port).arg(settings.value(QString("Ports/%1").arg(port)).toString(), reason)));
            }
            PortLine line;
            Ports::PortState ports;
            Ports::ScanComports(line, ports);
            QVERIFY(!line.isOpen());
            QCOMPARE(ports.AvailablePorts, (QList<qint16>{3, 4, 14}));
            line.setPortNumber(6);  // picked, or named for the run: the entry named again
            QTest::ignoreMessage(QtWarningMsg, "tcp://h: missing port");
            QVERIFY(!line.open());
            return;
        }
        QByteArray output;
        QVERIFY2(passesInOwnNamespace({"--net", "--mount"}, "scanTriesEverythingAtOnce", output), output.constData());
    }

    // Servers that end the connection while it is opened, or after, flood it, or lose its stream in a sub-negotiation
    // without end: the line opens only with binary mode agreed and the connection standing, else reports its failure,
    // and the log names the server and what it did; nothing reads a closed connection. One that leaves
    // COM-PORT-OPTION unanswered is used as it is, with a line on the log. Memory stays bounded throughout.
    void hostileServers_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<PlayedServer::End>("end");
        QTest::addColumn<QString>("expected");  // the line "stays" open, "fails" when opened or after, is "refused" at once
        QTest::addColumn<QString>("said");      // on the log after the server's address, as a pattern
        const QByteArray agreed = hex("FFFB00 FFFD00 FFFD2C"), reports = hex("FFFF 01 17 09 05 09 FE").repeated(160);
        const auto row = [](const char *name, const QByteArray &script, PlayedServer::End end, const char *expected, const char *said = "") {
            QTest::newRow(name) << script << end << expected << said;
        };
        const char *flood = "more than 64 KiB within a second, far more than a unit sends at 9600 bit/s";
        row("agreed, then closed", agreed + "\r\nDevice open failure\r\n", PlayedServer::End::Close, "fails");
        row("agreed, then reset", agreed, PlayedServer::End::Reset, "fails");
        row("binary agreed, then closed", hex("FFFB00 FFFD00"), PlayedServer::End::Close, "fails");
        row("binary refused", hex("FFFC00 FFFD00 FFFD2C"), PlayedServer::End::Hold, "refused");
        row("com-port unanswered", hex("FFFB00 FFFD00"), PlayedServer::End::Hold, "stays",
            "the server does not set its serial port; using it at its own settings");
        row("negotiation flood", agreed + hex("FFFB01").repeated(4000), PlayedServer::End::Flood, "fails",
            "(the server asks for more answers than it takes in|more than 64 KiB within a second.*)");
        row("data flood", agreed + QByteArray(1 << 16, 'x'), PlayedServer::End::Flood, "fails", flood);
        row("sub-negotiation without end, reports in it", agreed + hex("FFFA2C 0A 00") + reports, PlayedServer::End::Hold,
            "fails", "a Telnet sub-negotiation longer than 1 KiB");
        row("sub-negotiation not ended in time", agreed + hex("FFFA2C 0A 00") + reports.left(70), PlayedServer::End::Hold,
            "fails", "a Telnet sub-negotiation not ended within 1 s");
    }
    void hostileServers()
    {
        QFETCH(QByteArray, script);
        QFETCH(PlayedServer::End, end);
        QFETCH(QString, expected);
        QFETCH(QString, said);
        PlayedServer server(script, end);
        QTest::failOnWarning(QRegularExpression("not open"));
        if (!said.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString("^rfc2217://127.0.0.1:%1: %2$").arg(server.port()).arg(said)));
        const qint64 resident = residentKb();
        NetworkLine line;
        const bool opened = openLine(line, "rfc2217://127.0.0.1:%1", server.port());
        QByteArray block;
        if (expected == "stays") {
            QTRY_VERIFY(server.scriptsSent() > 0);  // nothing read meanwhile, by design
            QVERIFY(opened && line.readInput(block) && block.size() <= 2 * NetworkLine::ReadBufferSize);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!opened || !line.readInput(block), 15000);
            QVERIFY(expected == "fails" || !opened);
        }
        QVERIFY2(residentKb() - resident < 10240, qPrintable(QString("%1 kB more").arg(residentKb() - resident)));
    }
};

QTEST_GUILESS_MAIN(NetworkLineTest)
#include "tst_networkline.moc"
