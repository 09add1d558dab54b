// The panel and the simulated unit as two programs on one pseudo-terminal:
// qv718-sim runs as its own process, the real window talks to it through the
// real serial line. What the unit received is read from its log, what it
// sends from its trace.

#include "idle.h"
#include "operator.h"
#include "panel.h"

#include "device/lists.h"
#include "device/serialportservice.h"
#include "panel/frm718.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>

namespace {

// Waits for things that take a real process and a real line; generous, as a
// loaded machine may be slow. Nothing waits longer than its condition needs.
constexpr int Patience = 15000;

// Reports every 20 ms instead of every second.
const QStringList FastReports{"--interval", "20", "--trace"};

// qv718-sim as a process of its own, keeping its log.
class SimulatedUnit
{
public:
    explicit SimulatedUnit(const QStringList &options)
    {
        m_link = m_dir.filePath("unit-line");
        QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
            m_log += QString::fromUtf8(m_process.readAllStandardError());
        });
        m_process.start(QStringLiteral(QV718_SIM), QStringList{"--link", m_link} + FastReports + options);
        // The first line of its output names the line, once it is open.
        const QDeadlineTimer deadline(Patience);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~SimulatedUnit()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(Patience))
                m_process.kill();
        }
    }

    QProcess &process() { return m_process; }
    QString link() const { return m_link; }
    QString path() const { return m_path; }

    // Log lines so far, without their time of day.
    QStringList lines() const
    {
        QStringList lines;
        for (const QString &line : m_log.split('\n', Qt::SkipEmptyParts))
            lines << line.section(' ', 1);
        return lines;
    }
    // Commands received after the first `skip` log lines, as logged.
    QStringList received(qsizetype skip) const
    {
        QStringList received;
        for (const QString &line : lines().mid(skip)) {
            if (line.startsWith("<- "))
                received << line.mid(3);
        }
        return received;
    }
    // The bytes of the newest status report sent after the first `skip` log
    // lines.
    QByteArray lastStatusReport(qsizetype skip) const
    {
        const QStringList sent = lines().mid(skip).filter(QRegularExpression("^-> StatusReport"));
        return sent.isEmpty() ? QByteArray() : QByteArray::fromHex(sent.last().section('[', -1).toLatin1());
    }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QString m_path;
    QProcess m_process;
    QString m_log;
};

// The panel as the operator starts it, with the unit's line as port 1.
class Panel
{
public:
    explicit Panel(const QString &line)
    {
        settings.hideMachinePorts();
        settings.set("Ports/1", line);
        settings.set("Settings/Comport", "1");
        window = std::make_unique<frm718>(serial = new SerialPortService);
        window->Form_Load();
        window->show();
    }

    template<typename T>
    T *find(const QString &name) const
    {
        return window->findChild<T *>(name);
    }
    Controls ui() const { return Controls{*window}; }
    // The unit's settings have been loaded: the controls are enabled again.
    bool connected() const { return ui().cmbReadMode->isEnabled(); }

    TempSettings settings;
    std::unique_ptr<frm718> window;
    SerialPortService *serial = nullptr;
};

