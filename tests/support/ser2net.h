#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The real ser2net from Debian, on loopback, in front of a serial device (here a simulated unit's pseudo-terminal): a
// raw accepter and a telnet(rfc2217) accepter on free ports of 127.0.0.1, both with kickolduser and no character
// delay. By default its device is set to 19200 bit/s, 2 stop bits and RTS/CTS, so that only an RFC 2217 client can make
// it 9600 8N1 without flow control; `lineSettings` sets the connector's options after the device path instead, such as
// "9600n81,local" for a device already at the unit's settings.
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
