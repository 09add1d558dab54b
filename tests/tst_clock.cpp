// The unit as a clock, with the real programs: qv718-monitor --calibrate against qv718-sim's known phase; the
// monitor feeding a chronyd of the test's own (chronyd -x measures and never sets the clock); and which time reports
// become samples, on a datagram socket of the test's own in chronyd's place.

#include "simulatedunit.h"

#include "monitor/hostclock.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <csignal>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

namespace {

constexpr int Patience = 20000;
const QStringList Timing{"--interval", "1000", "--phase", "0.300"};  // a report 0.3 s into each of the unit's seconds

// A datagram socket at `path`, standing in for chronyd's: the unit's times its samples name (tv + offset).
struct SampleSocket
{
    explicit SampleSocket(const QString &path) : fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{AF_UNIX, {}};
        qstrncpy(address.sun_path, path.toLocal8Bit(), sizeof address.sun_path);
        bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~SampleSocket() { ::close(fd); }
    QList<double> unitTimes()
    {
        struct { timeval tv; double offset; int pulse, leap, pad, magic; } sample{};
        QList<double> times;
        while (::recv(fd, &sample, sizeof sample, 0) == sizeof sample && sample.magic == 0x534f434b && !sample.pulse && !sample.leap)
            times << double(sample.tv.tv_sec) + double(sample.tv.tv_usec) / 1e6 + sample.offset;
        return times;
    }
    int fd;
    bool bound;
};

// The seconds, as Unix time, of the time reports the unit's trace shows that may stand for its time: after a status
// report of the connection saying the reader is locked, and following the report before by one second.
QList<qint64> usableReports(const QStringList &trace)
{
    static const QRegularExpression Time("^-> TimeReport \\d+ (\\S+ \\S+) "), Status("^-> StatusReport .*flags \\S+ \\(([^)]*)\\)");
    QList<qint64> usable;
    std::optional<bool> locked;
    std::optional<qint64> last;
    for (const QString &line : trace) {
        if (const QRegularExpressionMatch status = Status.match(line); status.hasMatch())
            locked = status.captured(1).contains("locked");
        const QRegularExpressionMatch time = Time.match(line);
        if (!time.hasMatch() || !locked)
            continue;
        const QStringList parts = time.captured(1).split(' ');
        const qint64 named = QDateTime(QDate::fromString(parts[1], Qt::ISODate), QTime::fromString(parts[0]), Qt::UTC).toSecsSinceEpoch();
        if (*locked && last && named == *last + 1)
            usable << named;
        last = named;
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
    // A minute's median phase lies within 2 ms of the unit's true phase, its jitter of 2 ms either way around it: on a
    // pseudo-terminal the report's bytes, its terminator the last, reach the monitor as they are written (at 9600
    // bit/s the terminator would end some 10 ms after the report's first bit, part of the phase then). A unit never
    // locked gives no phase: exit status 1.
    void calibration()
    {
        SimulatedUnit unit(Timing + QStringList{"--jitter", "0.002"}), unlocked(Timing + QStringList{"--lock-after", "never"});
        Running measuring(QV718_MONITOR, {"--calibrate", "--trust-clock", "--for", "60", "--unit", "u=" + unit.link});
        Running nothing(QV718_MONITOR, {"--calibrate", "--trust-clock", "--for", "5", "--unit", "u=" + unlocked.link});
        QVERIFY(measuring.waitForFinished(90000) && nothing.waitForFinished(Patience));
        const QString out = measuring.readAllStandardOutput(), none = nothing.readAllStandardOutput();
        m_phase = captured(out, "^median phase: (\\S+) s$");
        qInfo("median phase %.6f s", m_phase);
        QVERIFY2(measuring.exitCode() == 0 && std::abs(m_phase - 0.300) < 0.002, qPrintable(out));
        QVERIFY2(std::abs(captured(out, "^u=" + QRegularExpression::escape(unit.link) + ",phase=(\\S+)$") - m_phase) < 0.0001, qPrintable(out));
        QVERIFY2(out.contains(QRegularExpression("^refclock SOCK /run/chrony.qv718-u.sock refid U delay 0.00\\d\\d noselect$",
                                                 QRegularExpression::MultilineOption)), qPrintable(out));
        QVERIFY2(nothing.exitCode() == 1 && none.contains("reports used: 0\n") && none.contains("No time report could be used"), qPrintable(none));
    }

    // The kernel's word on the computer's clock decides: unsynchronised, --calibrate without --trust-clock is refused
    // (2); synchronised, it measures, here a line that is not there (1, no phase).
    void calibrationTrustsOnlyASynchronisedClock()
    {
        Running calibrating(QV718_MONITOR, {"--calibrate", "--for", "1", "--unit", "u=/nonexistent/unit"});
        QVERIFY(calibrating.waitForFinished(Patience));
        QCOMPARE(calibrating.exitCode(), hostClockSynchronised() ? 1 : 2);
    }

    // A chronyd of the test's own (no NTP port, its command socket in the test's folder, root) takes the samples of a
    // unit 120 ms ahead: its reach fills, and sourcestats shows the offset as chronyc signs it, the computer's clock
    // minus the unit's: -0.120 s.
    void feedsChrony()
    {
        QTemporaryDir dir;  // 0700, as chronyd wants the folder of its command socket
        QFile conf(dir.filePath("chrony.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write(QString("refclock SOCK %1/refclock.sock refid QV poll 3 noselect\n"
            "port 0\ncmdport 0\nbindcmdaddress %1/chronyd.sock\npidfile %1/chronyd.pid\n").arg(dir.path()).toUtf8()) > 0);
        conf.close();
        Running chronyd("chronyd", {"-x", "-d", "-u", "root", "-f", conf.fileName()});
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(dir.filePath("refclock.sock")), qPrintable(chronyd.errorString() + chronyd.readAllStandardError()), Patience);
        SimulatedUnit unit(Timing + QStringList{"--jitter", "0.002", "--ahead", "0.120"});
        Running monitor(QV718_MONITOR, {"--unit", QString("u=%1,phase=%2").arg(unit.link).arg(m_phase), "--chrony",
                                        "u=" + dir.filePath("refclock.sock"), "--listen", QString("127.0.0.1:%1").arg(freePort())});
        const auto chronyc = [&](const char *command) {
            Running asking("chronyc", {"-h", dir.filePath("chronyd.sock"), "-n", "-c", command});
            asking.waitForFinished(Patience);
            return QString(asking.readAllStandardOutput()).trimmed().split(',');
        };
        QTRY_COMPARE_WITH_TIMEOUT(chronyc("sources").value(5), "377", 180000);
        const QStringList stats = chronyc("sourcestats");
        qInfo("chronyc sourcestats: %s", qPrintable(stats.join(',')));
        QVERIFY2(std::abs(stats.value(6).toDouble() + 0.120) < 0.002 && stats.value(7).toDouble() < 0.001, qPrintable(stats.join(',')));
    }

