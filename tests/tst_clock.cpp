// The unit as a clock, with the real programs: qv718-monitor --calibrate against qv718-sim's known phase, the monitor
// feeding a chronyd of the test's own, and which reports become samples, on a datagram socket in chronyd's place.

#include "simulatedunit.h"

#include "monitor/hostclock.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

constexpr int Patience = 20000;
const QStringList Timing{"--interval", "1000", "--phase", "0.300"};  // a report 0.3 s into each of the unit's seconds

// A datagram socket bound at `path`, in chronyd's place, left open for the rest of the test.
int sampleSocket(const QString &path)
{
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, path.toLocal8Bit(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? fd : -1;
}

// The unit's times that the samples waiting there name: tv + offset.
QList<double> unitTimes(int fd)
{
    struct { timeval tv; double offset; int pulse, leap, pad, magic; } sample{};
    QList<double> times;
    while (::recv(fd, &sample, sizeof sample, 0) == sizeof sample && sample.magic == 0x534f434b && !sample.pulse && !sample.leap)
        times << double(sample.tv.tv_sec) + double(sample.tv.tv_usec) / 1e6 + sample.offset;
    return times;
}

// The seconds (Unix time) of the time reports in the unit's trace that may stand for its time: after a status report
// saying the reader is locked, one second after the report before, itself after a status report.
QList<qint64> usableReports(const QStringList &trace)
{
    static const QRegularExpression Report("^-> (TimeReport \\d+ (\\S+) (\\S+)|StatusReport .*flags \\S+ \\(([^)]*)\\))");
    QList<qint64> usable;
    std::optional<bool> locked;
    qint64 last = 0;
    for (const QString &line : trace) {
        const QRegularExpressionMatch report = Report.match(line);
        if (report.hasMatch() && report.capturedLength(4))
            locked = report.captured(4).contains("locked");
        else if (report.hasMatch() && locked) {
            const qint64 named = QDateTime(QDate::fromString(report.captured(3), Qt::ISODate), QTime::fromString(report.captured(2)), Qt::UTC).toSecsSinceEpoch();
            if (*locked && named == last + 1)
                usable << named;
            last = named;
        }
    }
    return usable;
}

double captured(const QString &text, const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).captured(1).toDouble();
}

} // namespace

class ClockTest : public QObject
{
    Q_OBJECT

    double m_phase = 0.300;  // as the calibration measures it

private slots:
    // The simulated unit stands for a device whose timing no load on this computer changes, and what is measured is the
    // monitor's reading of the line, not the wake-up latency that other tests running beside this one (ctest -j) or a
    // build cause: the test and every program it starts (the policy is inherited) run round-robin at the lowest
    // real-time priority, ahead of ordinary processes. Under a full load of compilers, reports otherwise arrived up
    // to some 5 ms late, and the median phase and chrony's offset moved with them.
    void initTestCase()
    {
        const sched_param lowest{sched_get_priority_min(SCHED_RR)};
        QVERIFY2(::sched_setscheduler(0, SCHED_RR, &lowest) == 0, "real-time scheduling refused (CAP_SYS_NICE): the tests run as root");
    }

