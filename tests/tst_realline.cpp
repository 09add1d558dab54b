// The real serial line: SerialLine on pseudo-terminals named in the settings, the far end played by the test or by
// qv718-sim running as a process of its own, whose log shows what it received and its trace what it sent; and the same
// unit reached over the network through the real ser2net on loopback.

#include "frames.h"
#include "idle.h"
#include "panel.h"
#include "playedserver.h"
#include "pseudoterminal.h"
#include "ser2net.h"
#include "simulatedunit.h"

#include "panel/artwork.h"

#include "device/ports/portselection.h"
#include "device/ports/portline.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Generous, as a loaded machine may be slow; no wait lasts longer than its condition needs.
constexpr int Patience = 15000;
// A time report and a status report of a unit whose reader is locked.
const QByteArray UnitReports = hex("FF 01 17 09 05 09 FE FF 18 01 02 43 02 02 00 05 00 FC");

// The panel as the operator starts it, on the line named as port 1, or named for this run (--port).
struct Panel
{
    explicit Panel(const QString &line, bool forThisRun = false)
    {
        settings.hideMachinePorts();
        settings.set("Ports/1", line);
        if (forThisRun)
            window->useOnlyLine(line);
        window->Form_Load();
        window->show();
    }
    // The unit's settings have been loaded: the controls are enabled again.
    bool connected() const { return ui.list("cmbReadMode")->isEnabled(); }
    // Replaces a field's whole text by typing, as an operator does.
    void type(const QString &field, const QString &text) const
    {
        QTest::keyClick(ui.field(field), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(ui.field(field), text);
    }
    // Types day, hour, minute, second and year (if given) and presses "Set".
    void setTime(const QString &values) const
    {
        for (int i = 0; i < values.count(' ') + 1; ++i)
            type(QString("txtDay txtHour txtMinute txtSecond txtYear").section(' ', i, i), values.section(' ', i, i));
        QTest::mouseClick(ui.find<QPushButton>("cmdSetTime"), Qt::LeftButton);
    }

    TempSettings settings;
    PortLine *serial = new PortLine;
    std::unique_ptr<frm718> window = std::make_unique<frm718>(serial);
    const Controls ui{*window};
};

// The program sleeps rather than spinning on a dead line; no caret blinks.
void expectIdle(int milliseconds = 2000)
{
    QVERIFY(!qobject_cast<QLineEdit *>(QApplication::focusWidget()));
    const Idleness idle = measureIdle(milliseconds);
    QVERIFY2(idle.isIdle(), qPrintable(idle.describe()));
}

// The line settings of a terminal, as "9600 8N1" with " RTS/CTS" when that flow control is on.
QString lineSettingsOf(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios t{};  // all clear if it cannot be read
    ::tcgetattr(fd, &t);
    ::close(fd);
    const speed_t speed = ::cfgetospeed(&t);
    return QString("%1 %2%3%4%5").arg(speed == B9600 ? "9600" : speed == B19200 ? "19200" : "?")
        .arg((t.c_cflag & CSIZE) == CS8 ? 8 : 0).arg(t.c_cflag & PARENB ? 'E' : 'N').arg(t.c_cflag & CSTOPB ? 2 : 1)
        .arg(t.c_cflag & CRTSCTS ? " RTS/CTS" : "");
}

} // namespace

class RealLineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Program::setIdentity();
        QVERIFY(QFileInfo(QV718_SIM).isExecutable());
    }

    // All 256 byte values travel both ways unchanged, on a port named by its path or by a bare name that the serial
    // layer looks up in /dev itself.
    void bytesTravelBothWays_data()
    {
        QTest::addColumn<bool>("bareName");
        QTest::newRow("path") << false;
        QTest::newRow("bare name") << true;
    }
    void bytesTravelBothWays()
    {
        QFETCH(bool, bareName);
        Pty pty;
        const QString name = QString("qv718-test-%1").arg(QCoreApplication::applicationPid());
        if (bareName)
            QVERIFY2(QFile::link(pty.slavePath(), "/dev/" + name), "a link in /dev needs root");
        const auto unlink = qScopeGuard([&] { QFile::remove("/dev/" + name); });
        SerialLine line;
        line.setDevice(bareName ? name : pty.slavePath());
        QVERIFY(line.open());
        QByteArray every(256, 0);
        for (int i = 0; i < 256; ++i)
            every[i] = char(i);
        QVERIFY(line.write(every));
        QByteArray atUnit;
        QTRY_COMPARE((atUnit += pty.readAvailable()), every);
        QVERIFY(pty.write(every));
        QByteArray atProgram;
        QTRY_VERIFY([&] {
            QByteArray block;
            return line.readInput(block) && (atProgram += block).size() >= every.size();
        }());
        QCOMPARE(atProgram, every);
    }

    // A device that another holder has open (a second opening here; its lock conflicts as another program's would) is
    // refused as busy, to root too, until that holder lets it go; a device that is no terminal, or none, says so.
    void openingRefusedSaysWhy()
    {
        Pty pty;
        SerialLine holder, second, other;
        holder.setDevice(pty.slavePath());
        second.setDevice(pty.slavePath());
        QVERIFY(holder.open());
        QVERIFY(!second.open());
        QCOMPARE(second.failure(), LineFailure::Busy);
        QCOMPARE(second.failureDetail(), "another program holds the device");
        holder.close();
        QVERIFY(second.open());
        other.setDevice("/dev/null");
        QVERIFY(!other.open());
        QCOMPARE(other.failure(), LineFailure::Unusable);
        QCOMPARE(other.failureDetail(), "TIOCEXCL: " + QString::fromLocal8Bit(std::strerror(ENOTTY)));
        other.setDevice("/nonexistent/qv718-line");
        QVERIFY(!other.open());
        QCOMPARE(other.failure(), LineFailure::Missing);
    }

    // Commands given just before the port is opened anew, or before the window closes, still leave.
    void commandsLeaveBeforeTheLineCloses()
    {
        Pty pty;
        auto panel = std::make_unique<Panel>(pty.slavePath());
        QVERIFY(pty.write(UnitReports));
        QTRY_VERIFY(panel->connected());
        panel->ui.list("cmbGenerateMode")->setCurrentIndex(0);
        panel->ui.cmbComports->setCurrentIndex(-1);
        panel->ui.cmbComports->setCurrentIndex(0);
        panel->ui.list("cmbGenerateMode")->setCurrentIndex(2);
        panel.reset();
        QByteArray atUnit;
        QTRY_COMPARE((atUnit += pty.readAvailable()), hex("00 03 FA 02 03 FA"));
    }

    // The far end hangs up: the master closes (a command may meet the dead line first), the line is hung up under a
    // device that stays (TIOCVHANGUP), or the simulated unit hangs up, is terminated or interrupted. A line whose device
    // stays is reopened quietly; one that is gone is shown as lost, once, and comes back with its link. Then it sleeps.
    void hangUp_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"master closes", "command meets the hang-up", "line hung up", "unit hangs up",
                                "unit terminated", "unit interrupted"})
            QTest::newRow(how) << QString(how);
    }
    void hangUp()
    {
        QFETCH(QString, how);
        Pty pty;
        std::unique_ptr<SimulatedUnit> unit;
        if (how.startsWith("unit")) {
            unit = std::make_unique<SimulatedUnit>(how == "unit hangs up" ? QStringList{"--hang-up-after", "1.5"} : QStringList());
            QVERIFY(unit->path.startsWith("/dev/pts/") && QFileInfo(unit->link).symLinkTarget() == unit->path);
        }
        Panel panel(unit ? unit->link : pty.slavePath());
        if (!unit)  // the far end stops in the middle of a frame
            QVERIFY(pty.write(UnitReports + hex("FF 01 17")));
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        if (how == "line hung up") {
            QSignalSpy failed(panel.serial, &PortService::failed);
            QVERIFY2(pty.vhangup(), "TIOCVHANGUP needs root");
            QVERIFY(failed.wait());
            QVERIFY(panel.serial->isOpen() && pty.write(hex("FF 01 17 09 05 10 FE")));
            QTRY_COMPARE(panel.ui.lblGeneratorTime->text(), "123 09:05:16");
            QTRY_COMPARE_WITH_TIMEOUT(panel.ui.lblGeneratorTime->text(), "No Reports", Patience);
            expectIdle();
            QVERIFY(panel.ui.messages().isEmpty());
            return;
        }
        if (!unit)
            pty.hangUp();
        if (how == "command meets the hang-up")
            panel.ui.list("cmbGenerateMode")->setCurrentIndex(0);
        if (how != "unit hangs up" && unit)
            ::kill(pid_t(unit->process.processId()), how == "unit terminated" ? SIGTERM : SIGINT);
        if (unit) {
            QTRY_VERIFY_WITH_TIMEOUT(unit->process.state() == QProcess::NotRunning, Patience);
            QVERIFY(unit->process.exitStatus() == QProcess::NormalExit && unit->process.exitCode() == 0);
            QVERIFY(!QFileInfo(unit->link).isSymLink());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!panel.serial->isOpen(), Patience);
        QCOMPARE(panel.ui.messages().size(), 1);
        QVERIFY(QTest::qWaitForWindowActive(panel.ui.messages().first()));  // and painted so: it no longer changes
        expectIdle(how == "unit hangs up" ? 5000 : 2000);
        QCOMPARE(panel.ui.messages().size(), 1);
        if (!unit)
            return;
        // Its clock runs from the last day of a leap year into the first of the next.
        SimulatedUnit again({"--start", "2008-12-31T23:59:57", "--read-mode", "4"}, unit->link);
        QTRY_VERIFY2_WITH_TIMEOUT(panel.ui.lblGeneratorTime->text().contains(QRegularExpression("^001 00:0.:..   \\|   01-01-2009")),
                                  qPrintable(panel.ui.lblGeneratorTime->text() + (panel.serial->isOpen() ? ", open" : ", closed")), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        QCOMPARE(panel.ui.list("cmbReadMode")->currentIndex(), 4);  // its settings, loaded as after any opening
        QTRY_VERIFY(panel.ui.messages().isEmpty());
    }

    // Through the device, or ser2net raw or RFC 2217 (whose device starts at 19200 8N2 RTS/CTS, which only the panel's
    // RFC 2217 settings make 9600 8N1): the settings load once per connection, the time and the lock follow the unit,
    // line noise and an overlong frame pass, and each kind of operator action reaches the unit byte for byte.
    void settingsLoadOncePerConnection_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<QString>("lineSettings");
        QTest::newRow("device") << "device" << "9600 8N1";
        QTest::newRow("ser2net raw") << "raw" << "19200 8N2 RTS/CTS";
        QTest::newRow("ser2net rfc2217") << "rfc2217" << "9600 8N1";
    }
    void settingsLoadOncePerConnection()
    {
        QFETCH(QString, via);
        QFETCH(QString, lineSettings);
        SimulatedUnit unit({"--gps", "--time-zone", "14", "--read-mode", "4", "--generate-mode", "2", "--freeze",
                            "--binary-seconds", "--control-function", "2", "--offset", "250", "--lock-after", "0.2",
                            "--start", "2009-05-03T14:05:09", "--garbage-at", "0.3", "--overlong-at", "0.4"});
        Ser2net server(unit.link);
        QVERIFY2(via == "device" || server.start(), qPrintable(server.log()));
        Panel panel(via == "raw" ? server.rawUrl() : via == "rfc2217" ? server.rfc2217Url() : unit.link);
        const QString settings = "cmbTimeZone cmbReadMode cmbGenerateMode cmbControlFunction chkFreeze chkReaderEnable "
                                 "chkBinarySeconds txtOffset";
        // On a busy computer ser2net may drop the line's first connection at once (seen with RFC 2217: the start-up
        // probe's connection, still closing, meets the line's own under kickolduser); the panel opens it again,
        // quietly, and the settings load on the connection that stands.
        QTRY_COMPARE_WITH_TIMEOUT(panel.ui.state(settings), "14/49, 4/7, 2/3, 2/3, 1, 1, 1, 250", Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!unit.lines().filter("-- reader locked").isEmpty(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(panel.ui.text("lblLock"), "Locked", Patience);
        QTRY_COMPARE_WITH_TIMEOUT(unit.lines().filter(QRegularExpression("^-- (garbage|overlong)")).size(), 2, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(panel.ui.lblGeneratorTime->text() >= "123 14:05:11", Patience);
        QCOMPARE(lineSettingsOf(unit.path), lineSettings);

        const qsizetype mark = unit.lines().size();
        panel.type("txtOffset", "0012");
        Operator::click(panel.ui.box("chkReaderEnable"));
        QVERIFY(Operator::pick(panel.ui.list("cmbReadMode"), 6));
        QTRY_COMPARE_WITH_TIMEOUT(panel.ui.text("lblLock"), "Unlocked", Patience);  // so the time can be set
        panel.setTime("255 13 7 9 26");  // 0x0D and 0xFF
        QTRY_COMPARE_WITH_TIMEOUT(unit.received(mark), (QStringList{"SetOffset 0 us [00 00 00 00 09 FA]",
            "SetOffset 0 us [00 00 00 00 09 FA]", "SetOffset 1 us [00 00 00 01 09 FA]", "SetOffset 12 us [00 00 01 02 09 FA]",
            "SetReaderEnable 0 off [00 05 FA]", R"(SetReadMode 6 "GPS" [06 02 FA])",
            "SetTime 255 13:07:09 [02 37 0D 07 09 00 FA]", "SetYear 26 (2026) [1A 0A FA]"}), Patience);
        QVERIFY(Operator::pick(panel.ui.cmbComports, 0));
        QTRY_COMPARE_WITH_TIMEOUT(panel.ui.state(settings), "14/49, 6/7, 2/3, 2/3, 1, 0, 1, 12", Patience);
        QVERIFY(panel.ui.messages().isEmpty());
    }

    // A unit that stops reporting on a line that stays open is shown as silent, and then sleeps; it still takes commands,
    // and its next reports put the time and the lamp back, the operator's settings left as they are.
    void silentUnit()
    {
        SimulatedUnit unit({"--lock-after", "0", "--read-mode", "4"});
        Panel panel(unit.link);
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected() && panel.ui.text("lblLock") == "Locked", Patience);
        ::kill(pid_t(unit.process.processId()), SIGUSR1);
        QTRY_COMPARE_WITH_TIMEOUT(panel.ui.state("lblGeneratorTime lblLock"), "No Reports, Unlocked", 5000);
        QCOMPARE(panel.ui.find<QLabel>("imgLock")->pixmap().toImage(), Artwork::lockLamp(false).toImage());
        expectIdle();
        QVERIFY(Operator::pick(panel.ui.list("cmbReadMode"), 2));
        QTRY_COMPARE_WITH_TIMEOUT(unit.received(0).filter("SetReadMode"), QStringList{R"(SetReadMode 2 "IRIG-G Analog" [02 02 FA])"}, Patience);
        ::kill(pid_t(unit.process.processId()), SIGUSR2);
        QTRY_VERIFY_WITH_TIMEOUT(panel.ui.lblGeneratorTime->text().contains(QRegularExpression("^\\d+ \\d\\d:")), 2000);
        QTRY_COMPARE(panel.ui.state("lblLock cmbReadMode"), "Locked, 2/6");
    }

    // Time reports as a program on the line sees them by the computer's clock: each terminator --phase after the second
    // named, less --ahead, moved by the jitter the trace notes; the seconds named one on (skipped) or back (repeated)
    // from the 4th report on, as the trace says. Rows are named as the start line states their timing.
    void reportsKeepTheirTime_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<double>("offset");  // arrival minus the second named
        QTest::newRow("phase 0.300 s, jitter 0.000 s, ahead 0.000 s") << QStringList{"--phase", "0.300", "--skip-at", "3"} << 0.3;
        QTest::newRow("phase 0.000 s, jitter 0.000 s, ahead 0.120 s") << QStringList{"--ahead", "0.120", "--repeat-at", "3"} << -0.12;
        QTest::newRow("phase 0.300 s, jitter 0.000 s, ahead -2.500 s") << QStringList{"--ahead", "-2.5", "--phase", "0.3"} << 2.8;
        QTest::newRow("phase 0.500 s, jitter 0.100 s, ahead 0.000 s") << QStringList{"--phase", "0.5", "--jitter", "0.1"} << 0.5;
    }
    void reportsKeepTheirTime()
    {
        QFETCH(QStringList, options);
        QFETCH(double, offset);
        const int step = options.contains("--skip-at") ? 1 : options.contains("--repeat-at") ? -1 : 0;  // after report 3
        SimulatedUnit unit(QStringList{"--interval", "1000"} + options);
        const int fd = ::open(unit.path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        const auto closing = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(fd >= 0 && ::tcflush(fd, TCIFLUSH) == 0);  // no report from before the reading began
        QList<std::pair<QByteArray, double>> reports;  // each time report read, and its terminator's arrival
        QByteArray bytes;
        for (pollfd line{fd, POLLIN, 0}; reports.size() < 5 && ::poll(&line, 1, Patience) == 1;) {
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME, &now);
            QVERIFY2(n > 0, "the line failed");
            for (bytes.append(buffer, n); bytes.contains('\xFE'); bytes.remove(0, bytes.indexOf('\xFE') + 1))
                if (const QByteArray frame = bytes.first(bytes.indexOf('\xFE') + 1).right(10); frame.startsWith('\xFF'))
                    reports.append({frame, now.tv_sec + now.tv_nsec / 1e9});  // not the rest of one begun before
        }
        QCOMPARE(reports.size(), 5);
        const auto hex = [](const QByteArray &frame) { return QString(frame.toHex(' ').toUpper()); };
        QStringList trace;
        QTRY_VERIFY_WITH_TIMEOUT((trace = unit.lines().filter(QRegularExpression("^(-> Time|-- unit|-- second)")))
                                     .join('\n').contains(hex(reports.last().first)), Patience);  // up to the last read
        QVERIFY2(trace[0].endsWith(QTest::currentDataTag()), qPrintable(trace[0]));
        if (step)
            QCOMPARE(trace.takeAt(4), QString("-- second %1 after time report 3 (%2): the clock steps 1 s %3")
                     .arg(step > 0 ? "skipped" : "repeated", trace[3].section(' ', 2, 3), step > 0 ? "forward" : "back"));
        const qsizetype first = trace.indexOf(QRegularExpression(".*" + hex(reports[0].first) + ".*"));
        QVERIFY2(first > 0, qPrintable(trace.join('\n')));  // reports[0] is the unit's report `first`, counted from 1
        const QRegularExpression sent("^-> TimeReport .*\\[(.*)\\]( at (\\S+) s \\(due (\\S+) s, jitter (\\S+) s\\))?$");
        for (qsizetype i = 0; i < reports.size(); ++i) {
            const auto &[frame, arrival] = reports[i];
            const QRegularExpressionMatch traced = sent.match(trace[first + i]);
            QCOMPARE(traced.captured(1), hex(frame));
            // The jitter noted (only with --jitter), and when the unit wrote the report against that.
            const double jitter = traced.captured(5).toDouble();
            const double late = traced.captured(3).toDouble() - traced.captured(4).toDouble() - jitter;
            QVERIFY2(traced.captured(2).isEmpty() != options.contains("--jitter") && late >= 0 && late < 0.05,
                     qPrintable(trace[first + i]));
            const qint64 named = (QDate(2000 + frame[6], frame[7], frame[8]).toJulianDay() - 2440588) * 86400
                                 + frame[3] * 3600 + frame[4] * 60 + frame[5];
            QVERIFY2(qAbs(arrival - named - offset - jitter + (first + i > 3 ? step : 0)) < 0.05,
                     qPrintable(QString::number(arrival - named)));
        }
    }

    // A line named for this run whose server is not up yet, then up with the device missing (ser2net closes each
    // connection, raw or after the RFC 2217 negotiation): shown as lost, awaited quietly, opened once the device is there.
    void lineAwaitedUntilItsDeviceComes_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("raw") << false;
        QTest::newRow("rfc2217") << true;
    }
    void lineAwaitedUntilItsDeviceComes()
    {
        QFETCH(bool, rfc2217);
        QTemporaryDir dir;
        Ser2net server(dir.filePath("unit-line"));
        Panel panel(rfc2217 ? server.rfc2217Url() : server.rawUrl(), true);
        QVERIFY(panel.ui.state("lblGeneratorTime cmbReadMode") == "Not Connected, !-1/7" && panel.ui.messages().size() == 1);
        QCOMPARE(panel.ui.cmbComports->currentText(), rfc2217 ? server.rfc2217Url() : server.rawUrl());  // as named
        QVERIFY2(server.start(), qPrintable(server.log()));
        const Idleness idle = measureIdle(1500);  // the attempt after 1 s
        QVERIFY2(idle.wakeUps <= 30 && idle.cpuMilliseconds < 100, qPrintable(idle.describe()));
        SimulatedUnit unit({"--start", "2009-05-03T14:05:09"}, dir.filePath("unit-line"));
        QTRY_VERIFY_WITH_TIMEOUT(panel.ui.lblGeneratorTime->text().startsWith("123 14:05:"), Patience);
        QTRY_VERIFY(panel.ui.messages().isEmpty());
        QVERIFY(!panel.settings.value("Settings/Comport").isValid());  // nothing remembered
    }

    // Connections that end at once, here after a few bytes, are failed attempts: each waits twice as long as the one
    // before (after the probe and the two openings of start-up, 1 s, then 2 s).
    void connectionsThatEndAtOnceBackOff()
    {
        PlayedServer server("abc", PlayedServer::End::Close);
        Panel panel(QString("tcp://127.0.0.1:%1").arg(server.port()));
        QTRY_VERIFY_WITH_TIMEOUT(server.connections().size() >= 5, Patience);
        const QList<qint64> at = server.connections();
        QVERIFY2(at[3] - at[2] >= 900 && at[4] - at[3] >= 1800, qPrintable(QString::number(at[4] - at[2])));
    }

    // Two panels on one line behind ser2net with kickolduser take it from each other in turn, each waiting twice as long
    // as before: a panel gets the line back for the third time at least 4 s after the second.
    void twoPanelsTakeTurns()
    {
        SimulatedUnit unit({});
        Ser2net server(unit.link);
        QVERIFY2(server.start(), qPrintable(server.log()));
        std::array<QList<qint64>, 2> returns;
        std::array<std::unique_ptr<Panel>, 2> panels;
        for (int i = 0; i < 2; ++i) {
            panels[i] = std::make_unique<Panel>(server.rawUrl(), true);
            QObject::connect(panels[i]->serial, &PortService::returned, [&, i] { returns[i] << QDateTime::currentMSecsSinceEpoch(); });
            QTRY_VERIFY_WITH_TIMEOUT(panels[i]->connected(), Patience);
        }
        QTRY_VERIFY_WITH_TIMEOUT(returns[0].size() >= 3 && returns[1].size() >= 3, 30000);
        for (const QList<qint64> &times : returns)
            QVERIFY2(times[2] - times[1] >= 3500, qPrintable(QString::number(times[2] - times[1])));
    }
};

QTEST_MAIN(RealLineTest)
#include "tst_realline.moc"
