// qv718-monitor as a process of its own: what it refuses, and what the panel refuses on its command line; its metrics as Debian's Prometheus scrapes them from simulated
// units, and scrapes among slow clients and bursts; its watchdog; its events, and the panel's commands, in a systemd-journald of the test's own.

#include "frames.h"
#include "panel.h"
#include "pseudoterminal.h"
#include "ser2net.h"
#include "simulatedunit.h"

#include "events/journal.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>

#include <csignal>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

constexpr int Patience = 20000;

// The series /metrics on 127.0.0.1:`port` shows, by name and labels: the units report on meanwhile.
QStringList seriesAt(quint16 port)
{
    return QString(request(port, "GET", "/metrics").second).split('\n').filter("qv718_").replaceInStrings(QRegularExpression(" [^ ]*$"), "");
}

// A systemd-journald of the test's own, in the mount namespace it runs in, over a tmpfs on /run: nothing of the
// machine's own journal is touched. False if it could not be started.
bool startOwnJournal(std::unique_ptr<Running> &journald)
{
    for (const char *folder : {"/run", "/var/log/journal"})
        if (QDir(folder).exists() && ::mount("tmpfs", folder, "tmpfs", 0, nullptr) != 0)
            return false;
    if (!QDir("/sys/fs/cgroup").exists()  // a chroot without /sys: journald needs the control groups
        && (::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0 || ::mount("cgroup2", "/sys/fs/cgroup", "cgroup2", 0, nullptr) != 0))
        return false;
    journald = std::make_unique<Running>(QFile::exists("/lib/systemd/systemd-journald") ? "/lib/systemd/systemd-journald" : "/usr/lib/systemd/systemd-journald", QStringList{});
    return QTest::qWaitFor([] { return QFile::exists("/run/systemd/journal/socket"); }, Patience);
}

// The rest of the test function runs again in a mount namespace of its own (unshare), with a journald of its own that
// lives as long as the function; the outer run checks what that run gave.
#define IN_OWN_JOURNAL(journald)                                                                                        \
    std::unique_ptr<Running> journald;                                                                                  \
    if (QByteArray output; !inOwnNamespace()) {                                                                         \
        QVERIFY2(passesInOwnNamespace({"--mount"}, QTest::currentTestFunction(), output), output.constData());           \
        return;                                                                                                         \
    }                                                                                                                   \
    QVERIFY(startOwnJournal(journald))

// The entries of `program` in that journal, in order, each as its fields QV718_EVENT|PRIORITY|QV718_UNIT|MESSAGE_ID's
// first four digits|MESSAGE|QV718_FRAME, QV718_SUPPRESSED and QV718_SUPPRESSED_EVENT run together.
QStringList journalEntries(const char *program)
{
    Running journalctl("journalctl", {"-D", "/run/log/journal", "-o", "json", QString("SYSLOG_IDENTIFIER=") + program});
    journalctl.waitForFinished(Patience);
    QStringList seen;
    for (const QByteArray &entry : journalctl.readAllStandardOutput().split('\n')) {
        const QJsonObject f = QJsonDocument::fromJson(entry).object();
        if (!f.isEmpty())
            seen << QStringList{f["QV718_EVENT"].toString(), f["PRIORITY"].toString(), f["QV718_UNIT"].toString(),
                                f["MESSAGE_ID"].toString().left(4), f["MESSAGE"].toString(),
                                f["QV718_FRAME"].toString() + f["QV718_SUPPRESSED"].toString() + f["QV718_SUPPRESSED_EVENT"].toString()
                                    + f["QV718_REASON"].toString()}.join('|');
    }
    return seen;
}

// Debian's Prometheus on loopback, scraping 127.0.0.1:`target` every second.
struct Prometheus
{
    explicit Prometheus(quint16 target) : config(dir.filePath("prometheus.yml"))
    {
        config.open(QIODevice::WriteOnly);
        config.write(QString("global: {scrape_interval: 1s}\nscrape_configs: [{job_name: qv718, static_configs: "
                             "[{targets: ['127.0.0.1:%1']}]}]\n").arg(target).toUtf8());
        config.close();
    }
    // The value of the expression's first series, or nothing.
    QString query(const QString &expression) const
    {
        const QJsonArray result = QJsonDocument::fromJson(request(port, "GET", "/api/v1/query?query=" + QUrl::toPercentEncoding(expression)).second)
                                      .object()["data"].toObject()["result"].toArray();
        return result.isEmpty() ? QString() : result.first().toObject()["value"].toArray().at(1).toString();
    }
    QTemporaryDir dir;
    QFile config;
    quint16 port = freePort();
    Running server{"prometheus", {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                                  QString("--web.listen-address=127.0.0.1:%1").arg(port)}};
};

} // namespace