    // A minute's median phase lies within 2 ms of the unit's true phase (jitter 2 ms either way): the median of the
    // moments the simulator wrote its time reports, as its trace gives them (it writes a little after it meant to, and
    // more so on a busy or instrumented build). On a pseudo-terminal a report's bytes, its terminator the last, arrive
    // as they are written (at 9600 bit/s the terminator would end some 10 ms after the first bit, part of the phase). A unit never locked gives no phase (1); without
    // --trust-clock, a clock the kernel calls unsynchronised is refused (2).
    void calibration()
    {
        SimulatedUnit unit(Timing + QStringList{"--jitter", "0.002"}), unlocked(Timing + QStringList{"--lock-after", "never"});
        Running measuring(QV718_MONITOR, {"--calibrate", "--trust-clock", "--for", "60", "--unit", "u=" + unit.link});
        Running nothing(QV718_MONITOR, {"--calibrate", "--trust-clock", "--for", "5", "--unit", "u=" + unlocked.link});
        Running untrusted(QV718_MONITOR, {"--calibrate", "--for", "1", "--unit", "u=/nonexistent/unit"});
        QVERIFY(measuring.waitForFinished(90000) && nothing.waitForFinished(Patience) && untrusted.waitForFinished(Patience));
        const QString out = measuring.readAllStandardOutput(), none = nothing.readAllStandardOutput();
        m_phase = captured(out, "^median phase: (\\S+) s$");
        // Its trace, waiting in the pipe while the calibration ran: read until a pause.
        unit.process.setReadChannel(QProcess::StandardError);
        while (unit.process.waitForReadyRead(100)) {
        }
        QList<double> written;
        for (const QString &line : unit.lines().filter(QRegularExpression("^-> TimeReport .* at \\+")))
            written << line.section(" at +", 1).section(' ', 0, 0).toDouble();
        std::sort(written.begin(), written.end());
        const double truePhase = written.isEmpty() ? 0 : written.at(written.size() / 2);
        qInfo("median phase %.6f s, as written %.6f s", m_phase, truePhase);
        QVERIFY2(measuring.exitCode() == 0 && written.size() >= 50 && std::abs(m_phase - truePhase) < 0.002 && std::abs(truePhase - 0.300) < 0.010,
                 qPrintable(out));
        QVERIFY2(std::abs(captured(out, "^u=" + QRegularExpression::escape(unit.link) + ",phase=(\\S+)$") - m_phase) < 0.0001, qPrintable(out));
        // chrony's delay is the width of the 1st to 99th percentile, rounded up to 0.1 ms (one report that a busy
        // computer delivered late widens it, rightly, so its value is checked against the spread printed).
        const double low = captured(out, "^1st to 99th percentile: (\\S+) to"), high = captured(out, "^1st to 99th percentile: \\S+ to (\\S+) s$");
        const double delay = captured(out, "^refclock SOCK /run/chrony\\.qv718-u\\.sock refid U delay (0\\.\\d{4}) noselect$");
        // (the spread is printed to the microsecond, the delay taken from it unrounded)
        QVERIFY2(high - low > 0.001 && delay > high - low - 2e-6 && delay < high - low + 0.0001 + 2e-6, qPrintable(out));
        QVERIFY2(nothing.exitCode() == 1 && none.contains("reports used: 0\n") && none.contains("No time report could be used"), qPrintable(none));
        QCOMPARE(untrusted.exitCode(), hostClockSynchronised() ? 1 : 2);
    }

