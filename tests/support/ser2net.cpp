#include "ser2net.h"

#include "testenv.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>

namespace {

bool listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool up = socket.waitForConnected(200);
    socket.abort();
    return up;
}

} // namespace

Ser2net::Ser2net(const QString &device, const QString &lineSettings)
    : m_device(device)
    , m_lineSettings(lineSettings)
    , m_rawPort(freePort())
    , m_rfc2217Port(freePort())
{
    while (m_rfc2217Port == m_rawPort)
        m_rfc2217Port = freePort();
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_log += QString::fromLocal8Bit(m_process.readAll()); });
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Ser2net::~Ser2net()
{
    stop();
}

bool Ser2net::start()
{
    {
        QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
        QString text = QStringLiteral("%YAML 1.1\n---\n");
        for (const auto &[accepter, port] : {std::pair{"tcp", m_rawPort}, std::pair{"telnet(rfc2217),tcp", m_rfc2217Port}})
            text += QStringLiteral("connection: &c%1\n  accepter: %2,127.0.0.1,%1\n  connector: serialdev,%3,%4\n"
                                   "  options:\n    kickolduser: true\n    chardelay: false\n")
                        .arg(port)
                        .arg(accepter, m_device, m_lineSettings);
        if (!config.open(QIODevice::WriteOnly) || config.write(text.toUtf8()) < 0)
            return false;
    }
    // In the foreground, without lock files; its own configuration only.
    m_process.start("ser2net", {"-n", "-u", "-c", m_dir.filePath("ser2net.yaml"), "-P", m_dir.filePath("ser2net.pid")});
    if (!m_process.waitForStarted())
        return false;
    // It listens once it has read its configuration.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && isRunning()) {
        if (listening(m_rawPort) && listening(m_rfc2217Port))
            return true;
        m_process.waitForReadyRead(50);
    }
    return false;
}

void Ser2net::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished();
}
