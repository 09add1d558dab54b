// The window on a fake line: start-up and port choice, what the unit's reports show, the line's recovery, and the
// operator's input as commands.

#include "frames.h"
#include "panel.h"

#include "panel/artwork.h"

#include <QGroupBox>

using namespace Reports;

namespace {
const QByteArray Dated = timeWithDate(1, 0, 0, 0, 2026, 1, 1);
const QByteArray UnitWithDates = Dated + status(24, 1, 1, 0x10, 1, 250);  // offers GPS and Encoded Year
const QByteArray UnitWithoutDates = time(1, 0, 0, 0) + status(24, 1, 1, 0x12, 0, 250);
const QString SettingsControls = "cmbReadMode cmbGenerateMode cmbTimeZone cmbControlFunction chkFreeze "
                                 "chkReaderEnable chkBinarySeconds chkLeapYear lblYear txtOffset";
const QString SetTimeFields = "txtDay txtHour txtMinute txtSecond txtYear";
const QColor ErrorMark(255, 255, 0);
const QColor FocusMark(255, 255, 255);
} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    FakePort *port = nullptr;
    std::unique_ptr<frm718> window;

    // Start-up as the program runs it, on a fake line where the `present` ports open, the clock reading `now`.
    void start(const QSet<qint16> &present, const QDateTime &now = QDateTime(QDate(2026, 2, 5), QTime(7, 4, 9)))
    {
        window = std::make_unique<frm718>(port = new FakePort(present));
        window->setClock([now] { return now; });
        window->Form_Load();
    }
    // Started on port 1 and shown, after the unit's first reports.
    bool connectUnit(const QByteArray &reports)
    {
        start({1});
        port->receive(reports);
        return showActive(window.get());
    }
    Controls ui() const { return Controls{*window}; }
    // The lamp, the set-time editor and the settings enabled or not, the offset and the time text.
    QString display() const
    {
        const bool green = ui().find<QLabel>("imgLock")->pixmap().toImage() == Artwork::lockLamp(true).toImage();
        return (green ? "green " : "grey ") + ui().state("lblLock cmdSetTime cmbReadMode txtOffset lblGeneratorTime");
    }
    QStringList portEntries(Qt::ItemDataRole role = Qt::DisplayRole) const
    {
        QStringList entries;
        for (int i = 0; i < ui().cmbComports->count(); ++i)
            entries << ui().cmbComports->itemData(i, role).toString();
        return entries;
    }
    qsizetype messages() const { return ui().messages().size(); }
    QByteArray written() const { return port->written.join(); }
    void reopen() const
    {
        ui().cmbComports->setCurrentIndex(-1);
        ui().cmbComports->setCurrentIndex(0);
    }
    QColor mark(const QString &field) const { return ui().field(field)->palette().color(QPalette::Base); }
    // Writes the set-time fields in the order of SetTimeFields; presses "Set".
    void set(const QString &texts) const
    {
        const QStringList values = texts.split(',');
        for (int i = 0; i < values.size(); ++i)
            ui().field(SetTimeFields.section(' ', i, i))->setText(values[i]);
        QTest::mouseClick(ui().find<QPushButton>("cmdSetTime"), Qt::LeftButton);
    }