    // A chronyd of the test's own (-x: it never sets the clock; its directives on its command line, no file read; no
    // NTP port, its command socket in the test's folder, as root) takes the samples of a unit 120 ms ahead: its reach
    // fills, and sourcestats shows the offset as chronyc signs it, the computer's clock minus the unit's: -0.120 s.
    // A second unit's reader loses its lock after 20 s for good: its source's reach, once up, falls to 0.
    void feedsChrony()
    {
        QTemporaryDir dir;  // 0700, as chronyd wants the folder of its command socket
        const auto refclock = [&](const char *name) {
            return QString("refclock SOCK %1 refid %2 poll 3 noselect").arg(dir.filePath(name + QString(".sock")), name);
        };
        Running chronyd("chronyd", {"-x", "-d", "-u", "root", refclock("QV"), refclock("QL"), "port 0", "cmdport 0",
                                    "bindcmdaddress " + dir.filePath("chronyd.sock"), "pidfile " + dir.filePath("chronyd.pid")});
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(dir.filePath("QL.sock")), qPrintable(chronyd.errorString() + chronyd.readAllStandardError()), Patience);
        SimulatedUnit unit(Timing + QStringList{"--jitter", "0.002", "--ahead", "0.120"}),
            unlocking(Timing + QStringList{"--lock-for", "20", "--relock-after", "never"});
        Running monitor(QV718_MONITOR, {"--unit", QString("u=%1,phase=%2").arg(unit.link).arg(m_phase), "--chrony",
                                        "u=" + dir.filePath("QV.sock"), "--unit", "l=" + unlocking.link + ",phase=0.3",
                                        "--chrony", "l=" + dir.filePath("QL.sock"), "--listen", QString("127.0.0.1:%1").arg(freePort())});
        // One line of chronyc's for the source, its fields split.
        const auto chronyc = [&](const char *command, const QString &source) {
            Running asking("chronyc", {"-h", dir.filePath("chronyd.sock"), "-n", "-c", command});
            asking.waitForFinished(Patience);
            const int name = command == QLatin1String("sources") ? 2 : 0;  // the field that names the source
            for (const QString &line : QString(asking.readAllStandardOutput()).split('\n')) {
                if (line.section(',', name, name) == source)
                    return line.split(',');
            }
            return QStringList();
        };
        QString lostReach;  // the highest seen, as chronyc prints it in octal
        const auto reach = [&] {
            const QString lost = chronyc("sources", "QL").value(5);
            lostReach = std::max(lostReach, lost);
            return chronyc("sources", "QV").value(5);
        };
        QTRY_COMPARE_WITH_TIMEOUT(reach(), "377", 180000);
        const QStringList stats = chronyc("sourcestats", "QV");
        qInfo("chronyc sourcestats: %s", qPrintable(stats.join(',')));
        QVERIFY2(std::abs(stats.value(6).toDouble() + 0.120) < 0.002 && stats.value(7).toDouble() < 0.001, qPrintable(stats.join(',')));
        QTRY_COMPARE_WITH_TIMEOUT(chronyc("sources", "QL").value(5), "0", 180000);
        QVERIFY2(lostReach.toInt() > 0 && !unlocking.lines().filter("-- reader lost its lock").isEmpty(), qPrintable(lostReach));
    }

    // Which reports become samples of the unit's time, on a socket in chronyd's place: none before the connection's
    // first status report, while the reader is unlocked, for the first report (nothing to follow) or after a skipped
    // second (one jump counted). A socket that is not there costs its own unit alone: one line (on standard error, in
    // place of a journal), and no second try within the minute, even once the socket is there.
    void samplesOnlyWhenRight()
    {
        QTemporaryDir dir;
        const int chrony = sampleSocket(dir.filePath("chrony.sock"));
        SimulatedUnit unit(Timing + QStringList{"--lock-after", "2", "--lock-for", "4", "--skip-at", "11"}), other(Timing);
        const quint16 port = freePort();
        Running monitor("unshare", {"--mount", "sh", "-c", "mount -t tmpfs none /run/systemd/journal 2>/dev/null; exec \"$0\" \"$@\"",
                                    QV718_MONITOR, "--listen", QString("127.0.0.1:%1").arg(port), "--unit", "u=" + unit.link + ",phase=0.300",
                                    "--unit", "missing=" + other.link + ",phase=0.3", "--chrony", "u=" + dir.filePath("chrony.sock"),
                                    "--chrony", "missing=" + dir.filePath("missing.sock")});
        QString said;
        const auto aboutChrony = [&] { return (said += monitor.readAllStandardError()).split('\n').filter("chrony"); };
        const QStringList once{"qv718-monitor: Unit missing sends chrony no sample: " + dir.filePath("missing.sock") + ": No such file or directory; next try in 60 s"};
        QTRY_COMPARE_WITH_TIMEOUT(aboutChrony(), once, Patience);
        const int later = sampleSocket(dir.filePath("missing.sock"));
        const auto shows = [&](const char *series) { return request(port, "GET", "/metrics").second.contains(series); };
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_reports_total{kind=\"time\",unit=\"u\"} 15\n"), Patience + 15000);
        ::kill(pid_t(unit.process.processId()), SIGUSR1);  // silent: every report it sent is read once the monitor says so
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_unit_reporting{unit=\"u\"} 0\n"), Patience);
        QVERIFY(chrony >= 0 && later >= 0 && shows("qv718_time_code_jumps_total{unit=\"u\"} 1\n") && unitTimes(later).isEmpty());
        QCOMPARE(aboutChrony(), once);
        QList<qint64> sampled;
        for (const double time : unitTimes(chrony)) {
            sampled << std::llround(time - 0.300);
            QVERIFY2(std::abs(time - 0.300 - double(sampled.last())) < 0.005, qPrintable(QString::number(time, 'f', 6)));
        }
        QVERIFY(!sampled.isEmpty());
        QCOMPARE(sampled, usableReports(unit.lines()));
    }
};

QTEST_MAIN(ClockTest)
#include "tst_clock.moc"