class MonitorTest : public QObject
{
    Q_OBJECT

private slots:
    // Each refusal names what it refuses in one line on standard error and ends with status 2, before anything needs a
    // display or reads settings; an address the monitor cannot listen on, 1. A settings file (%f, in %d) is refused at its
    // line; --check-config takes a good one without calling its unit's server (port %2) or taking its listen= (%1, taken).
    void refusals_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("settings");
        const auto row = [](const char *name, const char *program, const QString &arguments, const char *said, int status = 2,
                            const char *settings = "") {
            QTest::newRow(name) << program << arguments.split(' ', Qt::SkipEmptyParts).replaceInStrings("''", "")
                                << (*said ? QString(program).section('/', -1) + ": " + said : QString()) << status << settings;
        };
        const char *monitor = QV718_MONITOR, *panel = QV718_PANEL;
        const auto file = [&](const char *name, const char *settings, const QString &arguments, const char *said, int status = 2) {
            row(name, monitor, "--config %f " + arguments, said, status, settings);
        };
        row("no unit, no settings file", monitor, "--config /nonexistent/qv718.conf", "cannot read the settings file /nonexistent/qv718.conf: No such file or directory");
        row("bad option", monitor, "--units a=/dev/x", "Unknown option 'units'.");
        row("bad name", monitor, "--unit a/b=/dev/x", "unit name \"a/b\": expected 1 to 64 of A-Z a-z 0-9 _ . -");
        row("name too long", monitor, "--unit " + QString(65, 'n') + "=/dev/x", qPrintable("unit name \"" + QString(65, 'n') + "\": expected 1 to 64 of A-Z a-z 0-9 _ . -"));
        row("bad line", monitor, "--unit a=rfc2217://-rack:7000", "unit a: line \"rfc2217://-rack:7000\": not a valid host name");
        row("no line", monitor, "--unit a=", "unit a: line \"\": no line");
        row("a name twice", monitor, "--unit a=/dev/x --unit a=/dev/y", "unit a is named twice");
        row("bad address", monitor, "--unit a=/dev/x --listen localhost:9718", "--listen localhost:9718: expected ADDR:PORT, as 127.0.0.1:9718 or [::1]:9718");
        row("address taken", monitor, "--unit a=/dev/x --listen 127.0.0.1:%1", "cannot listen on 127.0.0.1:%1", 1);
        file("file: a slash in a name", "[Units]\nrack/1=/dev/x", "", "%f:2: unit name \"rack/1\": expected 1 to 64 of A-Z a-z 0-9 _ . -");
        file("file: a name twice", "[Units]\na=/dev/x\nb=/dev/y\na=/dev/z", "--check-config", "%f:4: unit a is named twice (also at line 2)");
        file("file and --unit: a name twice", "[Units]\na=/dev/x", "--unit a=/dev/y", "unit a is named twice (also at %f:2)");
        file("file: unknown key", "[Units]\na=/dev/x\n[Monitor]\nListen=127.0.0.1:9718", "", "%f:4: unknown key \"Listen\" in [Monitor]");
        file("file: unknown section", "[Unit]\na=/dev/x", "", "%f:1: unknown section [Unit]: the sections are [Units], [Monitor] and [Chrony]");
        file("file: one device through a link", "[Units]\na=/dev/null\nb=%d/null", "--check-config", "%f:3: units a (line 2) and b share one line: /dev/null");
        file("file: one network line", "[Units]\na=tcp://Rack-A:7000 ; a\nb=tcp://rack-a:7000", "--check-config", "%f:3: units a (line 2) and b share one line: tcp://rack-a:7000");
        file("file and --unit: one line", "[Units]\na=/dev/x", "--unit b=/dev/x", "units a (%f:2) and b share one line: /dev/x");
        file("file: # begins no comment", "# units\n[Units]\na=/dev/x", "--check-config", "%f:1: \"#\" begins no comment; \";\" does");
        file("file: no KEY=VALUE", "[Units]\nrack1 /dev/x", "", "%f:2: neither a comment (;), a [section] nor KEY=VALUE: \"rack1 /dev/x\"");
        file("file: bad listen", "[Units]\na=/dev/x\n[Monitor]\nlisten=localhost:9718", "", "%f:4: listen=localhost:9718: expected ADDR:PORT, as 127.0.0.1:9718 or [::1]:9718");
        file("file: key before a section", "a=/dev/x", "", "%f:1: key \"a\" before any section ([Units], [Monitor] or [Chrony])");
        file("file: bad line", "[Units]\na=gopher://x:1", "--check-config", "%f:2: unit a: line \"gopher://x:1\": unknown scheme");
        row("calibrate: two units", monitor, "--calibrate --unit a=/dev/x --unit b=/dev/y", "--calibrate measures one unit; 2 are named");
        row("--for without --calibrate", monitor, "--unit a=/dev/x --for 60", "--for goes with --calibrate");
        row("chrony: no phase", monitor, "--unit a=/dev/x --chrony a=/run/a.sock", "--chrony a=/run/a.sock: unit a has no phase: measure it with --calibrate and give it as a=LINE,phase=S");
        file("file: [Chrony] names no unit", "[Units]\na=/dev/x,phase=0.3\n[Chrony]\nb=/run/b.sock", "--check-config", "%f:4: b=/run/b.sock: no unit b");
        file("--check-config: accepted", "; units\n[Chrony]\nrack1=/run/chrony.qv718-rack1.sock\n[Units]\n rack1 = tcp://127.0.0.1:%2,phase=0.25 ; a\n\n[Monitor]\nlisten=127.0.0.1:%1",
             "--check-config", "", 0);
        row("panel: port 17", panel, "--port 17", "--port \"17\": not a port number from 1 to 16");
        row("panel: port 65537", panel, "--port 65537", "--port \"65537\": not a port number from 1 to 16");
        row("panel: empty port", panel, "--port ''", "--port \"\": no line");
        row("panel: bad scheme", panel, "--port gopher://x:1", "--port \"gopher://x:1\": unknown scheme");
        row("panel: relative path", panel, "--port dev/ttyUSB0", "--port \"dev/ttyUSB0\": not a device path (/dev/ttyUSB0), "
            "a device name (ttyUSB0) or a network line (tcp://HOST:PORT, rfc2217://HOST:PORT)");
        row("panel: unknown option", panel, "--prot 5", "Unknown option 'prot'.");
    }
    void refusals()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QFETCH(int, status);
        QFETCH(QString, settings);
        QTcpServer taken, deviceServer;
        QVERIFY(taken.listen(QHostAddress::LocalHost) && deviceServer.listen(QHostAddress::LocalHost));
        QTemporaryDir home, dir;  // the panel's settings would go in home
        QFile file(dir.filePath("monitor.conf"));
        const auto fill = [&](QString text) {
            return text.replace("%1", QString::number(taken.serverPort())).replace("%2", QString::number(deviceServer.serverPort()))
                .replace("%f", file.fileName()).replace("%d", dir.path());
        };
        QVERIFY(QFile::link("/dev/null", dir.filePath("null")) && file.open(QIODevice::WriteOnly) && file.write(fill(settings).toUtf8()) >= 0);
        file.close();
        QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            noDisplay.remove(name);
        noDisplay.insert("XDG_CONFIG_HOME", home.path());
        for (QString &argument : arguments)
            argument = fill(argument);
        Running refusing(program, arguments, noDisplay);
        QVERIFY(refusing.waitForFinished(Patience));
        QCOMPARE(QString::fromLocal8Bit(refusing.readAllStandardError()).trimmed(), fill(said));
        QCOMPARE(refusing.exitCode(), status);
        QVERIFY(QDir(home.path()).isEmpty());
        QVERIFY(!deviceServer.waitForNewConnection(0));
    }

    // Prometheus scrapes units on a pseudo-terminal and behind ser2net, raw and RFC 2217: the lock as the unit reports
    // it, its line down and up again, silence, a clock an hour ahead. The exposition passes promtool; a request other
    // than GET /metrics is refused and changes nothing; SIGTERM ends the monitor with status 0.
    void metricsThroughPrometheus()
    {
        const QString ahead = QDateTime::currentDateTimeUtc().addSecs(3600).toString(Qt::ISODate).chopped(1);
        SimulatedUnit direct({"--lock-after", "1", "--lock-for", "2", "--interval", "200"});
        SimulatedUnit raw({"--start", ahead, "--interval", "200"}), telnet({"--start", ahead, "--interval", "200"});
        Ser2net rawServer(raw.link, "9600n81,local"), telnetServer(telnet.link, "9600n81,local");
        QVERIFY2(rawServer.start() && telnetServer.start(), qPrintable(rawServer.log() + telnetServer.log()));
        const quint16 port = freePort();
        Running monitor(QV718_MONITOR, {"--listen", QString("127.0.0.1:%1").arg(port), "--unit", "direct=" + direct.link,
                                        "--unit", "raw=" + rawServer.rawUrl(), "--unit", "rfc2217=" + telnetServer.rfc2217Url()});
        Prometheus prometheus(port);
        const auto value = [&](const char *expression) { return prometheus.query(expression); };
        for (const char *locked : {"1", "0", "1"})  // the unit's lock comes, goes and comes back
            QTRY_COMPARE_WITH_TIMEOUT(value("qv718_reader_locked{unit='direct'}"), locked, Patience);
        for (const char *unit : {"abs(qv718_clock_offset_seconds{unit='raw'} - 3600) < 3",
                                 "abs(qv718_clock_offset_seconds{unit='rfc2217'} - 3600) < 3"})
            QTRY_VERIFY_WITH_TIMEOUT(!value(unit).isEmpty(), Patience);
        direct.process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(value("qv718_line_up{unit='direct'}"), "0", Patience);
        SimulatedUnit again({"--interval", "200"}, direct.link);
        QTRY_COMPARE_WITH_TIMEOUT(value("qv718_line_up{unit='direct'}"), "1", Patience);
        ::kill(pid_t(again.process.processId()), SIGUSR1);
        QTRY_COMPARE_WITH_TIMEOUT(value("qv718_unit_reporting{unit='direct'}"), "0", Patience);

        Running promtool("promtool", {"check", "metrics"});
        promtool.write(request(port, "GET", "/metrics").second);
        promtool.closeWriteChannel();
        QVERIFY2(promtool.waitForFinished(Patience) && promtool.exitCode() == 0, promtool.readAll().constData());
        const QByteArray text = request(port, "GET", "/metrics").second;
        for (const char *family : {"process_cpu_seconds_total counter", "process_resident_memory_bytes gauge", "process_virtual_memory_bytes gauge",
                                   "process_open_fds gauge", "process_max_fds gauge", "process_start_time_seconds gauge", "qv718_monitor_build_info gauge"})
            QVERIFY2(text.contains(QByteArray("\n# TYPE ") + family + '\n'), family);
        QVERIFY(!text.contains("exposer_") && !text.contains("qv718_monitor_info"));
        const QStringList before = seriesAt(port);
        for (const auto &[method, path] : {std::pair{"POST", "/metrics"}, {"GET", "/other"}, {"DELETE", "/metrics"}})
            QCOMPARE(request(port, method, path).first, 404);
        QCOMPARE(seriesAt(port), before);
        monitor.terminate();
        QVERIFY(monitor.waitForFinished(Patience) && monitor.exitStatus() == QProcess::NormalExit && monitor.exitCode() == 0);
    }

    // Clients that never finish a request, or thousands at once, hold up no scrape: with connections that sent half a
    // request and wait, or just after a burst of silent ones (in one row far beyond the descriptors the monitor may
    // open), all of them still open, a scrape is answered within its bound.
    void slowAndManyClients_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("descriptors");  // the monitor's limit, or 0 for the test's own
        QTest::addColumn<int>("withinMs");
        QTest::newRow("64 half requests") << 64 << QByteArray("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n") << 0 << 2000;
        QTest::newRow("a burst of 2000") << 2000 << QByteArray() << 0 << 5000;
        QTest::newRow("a burst of 1000, 100 descriptors") << 1000 << QByteArray() << 100 << 5000;
    }
    void slowAndManyClients()
    {
        QFETCH(int, connections);
        QFETCH(QByteArray, sent);
        QFETCH(int, descriptors);
        QFETCH(int, withinMs);
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        limit.rlim_cur = limit.rlim_max;  // for the test's own connections
        QVERIFY(limit.rlim_cur > rlim_t(connections) + 100 && ::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        const quint16 port = freePort();
        QStringList arguments{QV718_MONITOR, "--unit", "a=/nonexistent/unit", "--listen", QString("127.0.0.1:%1").arg(port)};
        Running monitor("prlimit", QStringList{QString("--nofile=%1").arg(descriptors ? descriptors : int(limit.rlim_cur))} + arguments);
        QTRY_COMPARE_WITH_TIMEOUT(request(port, "GET", "/metrics").first, 200, Patience);
        std::vector<int> held(static_cast<size_t>(connections));
        const sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        for (int &fd : held) {  // a burst connects without waiting
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (sent.isEmpty() ? SOCK_NONBLOCK : 0), 0);
            QVERIFY(fd >= 0 && (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 || errno == EINPROGRESS));
            QVERIFY(sent.isEmpty() || ::send(fd, sent.constData(), size_t(sent.size()), MSG_NOSIGNAL) == sent.size());
        }
        QElapsedTimer scrape;
        scrape.start();
        const int status = request(port, "GET", "/metrics", withinMs).first;
        QVERIFY2(status == 200 && scrape.elapsed() < withinMs, qPrintable(QString("status %1 after %2 ms").arg(status).arg(scrape.elapsed())));
        for (const int fd : held)
            ::close(fd);
    }

    // systemd's side of the notify protocol, played on a datagram socket of the test's own: the monitor tells READY=1
    // once it serves, then WATCHDOG=1 every half of WATCHDOG_USEC from its event loop; stopped, as a loop that hangs,
    // it tells nothing for twice that time, and continued it tells WATCHDOG=1 again.
    void watchdogOnAHungLoop()
    {
        QTemporaryDir dir;
        sockaddr_un address{AF_UNIX, {}};
        qstrncpy(address.sun_path, dir.filePath("notify").toLocal8Bit(), sizeof address.sun_path);
        const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QVERIFY(::bind(notify, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
        QStringList told;
        QSocketNotifier notifier(notify, QSocketNotifier::Read);
        connect(&notifier, &QSocketNotifier::activated, this, [&] {
            char datagram[256];
            for (ssize_t length = 0; (length = ::recv(notify, datagram, sizeof datagram, 0)) > 0;)
                told << QString::fromLatin1(datagram, length);
        });
        QSignalSpy toldMore(&notifier, &QSocketNotifier::activated);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NOTIFY_SOCKET", address.sun_path);
        environment.insert("WATCHDOG_USEC", "1000000");
        const quint16 port = freePort();
        Running monitor(QV718_MONITOR, {"--unit", "a=/nonexistent/unit", "--listen", QString("127.0.0.1:%1").arg(port)}, environment);
        QTRY_VERIFY_WITH_TIMEOUT(told.size() >= 3, Patience);
        QCOMPARE(told.mid(0, 3), (QStringList{"READY=1", "WATCHDOG=1", "WATCHDOG=1"}));
        QCOMPARE(request(port, "GET", "/metrics").first, 200);
        QFile stat(QString("/proc/%1/stat").arg(monitor.processId()));
        QVERIFY(stat.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        ::kill(pid_t(monitor.processId()), SIGSTOP);
        QTRY_VERIFY(stat.seek(0) && stat.readAll().contains(") T "));
        QCoreApplication::processEvents();  // what it told before it stopped
        told.clear();
        QVERIFY2(!toldMore.wait(2000), qPrintable(told.join(' ')));
        ::kill(pid_t(monitor.processId()), SIGCONT);
        QVERIFY(toldMore.wait(Patience));
        QCOMPARE(told, QStringList{"WATCHDOG=1"});
    }

    // A unit played on a pseudo-terminal behind a link, its events in a systemd-journald of the test's own (in a mount
    // namespace with a tmpfs over /run): each once, with its fields, in order; a line that returns is back once. And
    // the panel's commands: one entry per operator action, with the frame's bytes.
    void eventsInTheJournal()
    {
        IN_OWN_JOURNAL(journald);
        QTemporaryDir dir;
        const QString link = dir.filePath("unit");
        auto pty = std::make_unique<Pty>();
        QVERIFY(QFile::link(pty->slavePath(), link));
        const quint16 port = freePort();
        Running monitor(QV718_MONITOR, {"--unit", "rack3=" + link, "--unit", QString("refused=tcp://127.0.0.1:%1").arg(freePort()),
                                        "--listen", QString("127.0.0.1:%1").arg(port)});
        const auto shows = [&](const char *series) { return request(port, "GET", "/metrics").second.contains(series); };
        const auto report = [&](const QByteArray &frame, const char *then) {
            QVERIFY(pty->write(frame));
            QTRY_VERIFY_WITH_TIMEOUT(shows(then), Patience);
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_line_up{unit=\"rack3\"} 1"), Patience);
        // Stray bytes, an incomplete frame and an overlong one (31 data bytes), each counted, before the first reports.
        report(hex("AA BB FF 01 02 FF") + QByteArray(31, '\x01') + hex("FC") + Reports::time(1, 0, 0, 0) + Reports::status(24, 1, 1, 0x02, 0, 0),
               "qv718_reader_locked{unit=\"rack3\"} 0");
        for (const char *kind : {"stray\",unit=\"rack3\"} 2", "overlong\",unit=\"rack3\"} 1", "incomplete\",unit=\"rack3\"} 1"})
            QTRY_VERIFY_WITH_TIMEOUT(shows(QByteArray("qv718_report_errors_total{kind=\"") + kind), Patience);
        QVERIFY(shows("qv718_line_failures_total{reason=\"refused\",unit=\"refused\"}"));
        report(Reports::status(24, 1, 1, 0x42, 0, 0), "qv718_reader_lock_changes_total{unit=\"rack3\"} 1");
        report(Reports::status(24, 1, 1, 0x02, 0, 0), "qv718_reader_lock_changes_total{unit=\"rack3\"} 2");
        // What stops being true is withdrawn: the lock of a silent unit, and of one whose line is lost.
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_unit_reporting{unit=\"rack3\"} 0") && !shows("qv718_reader_locked{"), Patience);
        report(Reports::time(1, 0, 0, 1) + Reports::status(24, 1, 1, 0x02, 0, 0), "qv718_reader_locked{unit=\"rack3\"} 0");
        QVERIFY(QFile::remove(link));
        pty.reset();
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_line_failures_total{reason=\"missing\",unit=\"rack3\"} 1") && shows("qv718_line_up{unit=\"rack3\"} 0")
                                 && !shows("qv718_reader_locked{") && !shows("qv718_clock_offset_seconds{"), Patience);
        pty = std::make_unique<Pty>();
        QVERIFY(QFile::link(pty->slavePath(), link));
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_line_up{unit=\"rack3\"} 1"), Patience);
        report(Reports::time(1, 0, 0, 2), "qv718_reports_total{kind=\"time\",unit=\"rack3\"} 3");
        report(Reports::time(1, 0, 0, 3), "qv718_reports_total{kind=\"time\",unit=\"rack3\"} 4");
        // A lock bit that chatters: every change counted, ten entries of a kind in its minute, and at the minute's end one
        // that tells how many more were held back.
        QByteArray chatter = Reports::status(24, 1, 1, 0x02, 0, 0);
        for (int i = 0; i < 12; ++i)
            chatter += Reports::status(24, 1, 1, 0x42, 0, 0) + Reports::status(24, 1, 1, 0x02, 0, 0);
        report(chatter, "qv718_reader_lock_changes_total{unit=\"rack3\"} 26");

        Journal::setIdentifier("qv718-panel");
        auto *line = new FakePort({1});
        frm718 window(line);
        window.Form_Load();
        line->receive(Reports::time(1, 0, 0, 0) + Reports::status(24, 1, 1, 0x02, 0, 0));
        QVERIFY(showActive(&window));
        QVERIFY(Operator::pick(Controls{window}.list("cmbReadMode"), 4));
        Operator::click(Controls{window}.box("chkFreeze"));

        const auto entries = [](const char *program) {
            QStringList seen = journalEntries(program);
            std::sort(seen.end() - std::min<qsizetype>(seen.size(), 2), seen.end());  // the two minutes end together
            return seen;
        };
        const QString regained = "lock-regained|5|rack3|3edb|Unit rack3 reader regained lock|", lost = "lock-lost|4|rack3|bb8d|Unit rack3 reader lost lock|";
        QStringList expected{"line-lost|4|refused|8190|Unit refused lost its line: the device server refused the connection|refused",
                             regained, lost, "unit-silent|4|rack3|88a2|Unit rack3 stopped reporting|",
                             "unit-reporting|5|rack3|57a1|Unit rack3 reports again|",
                             "line-lost|4|rack3|8190|Unit rack3 lost its line: no such device|missing",
                             "line-back|5|rack3|33e8|Unit rack3 is back on its line|"};
        for (int i = 0; i < 9; ++i)
            expected << regained << lost;
        expected << expected[3];  // silent once more after the chatter
        for (const char *kind : {"lost", "regained"})
            expected << QString("suppressed|4|rack3|d2a9|Unit rack3: 3 more lock-%1 entries within a minute held back|3lock-%1").arg(kind);
        QTRY_COMPARE_WITH_TIMEOUT(entries("qv718-monitor"), expected, UnitEventLog::MinuteMs + Patience);
        QTRY_COMPARE_WITH_TIMEOUT(entries("qv718-panel"), (QStringList{
            "command|6|1|e50e|Unit 1 was sent SetReadMode 4 [04 02 FA]|04 02 FA",
            "command|6|1|e50e|Unit 1 was sent SetOutputFreeze 1 [01 04 FA]|01 04 FA",
            "unit-silent|4|1|88a2|Unit 1 stopped reporting|"}), Patience);  // its reports stopped with the commands
    }

    // SIGHUP reads the settings file again: one it refuses changes nothing and says why in one warning; then a unit added
    // is watched (on the line of one removed, which is withdrawn), one whose line changed on its new line, the unit left
    // as it was counts on from where it was, and a new listen= waits for the next start. In a journal of the test's own.
    void reload()
    {
        IN_OWN_JOURNAL(journald);
        SimulatedUnit kept({"--interval", "100"}), removed({}), moved({});
        QTemporaryDir dir;
        const QString file = dir.filePath("monitor.conf"), port = QString::number(freePort());
        const auto settings = [&](const QString &units, const QString &monitor) {
            QFile conf(file);
            return conf.open(QIODevice::WriteOnly) && conf.write(("[Units]\n" + units + "\n[Monitor]\n" + monitor + "\n").toUtf8()) > 0;
        };
        const auto shown = [&](const QString &series) { return request(port.toUShort(), "GET", "/metrics").second.contains(series.toUtf8()); };
        const auto reports = [&] { return QString(request(port.toUShort(), "GET", "/metrics").second).section("qv718_reports_total{kind=\"time\",unit=\"kept\"} ", 1).section('\n', 0, 0).toInt(); };
        QVERIFY(settings("kept=" + kept.link + "\nremoved=" + removed.link + "\nmoved=/nonexistent/moved", "listen=127.0.0.1:" + port));
        Running monitor(QV718_MONITOR, {"--config", file});
        QTRY_VERIFY_WITH_TIMEOUT(reports() >= 20 && shown("qv718_line_up{unit=\"removed\"} 1"), Patience);
        const QStringList before = seriesAt(port.toUShort());
        QVERIFY(settings("kept=" + kept.link, "Listen=127.0.0.1:" + port));
        int counted = reports();
        ::kill(pid_t(monitor.processId()), SIGHUP);
        const QString refused = "settings-refused|4||aa52|Settings not reloaded, those in use kept: " + file + ":4: unknown key \"Listen\" in [Monitor]|";
        QTRY_COMPARE_WITH_TIMEOUT(journalEntries("qv718-monitor").filter(QRegularExpression("^settings-")), QStringList{refused}, Patience);
        QVERIFY(reports() >= counted);
        QCOMPARE(seriesAt(port.toUShort()), before);

        QVERIFY(settings("kept=" + kept.link + "\nmoved=" + moved.link + "\nadded=" + removed.link, "listen=[::1]:" + port));
        counted = reports();
        ::kill(pid_t(monitor.processId()), SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(shown("qv718_line_up{unit=\"added\"} 1") && shown(",line=\"" + moved.link + "\","), Patience);
        QVERIFY2(reports() >= counted, qPrintable(QString("%1 reports before, %2 after").arg(counted).arg(reports())));
        QVERIFY(!shown("unit=\"removed\""));
        QTRY_COMPARE_WITH_TIMEOUT(journalEntries("qv718-monitor").filter(QRegularExpression("^settings-")), (QStringList{refused,
            "settings-reloaded|5||324e|Settings reloaded from " + file + ": units added 1, removed 1, changed 1, unchanged 1|",
            "settings-restart|4||0b43|listen=[::1]:" + port + " takes effect at the next start; /metrics stays on 127.0.0.1:" + port + "|"}), Patience);
        ::kill(pid_t(monitor.processId()), SIGINT);
        QVERIFY(monitor.waitForFinished(Patience) && monitor.exitStatus() == QProcess::NormalExit && monitor.exitCode() == 0);
    }
};

QTEST_MAIN(MonitorTest)
#include "tst_monitor.moc"
