// What the unit's reports show: the generator time, the lock lamp, and the
// settings loaded once per connection.

#include "frames.h"
#include "panel.h"

#include "panel/artwork.h"
#include "panel/frm718.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>


using namespace Reports;

namespace {

struct Expected
{
    int readModes, readMode, generateMode, zone, functions, function;
    bool freeze, reader, binary, leapShown, leap;
    QString offset;
};

} // namespace
Q_DECLARE_METATYPE(Expected)

class StatusDisplayTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<frm718> window;
    FakePort *port = nullptr;

    // A window that has just opened port 1 and waits for the unit.
    void Connect()
    {
        window = StartOnFakeLine(*settings, {1}, 1, port);
        QVERIFY(port->isOpen());
    }
    Controls ui() { return Controls{*window}; }
    bool Locked() { return ui().lblLock->text() == "Locked" && ui().imgLock->pixmap().toImage() == Artwork::LockLamp(true).toImage(); }
    bool Unlocked() { return ui().lblLock->text() == "Unlocked" && ui().imgLock->pixmap().toImage() == Artwork::LockLamp(false).toImage(); }
    bool SettingsEnabled() { return ui().cmbReadMode->isEnabled() && ui().txtOffset->isEnabled() && ui().chkFreeze->isEnabled(); }
    bool SetTimeEnabled() { return ui().txtDay->isEnabled() && ui().cmdSetTime->isEnabled(); }
    int MessageCount() { return int(Messages().size()); }

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init()
    {
        settings = std::make_unique<TempSettings>();
        Connect();
    }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    void generatorTime_data()
    {
        QTest::addColumn<QList<QByteArray>>("reports");
        QTest::addColumn<QString>("text");
        QTest::newRow("time") << QList<QByteArray>{Time(123, 14, 5, 9)} << "123 14:05:09";
        QTest::newRow("early in the year") << QList<QByteArray>{Time(45, 8, 0, 0)} << "045 08:00:00";
        QTest::newRow("unchecked values") << QList<QByteArray>{Hex("FF 03 96 63 64 05 FE")} << "3150 99:100:05";
        QTest::newRow("with date") << QList<QByteArray>{TimeWithDate(123, 14, 5, 9, 2009, 5, 3)} << "123 14:05:09   |   05-03-2009";
        // The first report decides the form for the whole run.
        QTest::newRow("date form, then a short report") << QList<QByteArray>{TimeWithDate(123, 14, 5, 9, 2026, 12, 6), Time(200, 1, 2, 3)}
                                                        << "200 01:02:03   |   12-06-2026";
        QTest::newRow("short form, then a long report") << QList<QByteArray>{Time(200, 1, 2, 3), TimeWithDate(123, 14, 5, 9, 2026, 12, 6)}
                                                        << "123 14:05:09";
        QTest::newRow("first has 6 data bytes: no date") << QList<QByteArray>{Hex("FF 01 17 0E 05 09 1A FE"), TimeWithDate(1, 0, 0, 0, 2026, 1, 1)}
                                                         << "001 00:00:00";
    }

    void generatorTime()
    {
        QFETCH(QList<QByteArray>, reports);
        QFETCH(QString, text);
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));
        for (const QByteArray &report : reports)
            port->receive(report);
        QCOMPARE(ui().lblGeneratorTime->text(), text);
        QVERIFY(!SettingsEnabled());  // a time report alone loads nothing
    }

    // Before the unit's kind is known a status report only sets the lamp and
    // the set-time editor.
    void statusBeforeAnyTimeReport()
    {
        port->receive(Status(24, 1, 1, 0x43, 1, Digits(250)));
        QVERIFY(Locked());
        QVERIFY(!SetTimeEnabled());
        QVERIFY(!SettingsEnabled());
        QCOMPARE(ui().cmbReadMode->currentIndex(), -1);
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));

        port->receive(Status(24, 1, 1, 0x03, 1, Digits(250)));
        QVERIFY(Unlocked());
        QVERIFY(SetTimeEnabled());
        QVERIFY(!SettingsEnabled());
        // Still waiting: the first report after a time report loads.
        port->receive(Time(1, 0, 0, 0) + Status(24, 1, 1, 0x03, 1, Digits(250)));
        QVERIFY(SettingsEnabled());
    }

    void fullApplication_data()
    {
        QTest::addColumn<bool>("hasDate");
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<Expected>("expected");

        // readModes readMode generateMode zone functions function freeze reader binary leapShown leap offset
        QTest::newRow("worked example") << true << Status(24, 1, 1, 0x43, 1, Digits(250))
                                        << Expected{6, 1, 1, 24, 3, 1, true, true, false, false, false, "250"};
        QTest::newRow("GPS offered and chosen") << true << Status(0, 6, 2, 0x10 | 0x04, 0, Digits(0))
                                                << Expected{7, 6, 2, 0, 3, 0, false, false, true, false, false, "0"};
        QTest::newRow("GPS withdrawn before the read mode") << true << Status(48, 6, 0, 0x00, 2, Digits(9999))
                                                            << Expected{6, 0, 0, 48, 3, 2, false, false, false, false, false, "9999"};
        QTest::newRow("positions beyond the lists") << true << Status(49, 7, 3, 0x10, 3, Digits(1))
                                                    << Expected{7, 0, 0, 12, 3, 0, false, false, false, false, false, "1"};
        QTest::newRow("zone far beyond the list") << true << Status(0xFB, 0, 0, 0x00, 0, Digits(25))
                                                  << Expected{6, 0, 0, 12, 3, 0, false, false, false, false, false, "25"};
        // Digits that are not digits: the weighted sum, as computed.
        QTest::newRow("offset digits out of range") << true << Status(24, 1, 1, 0x00, 1, Hex("FB FB FB FB"))
                                                    << Expected{6, 1, 1, 24, 3, 1, false, false, false, false, false, "278861"};
        QTest::newRow("short unit, pass-through, leap year") << false << Status(14, 4, 1, 0x04 | 0x02, 0x01, Digits(12))
                                                             << Expected{6, 4, 1, 14, 2, 1, false, true, true, true, true, "12"};
        QTest::newRow("short unit, off, common year") << false << Status(35, 3, 2, 0x01, 0xF0, Digits(7))
                                                      << Expected{6, 3, 2, 35, 2, 0, true, false, false, true, false, "7"};
    }

    void fullApplication()
    {
        QFETCH(bool, hasDate);
        QFETCH(QByteArray, report);
        QFETCH(Expected, expected);

        port->receive(hasDate ? TimeWithDate(1, 0, 0, 0, 2026, 1, 1) : Time(1, 0, 0, 0));
        port->receive(report);

        QCOMPARE(ui().cmbReadMode->count(), expected.readModes);
        QCOMPARE(ui().cmbReadMode->currentIndex(), expected.readMode);
        QCOMPARE(ui().cmbGenerateMode->currentIndex(), expected.generateMode);
        QCOMPARE(ui().cmbTimeZone->currentIndex(), expected.zone);
        QCOMPARE(ui().cmbControlFunction->count(), expected.functions);
        QCOMPARE(ui().cmbControlFunction->currentIndex(), expected.function);
        QCOMPARE(ui().chkFreeze->isChecked(), expected.freeze);
        QCOMPARE(ui().chkReaderEnable->isChecked(), expected.reader);
        QCOMPARE(ui().chkBinarySeconds->isChecked(), expected.binary);
        QCOMPARE(!ui().chkLeapYear->isHidden(), expected.leapShown);
        QCOMPARE(ui().chkLeapYear->isChecked(), expected.leap);
        QCOMPARE(ui().txtYear->isHidden(), expected.leapShown);
        QCOMPARE(ui().lblYear->isHidden(), expected.leapShown);
        QCOMPARE(ui().frameSetTime->x(), expected.leapShown ? 40 : 64);
        QCOMPARE(ui().txtOffset->text(), expected.offset);

        // Connected: everything enabled, the lamp locked whatever bit 6 says,
        // the time text cleared for the next time report.
        QVERIFY(SettingsEnabled());
        QVERIFY(SetTimeEnabled());
        QVERIFY(Locked());
        QCOMPARE(ui().lblGeneratorTime->text(), QString());
        QVERIFY2(port->written.isEmpty(), port->allWritten().toHex(' ').constData());
        QCOMPARE(MessageCount(), 0);
    }

    // After the full application only the lamp and the set-time editor follow
    // the reports, until a port is opened again.
    void appliedOncePerConnection()
    {
        port->receive(TimeWithDate(1, 0, 0, 0, 2026, 1, 1) + Status(24, 1, 1, 0x03, 1, Digits(250)));
        QVERIFY(Locked());
        QVERIFY(SetTimeEnabled());

        port->receive(Status(10, 4, 2, 0x40 | 0x10 | 0x04, 2, Digits(9)));
        QVERIFY(Locked());
        QVERIFY(!SetTimeEnabled());
        QCOMPARE(ui().cmbTimeZone->currentIndex(), 24);
        QCOMPARE(ui().cmbReadMode->count(), 6);
        QCOMPARE(ui().cmbReadMode->currentIndex(), 1);
        QVERIFY(!ui().chkBinarySeconds->isChecked());
        QCOMPARE(ui().txtOffset->text(), QString("250"));

        port->receive(Status(10, 4, 2, 0x00, 2, Digits(9)));
        QVERIFY(Unlocked());
        QVERIFY(SetTimeEnabled());

        // Choosing the port again waits for, and applies, the next report.
        ui().cmbComports->setCurrentIndex(-1);
        ui().cmbComports->setCurrentIndex(0);
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));
        QVERIFY(!SettingsEnabled());
        port->receive(Status(10, 4, 2, 0x10, 2, Digits(9)));
        QCOMPARE(ui().cmbTimeZone->currentIndex(), 10);
        QCOMPARE(ui().cmbReadMode->count(), 7);
        QCOMPARE(ui().cmbControlFunction->currentIndex(), 2);
        QCOMPARE(ui().txtOffset->text(), QString("9"));
        QVERIFY(port->written.isEmpty());
    }

    // A failing line is closed and opened again, once, silently.
    void lineFailureReopens()
    {
        port->receive(Hex("FF 01 17"));
        port->opened.clear();
        port->failLine();
        QCOMPARE(port->opened, QList<qint16>{1});
        QVERIFY(port->isOpen());
        QCOMPARE(MessageCount(), 0);
        // The rest of the interrupted frame no longer counts.
        port->receive(Hex("0E 05 09 FE"));
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));
        port->receive(Time(1, 2, 3, 4));
        QCOMPARE(ui().lblGeneratorTime->text(), QString("001 02:03:04"));
    }

    // A unit that is gone is shown as gone, once; the settings stay.
    void deviceGoneShowsLinkLost()
    {
        port->receive(TimeWithDate(1, 0, 0, 0, 2026, 1, 1) + Status(24, 1, 1, 0x43, 1, Digits(250)) + Time(2, 3, 4, 5));
        QVERIFY(Locked());
        port->unplug();
        QCOMPARE(MessageCount(), 1);
        auto *box = window->findChild<QMessageBox *>();
        QCOMPARE(box->text(), QString("Cannot open Comport"));
        QCOMPARE(box->windowTitle(), QString("QV-718v1.0.2"));
        QVERIFY(!port->isOpen());
        QVERIFY(Unlocked());
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));
        QVERIFY(SettingsEnabled());
        QCOMPARE(ui().cmbReadMode->currentIndex(), 1);
        QCOMPARE(ui().txtOffset->text(), QString("250"));

        // Nothing more happens until the operator picks a port.
        port->failLine();
        QCOMPARE(MessageCount(), 1);
        QVERIFY(!port->isOpen());
    }

    // A line that fails again before a single byte arrived is not reopened
    // in a loop.
    void repeatedFailureWithoutData()
    {
        port->failLine();
        QVERIFY(port->isOpen());
        QCOMPARE(MessageCount(), 0);
        port->failLine();
        QVERIFY(!port->isOpen());
        QCOMPARE(MessageCount(), 1);
        QCOMPARE(ui().lblGeneratorTime->text(), QString("Not Connected"));
    }
};

QTEST_MAIN(StatusDisplayTest)
#include "tst_statusdisplay.moc"
