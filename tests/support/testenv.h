#pragma once

#include "device/common/program.h"
#include "device/ports/portdevices.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

// Settings in a folder of the test's own, so no test reads or changes the real home folder. Applies to QSettings
// objects made afterwards.
class TempSettings
{
public:
    // base: where the folder goes; the system's default if empty.
    explicit TempSettings(const QString &base = QString())
        : m_dir((base.isEmpty() ? QDir::tempPath() : base) + QStringLiteral("/qv718-XXXXXX"))
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    void set(const QString &key, const QVariant &value) { QSettings().setValue(key, value); }
    QVariant value(const QString &key) const { return QSettings().value(key); }

    // Points every port at a path that does not exist, so the machine's own serial devices stay out of the test.
    void hideMachinePorts()
    {
        for (int port = Ports::FirstPort; port <= Ports::LastPort; ++port)
            set(QStringLiteral("Ports/%1").arg(port), QStringLiteral("/nonexistent/qv718-port%1").arg(port));
    }

private:
    QTemporaryDir m_dir;
};

// A port of 127.0.0.1 that nobody listens on now. The ports of Debian's own ser2net configuration (2000, 2001, 3000,
// 3001) are never chosen.
inline quint16 freePort()
{
    for (;;) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost) || !QList<quint16>{2000, 2001, 3000, 3001}.contains(probe.serverPort()))
            return probe.serverPort();
    }
}

// An HTTP/1.0 request to 127.0.0.1, with `patienceMs` to connect and for each part of the answer: the status line's
// code and the body.
inline std::pair<int, QByteArray> request(quint16 port, const QByteArray &method, const QByteArray &path, int patienceMs = 2000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(patienceMs) || socket.write(method + ' ' + path + " HTTP/1.0\r\n\r\n") < 0)
        return {0, {}};
    while (socket.waitForReadyRead(patienceMs)) {
    }
    const QByteArray reply = socket.readAll();
    return {reply.split(' ').value(1).toInt(), reply.mid(reply.indexOf("\r\n\r\n") + 4)};
}

// A program the test runs for as long as the object lives, stopped by SIGTERM at the end. In a UTF-8 locale, so that
// Qt adds no warning of its own to what the program says where the machine has no locale.
struct Running : QProcess
{
    Running(const QString &program, const QStringList &arguments,
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
    {
        environment.insert("LC_ALL", "C.UTF-8");
        setProcessEnvironment(environment);
        start(program, arguments);
    }
    ~Running() override
    {
        terminate();
        waitForFinished(30000);
    }
};

// Runs the test function `function` again under `unshare` with `options` (namespaces of its own, which need root), in a
// process of its own that knows itself by inOwnNamespace(). Whether it passed, and what it printed.
inline bool inOwnNamespace() { return qEnvironmentVariableIsSet("QV718_OWN_NAMESPACE"); }
inline bool passesInOwnNamespace(const QStringList &options, const char *function, QByteArray &output)
{
    qputenv("QV718_OWN_NAMESPACE", "1");
    QProcess own;
    own.setProcessChannelMode(QProcess::MergedChannels);
    own.start("unshare", options + QStringList{QCoreApplication::applicationFilePath(), function});
    qunsetenv("QV718_OWN_NAMESPACE");
    const bool passed = own.waitForFinished(240000) && own.exitStatus() == QProcess::NormalExit && own.exitCode() == 0;
    output = "unshare " + options.join(' ').toUtf8() + " needs root\n" + own.readAll();
    return passed;
}
