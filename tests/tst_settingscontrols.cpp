// The operator's changes to the eight settings controls leave as commands:
// one frame per pick or click, none while a report is applied, none while no
// port is open.

#include "operator.h"
#include "panel.h"
#include "pseudoterminal.h"
#include "frames.h"
#include "testenv.h"

#include "device/serialportservice.h"
#include "panel/frm718.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

using namespace Reports;

namespace {

// A unit with dates offers "GPS" and "Encoded Year"; one without shows the
// leap-year box.
QByteArray UnitWithDates()
{
    return TimeWithDate(1, 0, 0, 0, 2026, 1, 1) + Status(24, 1, 1, 0x10, 1, Digits(0));
}
QByteArray UnitWithoutDates()
{
    return Time(1, 0, 0, 0) + Status(24, 1, 1, 0x10, 0, Digits(0));
}
} // namespace

class SettingsControlsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<frm718> window;
    FakePort *port = nullptr;

    // A shown window whose port 1 is open and whose unit has reported.
    void Connect(const QByteArray &unit)
    {
        window = StartOnFakeLine(*settings, {1}, 1, port);
        port->receive(unit);
        QVERIFY(ShowActive(window.get()));
        QVERIFY(Controls{*window}.cmbReadMode->isEnabled());
        QVERIFY(port->written.isEmpty());
    }
    template <class Control>
    Control *Find(const QString &name) { return window->findChild<Control *>(name); }

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    void operatorPicks_data()
    {
        QTest::addColumn<bool>("dates");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("IRIG-B TTL") << true << "cmbReadMode" << 4 << Hex("04 02 FA");
        QTest::newRow("IRIG-A Analog") << true << "cmbReadMode" << 0 << Hex("00 02 FA");
        QTest::newRow("GPS") << true << "cmbReadMode" << 6 << Hex("06 02 FA");
        QTest::newRow("IRIG-G generated") << true << "cmbGenerateMode" << 2 << Hex("02 03 FA");
        QTest::newRow("zone -12") << true << "cmbTimeZone" << 0 << Hex("00 01 FA");
        QTest::newRow("zone -5 Eastern") << true << "cmbTimeZone" << 14 << Hex("0E 01 FA");
        QTest::newRow("zone -0.5") << true << "cmbTimeZone" << 23 << Hex("17 01 FA");
        QTest::newRow("zone +0.5") << true << "cmbTimeZone" << 25 << Hex("19 01 FA");
        QTest::newRow("zone +5.5") << true << "cmbTimeZone" << 35 << Hex("23 01 FA");
        QTest::newRow("zone 7.5") << true << "cmbTimeZone" << 39 << Hex("27 01 FA");
        QTest::newRow("zone +12") << true << "cmbTimeZone" << 48 << Hex("30 01 FA");
        QTest::newRow("Encoded Year") << true << "cmbControlFunction" << 2 << Hex("02 08 FA");
        QTest::newRow("Off") << false << "cmbControlFunction" << 0 << Hex("00 08 FA");
    }

    // One pick, one frame; the list shows the pick.
    void operatorPicks()
    {
        QFETCH(bool, dates);
        QFETCH(QString, list);
        QFETCH(int, entry);
        QFETCH(QByteArray, frame);
        Connect(dates ? UnitWithDates() : UnitWithoutDates());
        auto *control = Find<QComboBox>(list);
        QVERIFY(Operator::Pick(control, entry));
        QCOMPARE(port->written, QList<QByteArray>{frame});
        QCOMPARE(control->currentIndex(), entry);
    }

    // The unit is told again when the operator picks the entry it shows.
    void pickingTheSelectedEntrySendsAgain()
    {
        Connect(UnitWithDates());
        QCOMPARE(Find<QComboBox>("cmbTimeZone")->currentIndex(), 24);
        QVERIFY(Operator::Pick(Find<QComboBox>("cmbTimeZone"), 24));
        QVERIFY(Operator::Pick(Find<QComboBox>("cmbTimeZone"), 24));
        QCOMPARE(port->written, (QList<QByteArray>{Hex("18 01 FA"), Hex("18 01 FA")}));
    }

    void keyboardPicks()
    {
        Connect(UnitWithDates());
        auto *generate = Find<QComboBox>("cmbGenerateMode");
        generate->setFocus();
        QTest::keyClick(generate, Qt::Key_Down);
        QTest::keyClick(generate, Qt::Key_Down);
        QTest::keyClick(generate, Qt::Key_Down);  // already the last entry: no pick
        QCOMPARE(port->written, (QList<QByteArray>{Hex("02 03 FA")}));
        QCOMPARE(generate->currentIndex(), 2);
    }

    void boxClicks_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::newRow("Output Freeze") << "chkFreeze" << QList<QByteArray>{Hex("01 04 FA"), Hex("00 04 FA")};
        QTest::newRow("Reader Enabled") << "chkReaderEnable" << QList<QByteArray>{Hex("01 05 FA"), Hex("00 05 FA")};
        QTest::newRow("Leap Year") << "chkLeapYear" << QList<QByteArray>{Hex("01 06 FA"), Hex("00 06 FA")};
        QTest::newRow("Binary Seconds") << "chkBinarySeconds" << QList<QByteArray>{Hex("01 07 FA"), Hex("00 07 FA")};
    }

    // Ticking and clearing a box: two clicks, two frames.
    void boxClicks()
    {
        QFETCH(QString, box);
        QFETCH(QList<QByteArray>, frames);
        Connect(UnitWithoutDates());
        auto *control = Find<QCheckBox>(box);
        QVERIFY(!control->isChecked());
        Operator::Click(control);
        QVERIFY(control->isChecked());
        Operator::Click(control);
        QVERIFY(!control->isChecked());
        QCOMPARE(port->written, frames);

        // The space bar clicks too.
        port->written.clear();
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Space);
        QCOMPARE(port->written, QList<QByteArray>{frames[0]});
    }

    // A change made by the program raises the same notification as the
    // operator's; with no entry selected there is no position to send.
    void programmaticChanges()
    {
        Connect(UnitWithDates());
        Controls{*window}.cmbReadMode->setCurrentIndex(3);
        Controls{*window}.chkFreeze->setChecked(true);
        Controls{*window}.cmbTimeZone->setCurrentIndex(-1);
        Controls{*window}.cmbControlFunction->setCurrentIndex(-1);
        QCOMPARE(port->written, (QList<QByteArray>{Hex("03 02 FA"), Hex("01 04 FA")}));
    }

    void nothingSentWithoutAnOpenPort()
    {
        window = StartOnFakeLine(*settings, {}, 0, port);
        QVERIFY(ShowActive(window.get()));
        QVERIFY(Operator::Pick(Controls{*window}.cmbReadMode, 5));
        Operator::Click(Controls{*window}.chkReaderEnable);
        QVERIFY(port->written.isEmpty());
        QCOMPARE(Controls{*window}.cmbReadMode->currentIndex(), 5);
        QVERIFY(Controls{*window}.chkReaderEnable->isChecked());
    }

    // Loading a report that changes every control sends nothing back, even
    // where an entry the operator had picked is withdrawn.
    void applyingAReportSendsNothing()
    {
        Connect(UnitWithDates());
        QVERIFY(Operator::Pick(Controls{*window}.cmbReadMode, 6));              // GPS
        QVERIFY(Operator::Pick(Controls{*window}.cmbControlFunction, 2));       // Encoded Year
        port->written.clear();

        QVERIFY(Operator::Pick(Controls{*window}.cmbComports, 0));  // open the port anew
        port->receive(Status(3, 5, 2, 0x01 | 0x02 | 0x04, 0, Digits(4321)));
        QVERIFY(port->written.isEmpty());
        const Controls ui{*window};
        QCOMPARE(ui.cmbTimeZone->currentIndex(), 3);
        QCOMPARE(ui.cmbReadMode->count(), 6);
        QCOMPARE(ui.cmbReadMode->currentIndex(), 5);
        QCOMPARE(ui.cmbGenerateMode->currentIndex(), 2);
        QCOMPARE(ui.cmbControlFunction->currentIndex(), 0);
        QVERIFY(ui.chkFreeze->isChecked() && ui.chkReaderEnable->isChecked() && ui.chkBinarySeconds->isChecked());
        QCOMPARE(ui.txtOffset->text(), QString("4321"));

        // The operator's next change goes out again.
        Operator::Click(Controls{*window}.chkFreeze);
        QCOMPARE(port->written, QList<QByteArray>{Hex("00 04 FA")});
    }

    // A write the line refuses is a line failure: the port is reopened, or
    // shown as lost when it cannot be.
    void failedWriteIsALineFailure()
    {
        Connect(UnitWithDates());
        port->failWrites = true;
        port->opened.clear();
        Controls{*window}.cmbGenerateMode->setCurrentIndex(0);
        QCOMPARE(port->opened, QList<qint16>{1});
        QVERIFY(window->findChildren<QMessageBox *>().isEmpty());

        port->present.clear();
        Controls{*window}.cmbGenerateMode->setCurrentIndex(2);
        QVERIFY(!port->isOpen());
        QCOMPARE(window->findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(Controls{*window}.lblGeneratorTime->text(), QString("Not Connected"));
        QCOMPARE(Controls{*window}.lblLock->text(), QString("Unlocked"));
        QCOMPARE(Controls{*window}.cmbGenerateMode->currentIndex(), 2);
    }

    // On a real line the unit's side reads exactly the operator's frames.
    void framesOnARealLine()
    {
        Pty pty;
        settings->hideMachinePorts();
        settings->set("Ports/9", pty.slavePath());
        settings->set("Settings/Comport", "9");
        window = std::make_unique<frm718>(new SerialPortService);
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(pty.write(UnitWithDates()));
        QTRY_VERIFY(Controls{*window}.cmbReadMode->isEnabled());

        QVERIFY(Operator::Pick(Controls{*window}.cmbReadMode, 4));
        Operator::Click(Controls{*window}.chkFreeze);
        QVERIFY(Operator::Pick(Controls{*window}.cmbTimeZone, 35));
        const QByteArray expected = Hex("04 02 FA 01 04 FA 23 01 FA");
        QByteArray atUnit;
        QTRY_COMPARE((atUnit += pty.readAvailable()), expected);

        // A change made just before the port is opened anew still leaves,
        // and so does one made just before the window closes.
        Controls{*window}.cmbGenerateMode->setCurrentIndex(0);
        Controls{*window}.cmbComports->setCurrentIndex(-1);
        Controls{*window}.cmbComports->setCurrentIndex(0);
        Controls{*window}.cmbGenerateMode->setCurrentIndex(2);
        window.reset();
        atUnit.clear();
        QTRY_COMPARE((atUnit += pty.readAvailable()), Hex("00 03 FA 02 03 FA"));
    }
};

QTEST_MAIN(SettingsControlsTest)
#include "tst_settingscontrols.moc"