    // Which reports become samples: none while the reader is unlocked, before the connection's first status report, for
    // the first report read (nothing to follow) or for one after a skipped second (one jump counted); each of the others
    // one sample of the unit's time.
    void samplesOnlyWhenRight_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("jumps");
        QTest::addColumn<bool>("sampling");
        QTest::newRow("never locked") << QStringList{"--lock-after", "never"} << 6 << 0 << false;
        QTest::newRow("lock lost and back, a second skipped") << QStringList{"--lock-after", "2", "--lock-for", "4", "--skip-at", "11"} << 15 << 1 << true;
    }
    void samplesOnlyWhenRight()
    {
        QFETCH(QStringList, scenario);
        QFETCH(int, reports);
        QFETCH(int, jumps);
        QFETCH(bool, sampling);
        QTemporaryDir dir;
        SampleSocket chrony(dir.filePath("chrony.sock"));
        QVERIFY(chrony.bound);
        SimulatedUnit unit(Timing + scenario);
        const quint16 port = freePort();
        Running monitor(QV718_MONITOR, {"--unit", "u=" + unit.link + ",phase=0.300", "--chrony", "u=" + dir.filePath("chrony.sock"),
                                        "--listen", QString("127.0.0.1:%1").arg(port)});
        const auto shows = [&](const QString &series) { return request(port, "GET", "/metrics").second.contains(series.toUtf8()); };
        QTRY_VERIFY_WITH_TIMEOUT(shows(QString("qv718_reports_total{kind=\"time\",unit=\"u\"} %1\n").arg(reports)), Patience + reports * 1000);
        ::kill(pid_t(unit.process.processId()), SIGUSR1);  // silent: every report it sent is read once the monitor says so
        QTRY_VERIFY_WITH_TIMEOUT(shows("qv718_unit_reporting{unit=\"u\"} 0\n"), Patience);
        QVERIFY(shows(QString("qv718_time_code_jumps_total{unit=\"u\"} %1\n").arg(jumps)));
        QList<qint64> sampled;
        for (const double time : chrony.unitTimes()) {
            sampled << std::llround(time - 0.300);
            QVERIFY2(std::abs(time - 0.300 - double(sampled.last())) < 0.005, qPrintable(QString::number(time, 'f', 6)));
        }
        QVERIFY(sampled.isEmpty() != sampling);
        QCOMPARE(sampled, usableReports(unit.lines()));
    }

    // A chrony socket that is not there costs its own unit's samples alone: one line about it (standard error stands in
    // for the journal here), no second try within the minute even once the socket is there, and the other unit's
    // samples flow meanwhile.
    void missingSocket()
    {
        QTemporaryDir dir;
        SampleSocket chrony(dir.filePath("present.sock"));
        SimulatedUnit present(Timing), missing(Timing);
        Running monitor("unshare", {"--mount", "sh", "-c", "mount -t tmpfs none /run/systemd/journal 2>/dev/null; exec \"$0\" \"$@\"",
                                    QV718_MONITOR, "--listen", QString("127.0.0.1:%1").arg(freePort()), "--unit", "present=" + present.link + ",phase=0.3",
                                    "--unit", "missing=" + missing.link + ",phase=0.3", "--chrony", "present=" + dir.filePath("present.sock"),
                                    "--chrony", "missing=" + dir.filePath("missing.sock")});
        QString said;
        const auto aboutChrony = [&] { return (said += monitor.readAllStandardError()).split('\n').filter("chrony"); };
        QTRY_VERIFY_WITH_TIMEOUT(!aboutChrony().isEmpty(), Patience);
        const QStringList once{"qv718-monitor: Unit missing sends chrony no sample: " + dir.filePath("missing.sock") + ": No such file or directory; next try in 60 s"};
        QCOMPARE(aboutChrony(), once);
        SampleSocket later(dir.filePath("missing.sock"));
        QList<double> flowing;
        QTRY_VERIFY_WITH_TIMEOUT((flowing += chrony.unitTimes()).size() >= 5, Patience);
        QVERIFY(later.unitTimes().isEmpty());
        QCOMPARE(aboutChrony(), once);
    }
};

QTEST_MAIN(ClockTest)
#include "tst_clock.moc"