private slots:
    void initTestCase() { Program::setIdentity(); }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    // Start-up lists the ports that open and reopens the remembered one (a stored value that is not a 16-bit number
    // counts as absent: port 1); the set-time fields show the local clock.
    void startUp_data()
    {
        QTest::addColumn<QList<qint16>>("present");
        QTest::addColumn<QVariant>("stored");  // invalid: nothing stored
        QTest::addColumn<int>("opened");       // 0: none
        QTest::addColumn<QVariant>("storedAfter");
        const auto row = [](const char *name, QList<qint16> present, const char *stored, int opened, const char *after) {
            QTest::newRow(name) << present << (stored ? QVariant(stored) : QVariant()) << opened << (after ? QVariant(after) : QVariant());
        };
        row("no port at all", {}, nullptr, 0, nullptr);
        row("nothing stored, port 1 there", {1, 3}, nullptr, 1, "1");
        row("stored 5 among 1 3 5", {1, 3, 5}, "5", 5, "5");
        row("stored 5 but only 1 3", {1, 3}, "5", 0, "5");
        row("stored text", {1, 3}, "abc", 1, "1");
        row("stored beyond 16 bits", {1, 3}, "99999", 1, "1");
        row("stored 3.5, rounded", {1, 3, 4}, "3.5", 4, "4");
    }
    void startUp()
    {
        QFETCH(QList<qint16>, present);
        QFETCH(QVariant, stored);
        QFETCH(int, opened);
        QFETCH(QVariant, storedAfter);
        if (stored.isValid())
            settings->set("Settings/Comport", stored);
        start(QSet<qint16>(present.begin(), present.end()));
        QStringList entries;
        for (const qint16 number : present)
            entries << QString::number(number);
        QCOMPARE(portEntries(), entries);
        QCOMPARE(ui().cmbComports->currentIndex(), int(present.indexOf(qint16(opened))));
        QCOMPARE(port->isOpen() ? port->number : 0, opened);
        QCOMPARE(settings->value("Settings/Comport"), storedAfter);
        QCOMPARE(messages(), 0);
        QCOMPARE(display(), opened ? "grey Unlocked, !Set, !-1/7, !, Not Connected" : "grey Unlocked, Set, -1/7, , ");
        QCOMPARE(ui().state(SettingsControls + " " + SetTimeFields).remove('!'),
                 "-1/7, -1/3, -1/49, -1/3, 0, 0, 0, 0, -, , 36, 07, 04, 09, -");
        QVERIFY(ui().field("txtYear")->isEnabledTo(window.get()));
    }

    // One pick, one opening, also of the port already open; a port that has vanished since the scan gives the one
    // message, the old port closed. Each entry's tooltip names the device: from the settings, or the default table.
    void portChoice()
    {
        settings->set("Ports/3", "/dev/serial/by-id/usb-adapter");
        start({1, 3, 4, 5, 12, 13, 16});
        QCOMPARE(portEntries(Qt::ToolTipRole), (QStringList{"/dev/ttyS0", "/dev/serial/by-id/usb-adapter", "/dev/ttyS3",
                                                         "/dev/ttyUSB0", "/dev/ttyUSB7", "/dev/ttyACM0", "/dev/ttyACM3"}));
        QVERIFY(showActive(window.get()));
        port->opened.clear();
        QVERIFY(Operator::pick(ui().cmbComports, 3));
        QVERIFY(Operator::pick(ui().cmbComports, 3));
        QCOMPARE(port->opened, (QList<qint16>{5, 5}));
        QCOMPARE(settings->value("Settings/Comport"), "5");
        QCOMPARE(messages(), 0);
        port->present.remove(3);
        QVERIFY(Operator::pick(ui().cmbComports, 1));
        QCOMPARE(messages(), 1);
        const QMessageBox *box = ui().messages().first();
        QCOMPARE(box->text() + " | " + box->windowTitle(), "Cannot open Comport | QV-718v" + Program::version());
        QVERIFY(box->isModal() && box->standardButtons() == QMessageBox::Ok);
        QVERIFY(!port->isOpen());
        QCOMPARE(settings->value("Settings/Comport"), "5");
        QCOMPARE(ui().cmbComports->currentText(), "3");
    }

    // Every caption fits its control in the fonts installed here, and the generator time is the larger font.
    void layout()
    {
        start({});
        for (QWidget *control : window->findChildren<QWidget *>()) {
            QString text;
            int room = control->width();
            if (auto *label = qobject_cast<QLabel *>(control))
                text = label->text();
            else if (auto *frame = qobject_cast<QGroupBox *>(control))
                text = frame->title(), room -= 16;
            else if (auto *box = qobject_cast<QCheckBox *>(control))
                text = box->text(), room -= 20;  // the box and its gap
            else if (auto *button = qobject_cast<QPushButton *>(control))
                text = button->text(), room -= 8;
            else if (auto *field = qobject_cast<QLineEdit *>(control))
                text = field->text(), room -= 6;
            const int needs = control->fontMetrics().horizontalAdvance(text);
            QVERIFY2(control->isEnabled() && needs <= room, qPrintable(QString("%1: \"%2\" needs %3 px, has %4 in %5")
                         .arg(control->objectName(), text).arg(needs).arg(room).arg(QFontInfo(control->font()).family())));
        }
        QCOMPARE(ui().lblGeneratorTime->font().pointSizeF(), 9.75);
    }

    // Each time report rewrites the time text; the first one decides the form for the whole run. Before the unit's
    // kind is known a status report only sets the lamp and the set-time editor.
    void reports_data()
    {
        QTest::addColumn<QByteArray>("reports");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char *name, const QByteArray &reports, const char *shown) {
            QTest::newRow(name) << reports << shown;
        };
        row("early in the year", time(45, 8, 0, 0), "grey Unlocked, !Set, !-1/7, !, 045 08:00:00");
        row("unchecked values", hex("FF 03 96 63 64 05 FE"), "grey Unlocked, !Set, !-1/7, !, 3150 99:100:05");
        row("with date", hex("FF 01 17 0E 05 09 09 05 03 FE"), "grey Unlocked, !Set, !-1/7, !, 123 14:05:09   |   05-03-2009");
        row("dated, then short", timeWithDate(123, 14, 5, 9, 2026, 12, 6) + time(200, 1, 2, 3),
            "grey Unlocked, !Set, !-1/7, !, 200 01:02:03   |   12-06-2026");
        row("first has 6 data bytes: no date", hex("FF 01 17 0E 05 09 1A FE") + Dated, "grey Unlocked, !Set, !-1/7, !, 001 00:00:00");
        row("status before any time report", status(24, 1, 1, 0x43, 1, 250), "green Locked, !Set, !-1/7, !, Not Connected");
        row("status without lock", status(24, 1, 1, 0x43, 1, 250) + status(24, 1, 1, 0x03, 1, 250),
            "grey Unlocked, Set, !-1/7, !, Not Connected");
        row("status after a time report", status(24, 1, 1, 0x43, 1, 250) + time(1, 0, 0, 0) + status(24, 1, 1, 0x03, 1, 250),
            "green Locked, Set, 1/6, 250, ");
        // Later ones move only the lamp and the set-time editor, until a port is opened again.
        row("later status reports", Dated + status(24, 1, 1, 0x03, 1, 250) + status(10, 4, 2, 0x54, 2, 9),
            "green Locked, !Set, 1/6, 250, ");
        row("later status without lock", Dated + status(24, 1, 1, 0x43, 1, 250) + status(10, 4, 2, 0x00, 2, 9),
            "grey Unlocked, Set, 1/6, 250, ");
    }
    void reports()
    {
        QFETCH(QByteArray, reports);
        QFETCH(QString, shown);
        start({1});
        port->receive(reports);
        QCOMPARE(display(), shown);
    }

    // Every setting loaded into the controls, alike each time the port is opened again: everything enabled, the lamp
    // locked whatever bit 6 says, nothing sent back to the unit.
    void fullApplication_data()
    {
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QString>("settings");
        const auto row = [](const char *name, bool dated, const QByteArray &report, const char *settings) {
            QTest::newRow(name) << dated << report << settings;
        };
        row("worked example", true, hex("FF 18 01 01 43 01 00 02 05 00 FC"), "1/6, 1/3, 24/49, 1/3, 1, 1, 0, -, Year, 250");
        row("GPS offered and chosen", true, status(0, 6, 2, 0x14, 0, 0), "6/7, 2/3, 0/49, 0/3, 0, 0, 1, -, Year, 0");
        row("GPS withdrawn first", true, status(48, 6, 0, 0x00, 2, 9999), "0/6, 0/3, 48/49, 2/3, 0, 0, 0, -, Year, 9999");
        row("positions beyond the lists", true, status(49, 7, 3, 0x10, 3, 1), "0/7, 0/3, 12/49, 0/3, 0, 0, 0, -, Year, 1");
        row("offset digits beyond 9", true, hex("FF 18 01 01 00 01 FB FB FB FB FC"), "1/6, 1/3, 24/49, 1/3, 0, 0, 0, -, Year, 278861");
        row("short unit, pass-through, leap year", false, status(14, 4, 1, 0x06, 0x01, 12), "4/6, 1/3, 14/49, 1/2, 0, 1, 1, 1, -, 12");
        row("short unit, off, common year", false, status(35, 3, 2, 0x01, 0xF0, 7), "3/6, 2/3, 35/49, 0/2, 1, 0, 0, 0, -, 7");
    }
    void fullApplication()
    {
        QFETCH(bool, dated);
        QFETCH(QByteArray, report);
        QFETCH(QString, settings);
        start({1});
        port->receive(dated ? Dated : time(1, 0, 0, 0));
        for (int round = 1; round <= 2; ++round, reopen()) {
            port->receive(report);
            QCOMPARE(ui().state(SettingsControls), settings);
            QCOMPARE(ui().find("frameSetTime")->x(), dated ? 64 : 40);
            QCOMPARE(display(), "green Locked, Set, " + settings.section(", ", 0, 0) + ", " + settings.section(", ", -1) + ", ");
            QVERIFY2(port->written.isEmpty(), written().toHex(' ').constData());
        }
    }

    // A failing line is closed and opened again, once and quietly, the rest of an interrupted frame dropped. A unit
    // that is gone, or a line that fails again before a byte arrived, is shown as lost, once; the settings stay, and
    // nothing more happens until the operator picks a port.
    void recovery_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("shown");
        QTest::newRow("the line fails") << "fail" << "green Locked, Set, 1/6, 250, 001 02:03:04   |   01-01-2026";
        QTest::newRow("the device is gone") << "unplug" << "grey Unlocked, !Set, !1/6, !250, Not Connected";
        QTest::newRow("fails again without data") << "fail fail" << "grey Unlocked, !Set, !1/6, !250, Not Connected";
    }
    void recovery()
    {
        QFETCH(QString, failure);
        QFETCH(QString, shown);
        start({1});
        port->receive(Dated + status(24, 1, 1, 0x43, 1, 250) + hex("FF 01 17"));
        port->opened.clear();
        for (const QString &step : failure.split(' '))
            step == "fail" ? port->failLine() : port->unplug();
        if (port->isOpen()) {
            port->receive(hex("0E 05 09 FE"));
            QCOMPARE(ui().lblGeneratorTime->text(), "");
            port->receive(timeWithDate(1, 2, 3, 4, 2026, 1, 1));
        }
        QCOMPARE(display(), shown);
        QCOMPARE(port->opened, failure == "unplug" ? QList<qint16>{} : QList<qint16>{1});
        port->failLine();  // once more: nothing more is shown
        QCOMPARE(messages(), failure == "fail" ? 0 : 1);
        QCOMPARE(port->awaiting, failure != "fail");
        if (failure == "fail")
            return;
        // A pick while the line is lost goes nowhere: the settings are disabled.
        ui().messages().first()->close();
        port->present.insert(1);
        port->open();
        QTest::mouseClick(ui().list("cmbReadMode"), Qt::LeftButton);
        Operator::click(ui().box("chkFreeze"));
        QVERIFY2(port->written.isEmpty() && !ui().list("cmbReadMode")->view()->isVisible(), written().toHex(' ').constData());
    }

    // Start-up ends with the line open, or shown as lost and awaited: also when only the second of its two openings
    // fails. A line named for this run is opened once. (One that is not there is awaited too: tst_realline.)
    void startUpEndsOpenOrAwaited()
    {
        window = std::make_unique<frm718>(port = new FakePort({1}));
        port->opensLeft = 2;  // the probe and the selection's opening succeed
        window->Form_Load();
        QVERIFY(!port->isOpen() && port->awaiting && messages() == 1);
        QCOMPARE(display(), "grey Unlocked, !Set, !-1/7, !, Not Connected");
        window = std::make_unique<frm718>(port = new FakePort({3}));
        window->useOnlyLine("3");
        window->Form_Load();
        QCOMPARE(port->opened, QList<qint16>{3});
    }

    // One pick or click, one frame, byte-exact: a pick of each list, each box ticked and cleared, by the mouse and by
    // the space bar.
    void controls_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QByteArray>("frames");
        const auto row = [](const char *control, int entry, const char *frames) {
            QTest::newRow(control) << control << entry << hex(frames);
        };
        row("cmbReadMode", 6, "06 02 FA");  // GPS
        row("cmbGenerateMode", 2, "02 03 FA");
        row("cmbTimeZone", 48, "30 01 FA");  // the popup scrolls to it
        row("cmbControlFunction", 1, "01 08 FA");
        row("chkFreeze", 0, "01 04 FA 00 04 FA 01 04 FA");
        row("chkReaderEnable", 1, "00 05 FA 01 05 FA 00 05 FA");
        row("chkLeapYear", 0, "01 06 FA 00 06 FA 01 06 FA");
        row("chkBinarySeconds", 0, "01 07 FA 00 07 FA 01 07 FA");
    }
    void controls()
    {
        QFETCH(QString, control);
        QFETCH(int, entry);
        QFETCH(QByteArray, frames);
        QVERIFY(connectUnit(UnitWithoutDates));
        if (QComboBox *list = ui().list(control)) {
            QVERIFY(Operator::pick(list, entry));
            QCOMPARE(list->currentIndex(), entry);
        } else {
            QCOMPARE(ui().box(control)->isChecked(), bool(entry));
            Operator::click(ui().box(control));
            Operator::click(ui().box(control));
            ui().box(control)->setFocus();
            QTest::keyClick(ui().box(control), Qt::Key_Space);
        }
        QVERIFY2(written() == frames, written().toHex(' ').constData());
        QCOMPARE(port->written.size(), frames.size() / 3);
    }

    // Every change is sent: the entry the unit shows picked again, picks by the keyboard, a change by the program; a
    // list left without a selection sends nothing, and nothing leaves with no port open.
    void everyChangeIsSent()
    {
        QVERIFY(connectUnit(UnitWithDates));
        QVERIFY(Operator::pick(ui().list("cmbTimeZone"), 24));
        QVERIFY(Operator::pick(ui().list("cmbTimeZone"), 24));
        ui().list("cmbGenerateMode")->setFocus();
        for (int i = 0; i < 3; ++i)  // the third is past the last entry: no pick
            QTest::keyClick(ui().list("cmbGenerateMode"), Qt::Key_Down);
        ui().list("cmbReadMode")->setCurrentIndex(3);
        ui().list("cmbTimeZone")->setCurrentIndex(-1);
        QCOMPARE(written(), hex("18 01 FA 18 01 FA 02 03 FA 03 02 FA"));
        port->close();
        ui().list("cmbReadMode")->setCurrentIndex(5);
        ui().box("chkFreeze")->setChecked(true);
        ui().field("txtOffset")->setText("12");
        set("5,7,4,9,26");
        QCOMPARE(ui().state("cmbReadMode chkFreeze txtOffset " + SetTimeFields), "5/7, 1, 12, 005, 07, 04, 09, 2026");
        QCOMPARE(written(), hex("18 01 FA 18 01 FA 02 03 FA 03 02 FA"));
    }

    // Each change of the offset text sends the value so far, one frame per change; text that is not an offset from 0
    // to 9999 becomes a selected "0", and 0 is sent twice.
    void offset_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("sent");
        const auto row = [](const char *keys, const char *shown, const char *sent) {
            QTest::newRow(keys) << keys << shown << hex(sent);
        };
        row("1234", "1234", "00 00 00 01 09 FA 00 00 01 02 09 FA 00 01 02 03 09 FA 01 02 03 04 09 FA");
        row("2000", "2000", "00 00 00 02 09 FA 00 00 02 00 09 FA 00 02 00 00 09 FA 02 00 00 00 09 FA");
        row("9.6", "9.6", "00 00 00 09 09 FA 00 00 00 09 09 FA 00 00 01 00 09 FA");
        row("99999", "0", "00 00 00 09 09 FA 00 00 09 09 09 FA 00 09 09 09 09 FA 09 09 09 09 09 FA 00 00 00 00 09 FA 00 00 00 00 09 FA");
        row("1a5", "5", "00 00 00 01 09 FA 00 00 00 00 09 FA 00 00 00 00 09 FA 00 00 00 05 09 FA");
        row("12\b\b", "0", "00 00 00 01 09 FA 00 00 01 02 09 FA 00 00 00 01 09 FA 00 00 00 00 09 FA 00 00 00 00 09 FA");
    }
    void offset()
    {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(QByteArray, sent);
        QVERIFY(connectUnit(UnitWithDates));
        QLineEdit *field = ui().field("txtOffset");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, keys);
        QCOMPARE(field->text(), shown);
        QVERIFY2(written() == sent, written().toHex(' ').constData());
        QCOMPARE(port->written.size(), sent.size() / 6);
        QCOMPARE(field->selectedText(), shown == "0" ? "0" : "");
    }

    // "Set" checks every field at once: bad ones rewritten and marked, good ones normalised and sent as two frames.
    // The year field hidden, the clock's year at start-up travels, and must be in range too.
    void setTime_data()
    {
        QTest::addColumn<int>("clockYear");  // 0: a unit with dates, the year field shown
        QTest::addColumn<QString>("typed");  // day, hour, minute, second, year
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QByteArray>("frames");
        const auto row = [](const char *name, int clock, const char *typed, const char *shown, const QString &marked,
                            const char *frames) { QTest::newRow(name) << clock << typed << shown << marked << hex(frames); };
        row("last day and year", 0, "366,23,59,59,99", "366, 23, 59, 59, 2099", "", "03 42 17 3B 3B 00 FA 63 0A FA");
        row("halves to even", 0, "100.5,7.5,6.5, 2.5,2026", "100, 08, 06, 02, 2026", "", "01 00 08 06 02 00 FA 1A 0A FA");
        row("year 8", 0, "1,1,1,1,8", "001, 01, 01, 01, 8", "txtYear", "");
        row("empty day, hour 24, minute 60, second -1", 0, ",24,60,-1,2026", "0, 24, 60, -1, 2026",
            "txtDay txtHour txtMinute txtSecond", "");
        row("beyond 16 bits", 0, "99999,65536,1e10,-0.6,abc", "99999, 65536, 10000000000, -1, 0", SetTimeFields, "");
        row("hidden year from the clock", 2031, "5,6,7,8", "005, 06, 07, 08, -", "", "00 05 06 07 08 00 FA 1F 0A FA");
        row("hidden year out of range", 2008, "5,6,7,8", "005, 06, 07, 08, -", "txtYear", "");
    }
    void setTime()
    {
        QFETCH(int, clockYear);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, marked);
        QFETCH(QByteArray, frames);
        start({1}, QDateTime(QDate(clockYear ? clockYear : 2026, 7, 1), QTime(12, 0)));
        port->receive(clockYear ? UnitWithoutDates : UnitWithDates);
        QVERIFY(showActive(window.get()));
        set(typed);
        QCOMPARE(ui().state(SetTimeFields), shown);
        for (const QString &name : SetTimeFields.split(' '))
            QVERIFY2((mark(name) == ErrorMark) == marked.contains(name), qPrintable(name));
        QVERIFY2(written() == frames, written().toHex(' ').constData());
        QCOMPARE(port->written.size(), frames.isEmpty() ? 0 : 2);
    }

    // A mark stays across presses, and when the focus comes back on its own as the window is activated again (text
    // and caret stay too), until the operator moves into the field, by a click or by Tab, which selects its whole text.
    void focusClearsTheMark()
    {
        QVERIFY(connectUnit(UnitWithDates));
        set("400,30,1,1,2026");
        QLineEdit *day = ui().field("txtDay");
        day->setFocus();
        day->setCursorPosition(1);
        QWidget other;
        QVERIFY(showActive(&other));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), day);
        QVERIFY(day->text() == "400" && !day->hasSelectedText() && day->cursorPosition() == 1);
        QCOMPARE(mark("txtDay"), ErrorMark);
        set("400,30,1,1,2026");
        QTest::mouseClick(day, Qt::LeftButton, {}, QPoint(4, 8));
        QVERIFY(mark("txtDay") == FocusMark && mark("txtHour") == ErrorMark);
        QCOMPARE(day->selectedText(), "400");
        QTest::keyClicks(QApplication::focusWidget(), "45\t");
        QCOMPARE(QApplication::focusWidget(), ui().field("txtHour"));
        QCOMPARE(mark("txtHour"), FocusMark);
        QCOMPARE(ui().field("txtHour")->selectedText(), "30");
        QTest::keyClicks(QApplication::focusWidget(), "6");
        QTest::mouseClick(ui().find<QPushButton>("cmdSetTime"), Qt::LeftButton);
        QCOMPARE(written(), hex("00 2D 06 01 01 00 FA 1A 0A FA"));
    }

    // A lock that arrives while the operator types in the day field takes the editor away: the focus is on no
    // settings control, the keys that follow write nothing and change nothing, the hour's mark stays.
    void lockTakesTheEditorFromUnderTheKeys()
    {
        QVERIFY(connectUnit(UnitWithDates));
        set("45,30,1,1,2026");
        QTest::mouseClick(ui().field("txtDay"), Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(QApplication::focusWidget(), ui().field("txtDay"));
        port->receive(status(24, 1, 1, 0x40, 1, 0));
        QWidget *focus = QApplication::focusWidget();
        QVERIFY2(!focus || focus == window.get(), qPrintable(focus->objectName()));
        const QString all = "cmbComports " + SettingsControls + " " + SetTimeFields;
        const QString before = ui().state(all);
        for (const Qt::Key key : {Qt::Key_0, Qt::Key_7, Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Home,
                                  Qt::Key_PageDown, Qt::Key_Space, Qt::Key_Right})
            QTest::keyClick(window->windowHandle(), key);
        QVERIFY2(port->written.isEmpty(), written().toHex(' ').constData());
        QCOMPARE(ui().state(all), before);
        QCOMPARE(mark("txtHour"), ErrorMark);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
