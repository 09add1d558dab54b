// Setting the unit's clock: every field checked on one press of "Set", bad
// ones rewritten and marked, good ones normalised and sent as two frames.

#include "frames.h"
#include "panel.h"


#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Reports;

namespace {
const QColor ErrorMark(255, 255, 0);
const QColor FocusMark(255, 255, 255);
const QStringList FieldNames = {"txtYear", "txtDay", "txtHour", "txtMinute", "txtSecond"};
} // namespace

class SetTimeTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<frm718> window;
    FakePort *port = nullptr;

    // A shown window on an open port whose unit reports dates (year field
    // shown) or not (year field hidden, filled from the clock).
    void Start(bool dates, int clockYear = 2026, bool open = true)
    {
        window = StartOnFakeLine(*settings, open ? QSet<qint16>{1} : QSet<qint16>{}, open ? 1 : 0, port,
                                 QDateTime(QDate(clockYear, 7, 1), QTime(12, 0, 0)));
        if (open)
            port->receive(dates ? TimeWithDate(1, 0, 0, 0, 2026, 1, 1) + Status(24, 1, 1, 0, 1, Digits(0))
                                : Status(24, 1, 1, 0, 0, Digits(0)));
        QVERIFY(ShowActive(window.get()));
        QVERIFY(Controls{*window}.cmdSetTime->isEnabled());
        QCOMPARE(Controls{*window}.txtYear->isHidden(), !dates);
    }
    QLineEdit *Field(const QString &name) { return window->findChild<QLineEdit *>(name); }
    QColor Background(const QString &name) { return Field(name)->palette().color(QPalette::Base); }
    void Fill(const QStringList &texts)
    {
        for (int i = 0; i < FieldNames.size(); ++i)
            Field(FieldNames[i])->setText(texts[i]);
    }
    QStringList Texts()
    {
        QStringList texts;
        for (const QString &name : FieldNames)
            texts << Field(name)->text();
        return texts;
    }
    void PressSet() { QTest::mouseClick(Controls{*window}.cmdSetTime, Qt::LeftButton); }

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    void set_data()
    {
        QTest::addColumn<QStringList>("typed");     // year, day, hour, minute, second
        QTest::addColumn<QStringList>("shown");     // after "Set"
        QTest::addColumn<QStringList>("marked");
        QTest::addColumn<QByteArray>("frames");

        QTest::newRow("short forms") << QStringList{"26", "5", "7", "4", "9"} << QStringList{"2026", "005", "07", "04", "09"}
                                     << QStringList{} << Hex("00 05 07 04 09 00 FA 1A 0A FA");
        QTest::newRow("day 245") << QStringList{"2026", "245", "13", "7", "9"} << QStringList{"2026", "245", "13", "07", "09"}
                                 << QStringList{} << Hex("02 2D 0D 07 09 00 FA 1A 0A FA");
        QTest::newRow("day 123 of 2009") << QStringList{"2009", "123", "14", "05", "09"} << QStringList{"2009", "123", "14", "05", "09"}
                                         << QStringList{} << Hex("01 17 0E 05 09 00 FA 09 0A FA");
        QTest::newRow("first and last day") << QStringList{"2099", "366", "23", "59", "59"} << QStringList{"2099", "366", "23", "59", "59"}
                                            << QStringList{} << Hex("03 42 17 3B 3B 00 FA 63 0A FA");
        QTest::newRow("day 1, midnight") << QStringList{"9", "1", "0", "0", "0"} << QStringList{"2009", "001", "00", "00", "00"}
                                         << QStringList{} << Hex("00 01 00 00 00 00 FA 09 0A FA");
        QTest::newRow("halves to even") << QStringList{"2026", "100.5", "7.5", "6.5", " 2.5"} << QStringList{"2026", "100", "08", "06", "02"}
                                        << QStringList{} << Hex("01 00 08 06 02 00 FA 1A 0A FA");
        QTest::newRow("text after the number") << QStringList{"2026 AD", "12abc", "1h", "2m", "3s"} << QStringList{"2026 AD", "012", "01", "02", "03"}
                                               << QStringList{} << Hex("00 0C 01 02 03 00 FA 1A 0A FA");
        QTest::newRow("a year with a fraction stays as typed") << QStringList{"2026.4", "1", "1", "1", "1"} << QStringList{"2026.4", "001", "01", "01", "01"}
                                                              << QStringList{} << Hex("00 01 01 01 01 00 FA 1A 0A FA");
        QTest::newRow("year 8") << QStringList{"8", "1", "1", "1", "1"} << QStringList{"8", "001", "01", "01", "01"}
                                << QStringList{"txtYear"} << QByteArray();
        QTest::newRow("year 100") << QStringList{"100", "1", "1", "1", "1"} << QStringList{"100", "001", "01", "01", "01"}
                                  << QStringList{"txtYear"} << QByteArray();
        QTest::newRow("year 2100.2") << QStringList{"2100.2", "1", "1", "1", "1"} << QStringList{"2100", "001", "01", "01", "01"}
                                     << QStringList{"txtYear"} << QByteArray();
        QTest::newRow("empty year") << QStringList{"", "1", "1", "1", "1"} << QStringList{"0", "001", "01", "01", "01"}
                                    << QStringList{"txtYear"} << QByteArray();
        QTest::newRow("day 0") << QStringList{"2026", "0", "1", "1", "1"} << QStringList{"2026", "0", "01", "01", "01"}
                               << QStringList{"txtDay"} << QByteArray();
        QTest::newRow("day 367") << QStringList{"2026", "367", "1", "1", "1"} << QStringList{"2026", "367", "01", "01", "01"}
                                 << QStringList{"txtDay"} << QByteArray();
        QTest::newRow("empty day") << QStringList{"2026", "", "1", "1", "1"} << QStringList{"2026", "0", "01", "01", "01"}
                                   << QStringList{"txtDay"} << QByteArray();
        // Every bad field is marked by the one press.
        QTest::newRow("hour 24, minute 60, second -1") << QStringList{"2026", "5", "24", "60", "-1"} << QStringList{"2026", "005", "24", "60", "-1"}
                                                       << QStringList{"txtHour", "txtMinute", "txtSecond"} << QByteArray();
        QTest::newRow("all bad") << QStringList{"abc", "-3", "99", "-0.6", "61"} << QStringList{"0", "-3", "99", "-1", "61"}
                                 << FieldNames << QByteArray();
        // Beyond the 16-bit range: out of range like any other bad value.
        QTest::newRow("day of five digits") << QStringList{"2026", "99999", "1", "1", "1"} << QStringList{"2026", "99999", "01", "01", "01"}
                                            << QStringList{"txtDay"} << QByteArray();
        QTest::newRow("hour 65536") << QStringList{"2026", "1", "65536", "1", "1"} << QStringList{"2026", "001", "65536", "01", "01"}
                                    << QStringList{"txtHour"} << QByteArray();
        QTest::newRow("exponent") << QStringList{"2026", "1e10", "1", "1", "1"} << QStringList{"2026", "10000000000", "01", "01", "01"}
                                  << QStringList{"txtDay"} << QByteArray();
    }

    void set()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, marked);
        QFETCH(QByteArray, frames);
        Start(true);
        Fill(typed);
        PressSet();
        QCOMPARE(Texts(), shown);
        for (const QString &name : FieldNames)
            QVERIFY2((Background(name) == ErrorMark) == marked.contains(name), qPrintable(name));
        QVERIFY2(port->allWritten() == frames, port->allWritten().toHex(' ').constData());
        QCOMPARE(port->written.size(), frames.isEmpty() ? 0 : 2);
    }

    // A mark stays across presses until the field takes the focus, which
    // also selects its whole text.
    void focusClearsTheMark()
    {
        Start(true);
        Fill({"2026", "400", "30", "1", "1"});
        PressSet();
        PressSet();
        QCOMPARE(Background("txtDay"), ErrorMark);
        QCOMPARE(Background("txtHour"), ErrorMark);

        QLineEdit *day = Field("txtDay");
        QTest::mouseClick(day, Qt::LeftButton, {}, QPoint(4, day->height() / 2));
        QCOMPARE(QApplication::focusWidget(), day);
        QCOMPARE(Background("txtDay"), FocusMark);
        QCOMPARE(day->selectedText(), QString("400"));
        QCOMPARE(day->selectionStart(), 0);
        QCOMPARE(Background("txtHour"), ErrorMark);

        // Typing replaces the selection; Tab moves on and selects the next.
        QTest::keyClicks(day, "45");
        QCOMPARE(day->text(), QString("45"));
        QTest::keyClick(day, Qt::Key_Tab);
        QLineEdit *hour = Field("txtHour");
        QCOMPARE(QApplication::focusWidget(), hour);
        QCOMPARE(Background("txtHour"), FocusMark);
        QCOMPARE(hour->selectedText(), QString("30"));
        QTest::keyClicks(hour, "6");
        PressSet();
        QCOMPARE(port->allWritten(), Hex("00 2D 06 01 01 00 FA 1A 0A FA"));
    }

    // A lock that arrives while the operator types in the editor takes the
    // editor away; the keys that follow go nowhere, and a mark the operator
    // has not looked at yet stays.
    void lockTakesTheEditorFromUnderTheKeys()
    {
        Start(true);
        Fill({"2026", "45", "30", "1", "1"});
        PressSet();
        QLineEdit *day = Field("txtDay");
        QTest::mouseClick(day, Qt::LeftButton, {}, QPoint(4, day->height() / 2));
        QCOMPARE(QApplication::focusWidget(), day);

        port->receive(Status(24, 1, 1, 0x40, 1, Digits(0)));
        QVERIFY(!day->isEnabled());
        QWidget *focus = QApplication::focusWidget();
        QVERIFY2(!focus || focus == window.get(), qPrintable(focus->objectName()));
        const auto controls = [this] {
            QStringList state;
            for (auto *list : window->findChildren<QComboBox *>())
                state << QString("%1 %2").arg(list->objectName()).arg(list->currentIndex());
            for (auto *box : window->findChildren<QCheckBox *>())
                state << QString("%1 %2").arg(box->objectName()).arg(box->checkState());
            for (auto *field : window->findChildren<QLineEdit *>())
                state << QString("%1 %2").arg(field->objectName(), field->text());
            return state;
        };
        const QStringList before = controls();
        for (const Qt::Key key : {Qt::Key_0, Qt::Key_7, Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Home,
                                  Qt::Key_PageDown, Qt::Key_Space, Qt::Key_Right})
            QTest::keyClick(window->windowHandle(), key);
        QVERIFY2(port->written.isEmpty(), port->allWritten().toHex(' ').constData());
        QCOMPARE(controls(), before);
        QCOMPARE(Background("txtHour"), ErrorMark);
    }

    // Focus that comes back on its own, as the window is activated again,
    // leaves the field as the operator left it: text, caret and mark.
    void focusThatComesBackChangesNothing()
    {
        Start(true);
        Fill({"2026", "400", "1", "1", "1"});
        PressSet();
        QLineEdit *day = Field("txtDay");
        day->setFocus();
        day->setCursorPosition(1);
        QCOMPARE(Background("txtDay"), ErrorMark);

        QWidget other;
        QVERIFY(ShowActive(&other));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), day);
        QCOMPARE(day->text(), QString("400"));
        QVERIFY(!day->hasSelectedText());
        QCOMPARE(day->cursorPosition(), 1);
        QCOMPARE(Background("txtDay"), ErrorMark);
    }

    // Without dates from the unit the year field is hidden; the year of the
    // clock at start-up still travels, and still has to be in range.
    void hiddenYearFieldUsesTheClock()
    {
        Start(false, 2031);
        Fill({"2031", "5", "6", "7", "8"});
        PressSet();
        QCOMPARE(port->allWritten(), Hex("00 05 06 07 08 00 FA 1F 0A FA"));
    }

    void hiddenYearOutOfRangeSendsNothing()
    {
        Start(false, 2008);
        QCOMPARE(Field("txtYear")->text(), QString("2008"));
        PressSet();
        QVERIFY(port->written.isEmpty());
        QCOMPARE(Background("txtYear"), ErrorMark);
        QVERIFY(Field("txtYear")->isHidden());
    }

    void closedPortStillNormalises()
    {
        Start(false, 2026, false);
        Fill({"27", "5", "7", "4", "9"});
        PressSet();
        QCOMPARE(Texts(), (QStringList{"2027", "005", "07", "04", "09"}));
        QVERIFY(port->written.isEmpty());
    }
};

QTEST_MAIN(SetTimeTest)
#include "tst_settime.moc"
