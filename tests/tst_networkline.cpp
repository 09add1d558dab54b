// The network line on loopback sockets, against device servers played by
// the test.

#include "frames.h"

#include "device/networkportservice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <future>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray Every()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

NetworkAddress Address(const char *entry, quint16 port)
{
    return *ParseNetworkAddress(QString::fromLatin1(entry).arg(port));
}

// What the line yields until `size` bytes have come or it fails.
QByteArray Take(PortService &line, qsizetype size)
{
    QByteArray taken, block;
    (void)QTest::qWaitFor([&] { return !line.readInput(block) || (taken += block).size() >= size; });
    return taken;
}

// A device server on 127.0.0.1 for one connection. It runs in a thread of
// its own, as open() waits without running the event loop. Once `trigger`
// bytes have come it sends `greeting`; once `expected` bytes in all have
// come it sends `answer`; then it hangs up, or waits for the client to.
class Peer
{
public:
    Peer(qsizetype trigger, QByteArray greeting, qsizetype expected, QByteArray answer, bool hangUp = false)
    {
        std::future<quint16> port = m_listening.get_future();
        m_thread.reset(QThread::create([=] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost);
            m_listening.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            QTcpSocket *client = server.nextPendingConnection();
            const auto hear = [&](qsizetype size) {
                while (m_heard.size() < size && (client->bytesAvailable() > 0 || client->waitForReadyRead(5000)))
                    m_heard += client->readAll();
            };
            hear(trigger);
            client->write(greeting);
            hear(expected);
            client->write(answer);
            client->waitForBytesWritten(5000);
            if (hangUp)
                client->disconnectFromHost();
            else
                client->waitForDisconnected(5000);
        }));
        m_thread->start();
        this->port = port.get();
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
    void refusedPortFailsAtOnce()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        for (const char *entry : {"tcp://127.0.0.1:%1", "rfc2217://[::1]:%1", "rfc2217://localhost:%1"}) {
            NetworkPortService line;
            line.setAddress(Address(entry, port));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!line.open());
            QVERIFY2(clock.elapsed() < NetworkPortService::OpenDeadlineMs / 2, entry);
        }
    }

    // The host takes the connection request and never answers it: open()
    // gives up at its deadline.
    void silentHostFailsAtTheDeadline()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(listener, 0) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        // Connections of our own fill the queue until one is left waiting,
        // still unanswered after a second.
        std::vector<int> ours;
        for (bool waiting = false; !waiting && ours.size() < 4;) {
            ours.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(ours.back(), reinterpret_cast<sockaddr *>(&address), length);
            pollfd connected{ours.back(), POLLOUT, 0};
            waiting = ::poll(&connected, 1, 1000) == 0;
        }
        QVERIFY2(ours.size() < 4, "the queue does not fill");

        for (const char *entry : {"tcp://127.0.0.1:%1", "rfc2217://localhost:%1"}) {
            NetworkPortService line;
            line.setAddress(Address(entry, ntohs(address.sin_port)));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!line.open());
            const qint64 took = clock.elapsed();
            QVERIFY2(took >= NetworkPortService::OpenDeadlineMs - 5 && took < NetworkPortService::OpenDeadlineMs + 150,
                     qPrintable(QStringLiteral("%1: %2 ms").arg(entry).arg(took)));
        }
        for (int fd : ours)
            ::close(fd);
        ::close(listener);
    }

    void rawCarriesEveryByteValue()
    {
        Peer peer(0, {}, 256, Every());
        NetworkPortService line;
        line.setAddress(Address("tcp://127.0.0.1:%1", peer.port));
        QVERIFY(line.open());
        QSignalSpy received(&line, &PortService::received);
        QVERIFY(line.write(Every()));
        QCOMPARE(Take(line, 256), Every());
        QVERIFY(received.count() >= 1);
        line.close();
        QCOMPARE(peer.heard(), Every());
    }

    // A Telnet server that agrees to both options and asks for one more.
    // The unit's bytes, 0xFF and CR among them, cross unchanged both ways;
    // everything on the wire is byte-exact.
    void rfc2217CarriesTheUnitsBytes()
    {
        const QByteArray data = Hex("FF 01 17 0D 00 0D 0A FE FF FF");
        const QByteArray escaped = Hex("FFFF 01 17 0D 00 0D 0A FE FFFFFFFF");
        const QByteArray opening = Hex("FFFB00 FFFD00 FFFB2C");
        const QByteArray answers = Telnet::ComPortSettings() + Hex("FFFE01");
        Peer peer(opening.size(), Hex("FFFD2C FFFB01 FFFB00 FFFD00"), opening.size() + answers.size() + escaped.size(),
                  Hex("FFF1") + escaped);
        NetworkPortService line;
        line.setAddress(Address("rfc2217://127.0.0.1:%1", peer.port));
        QVERIFY(line.open());
        QVERIFY(line.write(data));
        QCOMPARE(Take(line, data.size()).toHex(' '), data.toHex(' '));
        line.close();
        QCOMPARE(peer.heard().toHex(' '), (opening + answers + escaped).toHex(' '));
    }

    // The server closes the connection (ser2net does so when another client
    // takes the line): one notification, then a failing read until closed.
    void hangUpIsOneFailure()
    {
        Peer peer(0, {}, 0, {}, true);
        NetworkPortService line;
        line.setAddress(Address("tcp://127.0.0.1:%1", peer.port));
        QVERIFY(line.open());
        QSignalSpy received(&line, &PortService::received);
        QVERIFY(received.wait());
        QByteArray block;
        QVERIFY(!line.readInput(block));
        QVERIFY(!received.wait(200));  // proving silence takes time by nature
        QVERIFY(!line.readInput(block) && line.isOpen());
        line.close();
        QVERIFY(!line.isOpen() && line.readInput(block));
    }

    // A server that sends without pause while nothing is read: the process
    // holds a bounded part, TCP holds back the rest.
    void floodStaysBounded()
    {
        Peer peer(0, {}, 0, QByteArray(16 << 20, 'x'));
        NetworkPortService line;
        line.setAddress(Address("tcp://127.0.0.1:%1", peer.port));
        QVERIFY(line.open());
        QTest::qWait(300);  // nothing read meanwhile, by design
        QByteArray block;
        QVERIFY(line.readInput(block));
        QVERIFY2(block.size() > 0 && block.size() <= NetworkPortService::ReadBufferSize, qPrintable(QString::number(block.size())));
    }
};

QTEST_GUILESS_MAIN(NetworkLineTest)
#include "tst_networkline.moc"
