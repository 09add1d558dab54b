// The real serial line: QSerialPort on pseudo-terminals named in the
// settings, as an operator would name a USB adapter.

#include "idle.h"
#include "pseudoterminal.h"
#include "testenv.h"

#include "device/portdevices.h"
#include "device/portselection.h"
#include "device/serialportservice.h"
#include "panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <QMessageBox>

#include <sys/stat.h>

class SerialLineTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init()
    {
        settings = std::make_unique<TempSettings>();
        settings->hideMachinePorts();
    }
    void cleanup() { settings.reset(); }

    // A port named by its path, or by a bare name that the serial layer
    // looks up in /dev itself (as COM3 is on Windows).
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
        QVERIFY(pty.isValid());
        const QString name = QString("qv718-test-%1").arg(QCoreApplication::applicationPid());
        const QString entry = bareName ? name : pty.slavePath();
        if (bareName)
            QVERIFY2(QFile::link(pty.slavePath(), "/dev/" + name), "a link in /dev needs root");
        const auto unlink = qScopeGuard([&] { QFile::remove("/dev/" + name); });
        settings->set("Ports/7", entry);
        QCOMPARE(Module1::DevicePathForPort(7), entry);

        SerialPortService line;
        line.setPortNumber(7);
        QVERIFY(line.open());
        QVERIFY(line.isOpen());

        // Program to unit.
        const QByteArray frame("\x04\x02\xFA", 3);
        QVERIFY(line.write(frame));
        QByteArray atUnit;
        QTRY_COMPARE((atUnit += pty.readAvailable()), frame);

        // Unit to program, all 256 byte values unchanged.
        QByteArray every(256, 0);
        for (int i = 0; i < 256; ++i)
            every[i] = char(i);
        QSignalSpy received(&line, &PortService::received);
        QVERIFY(received.isValid());
        QVERIFY(pty.write(every));
        QByteArray atProgram;
        QTRY_VERIFY([&] {
            QByteArray block;
            if (!line.readInput(block))
                return false;
            atProgram += block;
            return atProgram.size() >= every.size();
        }());
        QCOMPARE(atProgram, every);
        QVERIFY(received.count() >= 1);

        line.close();
        QVERIFY(!line.isOpen());
    }

    // Only real serial lines are listed; nothing in the way blocks the scan.
    void scanListsOnlySerialLines()
    {
        Pty pty;
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QFile regular(dir.filePath("regular"));
        QVERIFY(regular.open(QIODevice::WriteOnly));
        regular.write("not a tty");
        regular.close();

        settings->set("Ports/1", dir.path());
        settings->set("Ports/2", regular.fileName());
        settings->set("Ports/3", "/dev/null");
        settings->set("Ports/4", fifo);
        settings->set("Ports/5", dir.filePath("missing"));
        settings->set("Ports/6", pty.slavePath());

        SerialPortService line;
        Module1::PortState ports;
        Module1::ScanComports(line, ports);
        QCOMPARE(ports.AvailablePorts, QList<qint16>{6});
        QVERIFY(!line.isOpen());
    }

    // Report frames written in pieces on the unit's side reach the window.
    void reportsReachTheWindow()
    {
        Pty pty;
        settings->set("Ports/7", pty.slavePath());
        settings->set("Settings/Comport", "7");
        auto *line = new SerialPortService;
        frm718 window(line);
        window.Form_Load();
        QLabel *time = Controls{window}.lblGeneratorTime;

        const QByteArray report = QByteArray::fromHex("FF0117090509090503FE");
        QSignalSpy arrived(line, &PortService::received);
        QVERIFY(pty.write(report.left(3)));
        QVERIFY(arrived.wait());
        QVERIFY(pty.write(report.mid(3, 4)));
        QVERIFY(arrived.wait());
        QCOMPARE(time->text(), QString("Not Connected"));
        QVERIFY(pty.write(report.mid(7)));
        QTRY_COMPARE(time->text(), QString("123 09:05:09   |   05-03-2009"));

        QVERIFY(pty.write(QByteArray::fromHex("FF180102430202000500FC")));
        QTRY_COMPARE(Controls{window}.txtOffset->text(), QString("2050"));
        QCOMPARE(Controls{window}.lblLock->text(), QString("Locked"));
    }

    // The far end hangs up. A line whose device is gone shows as lost, once;
    // one hung up under a device that stays (TIOCVHANGUP, as a modem hang-up
    // or a getty would) is reopened quietly and works on. Either way the
    // program then sleeps instead of spinning on the dead line.
    void hangUpLeavesTheProgramIdle_data()
    {
        QTest::addColumn<bool>("deviceStays");
        QTest::newRow("master closes") << false;
        QTest::newRow("line hung up") << true;
    }
    void hangUpLeavesTheProgramIdle()
    {
        QFETCH(bool, deviceStays);
        Pty pty;
        settings->set("Ports/7", pty.slavePath());
        settings->set("Settings/Comport", "7");
        auto *line = new SerialPortService;
        frm718 window(line);
        window.Form_Load();
        QVERIFY(pty.write(QByteArray::fromHex("FF0117090509FE") + QByteArray::fromHex("FF180102430202000500FC")));
        QTRY_COMPARE(Controls{window}.lblLock->text(), QString("Locked"));
        QSignalSpy arrived(line, &PortService::received);
        QVERIFY(pty.write(QByteArray::fromHex("FF0117")));  // hang up in the middle of a frame
        QVERIFY(arrived.wait());

        if (deviceStays)
            QVERIFY2(pty.vhangup(), "TIOCVHANGUP needs root");
        else
            pty.hangUp();
        QVERIFY(arrived.wait());  // the failure, handled
        QCOMPARE(line->isOpen(), deviceStays);
        QCOMPARE(window.findChildren<QMessageBox *>().size(), deviceStays ? 0 : 1);
        if (deviceStays) {
            QVERIFY(pty.write(QByteArray::fromHex("FF0117090510FE")));
            QTRY_COMPARE(Controls{window}.lblGeneratorTime->text(), QString("123 09:05:16"));
        } else {
            QCOMPARE(Controls{window}.lblGeneratorTime->text(), QString("Not Connected"));
            QCOMPARE(Controls{window}.lblLock->text(), QString("Unlocked"));
        }

        const Idleness idle = MeasureIdle();
        QVERIFY2(idle.isIdle(), qPrintable(idle.describe()));
        QCOMPARE(window.findChildren<QMessageBox *>().size(), deviceStays ? 0 : 1);
    }

    // A command given after the far end hung up, before the program has
    // noticed: the failed write is a line failure like any other.
    void commandToAHungUpLine()
    {
        Pty pty;
        settings->set("Ports/7", pty.slavePath());
        settings->set("Settings/Comport", "7");
        auto *line = new SerialPortService;
        frm718 window(line);
        window.Form_Load();
        QVERIFY(line->isOpen());

        pty.hangUp();
        Controls{window}.cmbGenerateMode->setCurrentIndex(2);
        Controls{window}.chkFreeze->setChecked(true);
        QTRY_COMPARE(window.findChildren<QMessageBox *>().size(), 1);
        QVERIFY(!line->isOpen());
        QCOMPARE(Controls{window}.lblGeneratorTime->text(), QString("Not Connected"));
        QCOMPARE(Controls{window}.cmbGenerateMode->currentIndex(), 2);

        MeasureIdle();
        const Idleness idle = MeasureIdle();
        QVERIFY2(idle.isIdle(), qPrintable(idle.describe()));
        QCOMPARE(window.findChildren<QMessageBox *>().size(), 1);
    }
};

QTEST_MAIN(SerialLineTest)
#include "tst_serialline.moc"