// Replaces a text field's whole text by typing, as an operator does.
void TypeInto(QLineEdit *field, const QString &text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

    // Operator rows share one unit and one window while the unit's options
    // stay the same.
    std::unique_ptr<SimulatedUnit> m_unit;
    std::unique_ptr<Panel> m_panel;
    QStringList m_unitOptions;

private slots:
    void initTestCase()
    {
        UseProgramIdentity();
        QVERIFY(QFileInfo(QV718_SIM).isExecutable());
    }
    void cleanup()
    {
        for (QMessageBox *box : Messages())
            box->close();
    }
    void cleanupTestCase()
    {
        m_panel.reset();
        m_unit.reset();
    }

    // The time text shows the unit's clock, and runs on with it.
    void timeFollowsTheUnit_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("withDate");
        QTest::addColumn<bool>("leapYear");

        QTest::newRow("with date, into the new year")
            << QStringList{"--form", "8", "--start", "2008-12-31T23:59:59.6"}
            << "366 23:59:59   |   12-31-2008" << "001 00:00:00   |   01-01-2009" << true << true;
        QTest::newRow("time only")
            << QStringList{"--form", "5", "--start", "2008-02-29T12:00:59.6"}
            << "060 12:00:59" << "060 12:01:00" << false << true;
    }
    void timeFollowsTheUnit()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, first);
        QFETCH(QString, next);
        QFETCH(bool, withDate);
        QFETCH(bool, leapYear);

        SimulatedUnit unit(options);
        Panel panel(unit.link());
        QLabel *time = panel.ui().lblGeneratorTime;
        QTRY_VERIFY_WITH_TIMEOUT(time->text() == first || time->text() == next, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(time->text(), next, Patience);

        // The form of the unit decides between the year field and the
        // leap-year box.
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        QCOMPARE(panel.ui().txtYear->isVisible(), withDate);
        QCOMPARE(panel.ui().lblYear->isVisible(), withDate);
        QCOMPARE(panel.ui().chkLeapYear->isVisible(), !withDate);
        QCOMPARE(panel.ui().frameSetTime->x(),
                 withDate ? 64 : 40);
        if (!withDate)
            QCOMPARE(panel.ui().chkLeapYear->isChecked(), leapYear);
        QCOMPARE(panel.ui().cmbControlFunction->count(), withDate ? 3 : 2);
    }

    // The first status report fills the controls; later ones leave the
    // operator's choices alone, until the port is opened again.
    void settingsLoadOncePerConnection()
    {
        SimulatedUnit unit({"--gps", "--time-zone", "14", "--read-mode", "4", "--generate-mode", "2", "--freeze",
                            "--binary-seconds", "--control-function", "2", "--offset", "250", "--lock-after", "0"});
        Panel panel(unit.link());
        const Controls ui = panel.ui();
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        QCOMPARE(ui.cmbTimeZone->currentIndex(), 14);
        QCOMPARE(ui.cmbReadMode->count(), 7);
        QCOMPARE(ui.cmbReadMode->currentIndex(), 4);
        QCOMPARE(ui.cmbGenerateMode->currentIndex(), 2);
        QCOMPARE(ui.cmbControlFunction->currentText(), QString("Encoded Year"));
        QVERIFY(ui.chkFreeze->isChecked());
        QVERIFY(ui.chkReaderEnable->isChecked());
        QVERIFY(ui.chkBinarySeconds->isChecked());
        QCOMPARE(ui.txtOffset->text(), QString("250"));
        QVERIFY(ui.txtOffset->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblLock->text(), QString("Locked"), Patience);

        const qsizetype mark = unit.lines().size();
        TypeInto(ui.txtOffset, "0012");
        Operator::Click(ui.chkReaderEnable);
        const QStringList sent{"SetOffset 0 us [00 00 00 00 09 FA]", "SetOffset 0 us [00 00 00 00 09 FA]",
                               "SetOffset 1 us [00 00 00 01 09 FA]", "SetOffset 12 us [00 00 01 02 09 FA]",
                               "SetReaderEnable 0 off [00 05 FA]"};
        QTRY_COMPARE_WITH_TIMEOUT(unit.received(mark), sent, Patience);

        // A reader that is off reports no lock; the lamp follows every
        // report, the settings do not.
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblLock->text(), QString("Unlocked"), Patience);
        QCOMPARE(ui.txtOffset->text(), QString("0012"));

        // Opening the port again loads the unit's settings again.
        QVERIFY(Operator::Pick(ui.cmbComports, 0));
        QTRY_COMPARE_WITH_TIMEOUT(ui.txtOffset->text(), QString("12"), Patience);
        QVERIFY(panel.connected());
        QVERIFY(!ui.chkReaderEnable->isChecked());
        QCOMPARE(ui.cmbReadMode->currentIndex(), 4);
        QVERIFY(Messages().isEmpty());
    }

    // Each kind of operator action reaches the unit byte for byte (the
    // brackets of its log hold the bytes as they arrived), and the unit's
    // later reports carry the new setting. Rows run in order on one unit
    // while its options stay the same.
    void operatorActionsReachTheUnit_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("input");  // list position, text typed, or "day hour minute second [year]"
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<int>("reportAt");   // status report data position, or -1 for the time shown
        QTest::addColumn<QByteArray>("reportBytes");

        const QStringList dated{"--form", "8", "--gps", "--lock-after", "never", "--offset", "250"};
        const QStringList timeOnly{"--form", "5", "--start", "2008-06-01T00:00:00", "--lock-after", "never"};
        const auto bytes = [](const char *hex) { return QByteArray::fromHex(hex); };

        QTest::newRow("read mode GPS") << dated << "cmbReadMode" << "6"
                                       << QStringList{R"(SetReadMode 6 "GPS" [06 02 FA])"} << 1 << bytes("06");
        // Beyond the screen's height: the popup scrolls.
        QTest::newRow("time zone +12") << dated << "cmbTimeZone" << "48"
                                       << QStringList{R"(SetTimeZone 48 "+12" [30 01 FA])"} << 0 << bytes("30");
        QTest::newRow("encoded year") << dated << "cmbControlFunction" << "2"
                                      << QStringList{R"(SetControlFunction 2 "Encoded Year" [02 08 FA])"} << 4
                                      << bytes("02");
        // Flags: GPS 0x10 and reader 0x02 from the start.
        QTest::newRow("freeze ticked") << dated << "chkFreeze" << ""
                                       << QStringList{"SetOutputFreeze 1 on [01 04 FA]"} << 3 << bytes("13");
        QTest::newRow("offset typed") << dated << "txtOffset" << "1234"
                                      << QStringList{"SetOffset 1 us [00 00 00 01 09 FA]",
                                                     "SetOffset 12 us [00 00 01 02 09 FA]",
                                                     "SetOffset 123 us [00 01 02 03 09 FA]",
                                                     "SetOffset 1234 us [01 02 03 04 09 FA]"}
                                      << 5 << bytes("01020304");
        QTest::newRow("time set") << dated << "cmdSetTime" << "245 13 7 9 26"
                                  << QStringList{"SetTime 245 13:07:09 [02 2D 0D 07 09 00 FA]",
                                                 "SetYear 26 (2026) [1A 0A FA]"}
                                  << -1 << QByteArray();

        QTest::newRow("leap year cleared") << timeOnly << "chkLeapYear" << ""
                                           << QStringList{"SetLeapYear 0 off [00 06 FA]"} << 4 << bytes("00");
        // A time-only unit shows "Pass-Through" in the binary-seconds bit.
        QTest::newRow("pass-through") << timeOnly << "cmbControlFunction" << "1"
                                      << QStringList{R"(SetControlFunction 1 "Pass-Through" [01 08 FA])"} << 3
                                      << bytes("06");
        // The year field is hidden: the year comes from the computer's clock.
        const int year = QDate::currentDate().year() - 2000;
        QTest::newRow("time set, time only")
            << timeOnly << "cmdSetTime" << "7 0 0 30"
            << QStringList{"SetTime 007 00:00:30 [00 07 00 00 1E 00 FA]",
                           QString("SetYear %1 (%2) [%3 0A FA]")
                               .arg(year)
                               .arg(2000 + year)
                               .arg(QString("%1").arg(year, 2, 16, QChar('0')).toUpper())}
            << -1 << QByteArray();
    }
    void operatorActionsReachTheUnit()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, control);
        QFETCH(QString, input);
        QFETCH(QStringList, received);
        QFETCH(int, reportAt);
        QFETCH(QByteArray, reportBytes);

        if (!m_unit || options != m_unitOptions) {
            m_panel.reset();
            m_unit = std::make_unique<SimulatedUnit>(options);
            m_unitOptions = options;
            m_panel = std::make_unique<Panel>(m_unit->link());
        }
        SimulatedUnit &unit = *m_unit;
        Panel &panel = *m_panel;
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);

        const qsizetype mark = unit.lines().size();
        if (auto *list = panel.find<QComboBox>(control)) {
            QVERIFY(Operator::Pick(list, input.toInt()));
        } else if (auto *box = panel.find<QCheckBox>(control)) {
            Operator::Click(box);
        } else if (auto *field = panel.find<QLineEdit>(control)) {
            TypeInto(field, input);
        } else {
            const QStringList values = input.split(' ');
            const Controls ui = panel.ui();
            const QList<QLineEdit *> fields{ui.txtDay, ui.txtHour, ui.txtMinute, ui.txtSecond, ui.txtYear};
            for (int i = 0; i < values.size(); ++i)
                TypeInto(fields[i], values[i]);
            QTest::mouseClick(ui.cmdSetTime, Qt::LeftButton);
        }
        QTRY_COMPARE_WITH_TIMEOUT(unit.received(mark), received, Patience);

        if (reportAt >= 0) {
            QTRY_COMPARE_WITH_TIMEOUT(unit.lastStatusReport(mark).mid(1 + reportAt, reportBytes.size()).toHex(' '),
                                      reportBytes.toHex(' '), Patience);
        } else {
            // The time set is the time shown a moment later.
            const QStringList set = received.first().split(' ');  // SetTime day hh:mm:ss
            const QString second = set[2].right(2);
            const QRegularExpression shown(QString("^%1 %2:(%3|%4)( |$)")
                                               .arg(set[1], set[2].left(5), second)
                                               .arg(second.toInt() + 1, 2, 10, QChar('0')));
            QTRY_VERIFY2_WITH_TIMEOUT(shown.match(panel.ui().lblGeneratorTime->text()).hasMatch(),
                                      qPrintable(panel.ui().lblGeneratorTime->text()), Patience);
        }
    }

    // Line noise, overlong frames and reports that arrive a byte at a time
    // leave the panel showing the unit.
    void panelRidesOutLineFaults_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("event");

        QTest::newRow("garbage") << QStringList{"--garbage-at", "0.3"} << "-- garbage";
        QTest::newRow("overlong frame") << QStringList{"--overlong-at", "0.3"} << "-- overlong frame";
        QTest::newRow("byte by byte") << QStringList{"--split", "--interval", "50"} << "-> TimeReport";
    }
    void panelRidesOutLineFaults()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, event);

        SimulatedUnit unit(QStringList{"--start", "2009-05-03T14:05:09"} + options);
        Panel panel(unit.link());
        QTRY_VERIFY_WITH_TIMEOUT(!unit.lines().filter(event).isEmpty(), Patience);
        const qsizetype mark = unit.lines().size();
        // Wait for a report sent after the fault.
        QTRY_VERIFY_WITH_TIMEOUT(!unit.lines().mid(mark).filter("-> TimeReport").isEmpty(), Patience);
        const QRegularExpression time("^123 14:05:(09|1[0-9])   \\|   05-03-2009$");
        QTRY_VERIFY2_WITH_TIMEOUT(time.match(panel.ui().lblGeneratorTime->text()).hasMatch(),
                                  qPrintable(panel.ui().lblGeneratorTime->text()), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        QVERIFY(panel.serial->isOpen());
        QVERIFY(Messages().isEmpty());
    }

    // A unit that floods the line with status reports while the operator
    // works and the port is opened again and again: every change arrives
    // once, in order, and the full loads of the settings send nothing back.
    void statusFloodWhileTheOperatorWorks()
    {
        SimulatedUnit unit({"--status-interval", "1", "--gps", "--lock-after", "0"});
        Panel panel(unit.link());
        const Controls ui = panel.ui();
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);

        const qsizetype mark = unit.lines().size();
        QStringList expected;
        for (int round = 0; round < 7; ++round) {
            QVERIFY(Operator::Pick(ui.cmbReadMode, round));
            expected << QString(R"(SetReadMode %1 "%2" [%3 02 FA])")
                            .arg(round)
                            .arg(Lists::ReadModes[round])
                            .arg(round, 2, 10, QChar('0'));
            const bool tick = !ui.chkFreeze->isChecked();
            Operator::Click(ui.chkFreeze);
            expected << (tick ? "SetOutputFreeze 1 on [01 04 FA]" : "SetOutputFreeze 0 off [00 04 FA]");

            // Open the port anew: the next report loads every control.
            QVERIFY(Operator::Pick(ui.cmbComports, 0));
            QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        }
        // A last change marks the end: nothing may stand between.
        QVERIFY(Operator::Pick(ui.cmbGenerateMode, 0));
        expected << R"(SetGenerateMode 0 "IRIG-A" [00 03 FA])";
        QTRY_COMPARE_WITH_TIMEOUT(unit.received(mark), expected, Patience);
        QVERIFY(Messages().isEmpty());
    }

    // The unit going away gives the disconnected display once, and the panel
    // then sits idle.
    void unitHangsUp_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("signal");  // sent once connected; 0: none

        QTest::newRow("hang-up option") << QStringList{"--hang-up-after", "1.5"} << 0;
        QTest::newRow("terminated") << QStringList() << int(SIGTERM);
        QTest::newRow("interrupted") << QStringList() << int(SIGINT);
    }
    void unitHangsUp()
    {
        QFETCH(QStringList, options);
        QFETCH(int, signal);
        // Nothing else may run while the idle program is watched.
        m_panel.reset();
        m_unit.reset();

        SimulatedUnit unit(QStringList{"--lock-after", "0"} + options);
        QVERIFY(unit.path().startsWith("/dev/pts/"));
        QCOMPARE(QFileInfo(unit.link()).symLinkTarget(), unit.path());
        Panel panel(unit.link());
        const Controls ui = panel.ui();
        QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblLock->text(), QString("Locked"), Patience);
        if (signal)
            ::kill(pid_t(unit.process().processId()), signal);

        QTRY_VERIFY_WITH_TIMEOUT(unit.process().state() == QProcess::NotRunning, Patience);
        QCOMPARE(unit.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(unit.process().exitCode(), 0);
        QVERIFY(!QFileInfo(unit.link()).isSymLink());

        QTRY_VERIFY_WITH_TIMEOUT(!panel.serial->isOpen(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblGeneratorTime->text(), QString("Not Connected"), Patience);
        QCOMPARE(ui.lblLock->text(), QString("Unlocked"));

        const Idleness idle = MeasureIdle();
        QVERIFY2(idle.isIdle(), qPrintable(idle.describe()));

        const QList<QMessageBox *> messages = Messages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first()->text(), QString("Cannot open Comport"));
        QVERIFY(!panel.serial->isOpen());
        QCOMPARE(ui.lblGeneratorTime->text(), QString("Not Connected"));
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
