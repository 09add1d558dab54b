#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The real ser2net from Debian on 127.0.0.1 in front of a serial device: a raw and a telnet(rfc2217) accepter, with
// kickolduser and no character delay. Its device is at `lineSettings`: by default 19200 8N2 RTS/CTS, which only an
// RFC 2217 client can make 9600 8N1 without flow control.
class Ser2net
{
public:
    explicit Ser2net(const QString &device, const QString &lineSettings = QStringLiteral("19200n82,rtscts,local"));
    ~Ser2net();

    // Started and listening on both ports.
    bool start();
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString rawUrl() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_rawPort); }
    QString rfc2217Url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfc2217Port); }
    QString log() const { return m_log; }

private:
    QTemporaryDir m_dir;
    QString m_device;
    QString m_lineSettings;
    quint16 m_rawPort = 0;
    quint16 m_rfc2217Port = 0;
    QProcess m_process;
    QString m_log;
};
