// The microsecond offset: every change of the text leaves at once as four
// digits; text that is not an offset from 0 to 9999 becomes a selected "0".

#include "frames.h"
#include "panel.h"

#include "device/commands.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace Reports;

namespace {
QByteArray Offset(int n)
{
    return Module1::CommandFrame(Module1::SetOffset, Module1::OffsetDigits(n));
}
QList<QByteArray> Offsets(const QList<int> &values)
{
    QList<QByteArray> frames;
    for (int v : values)
        frames << Offset(v);
    return frames;
}
} // namespace

class OffsetEntryTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<frm718> window;
    FakePort *port = nullptr;
    QLineEdit *offset = nullptr;

    // A shown window whose unit has reported the offset 250; the operator
    // has clicked into the field and selected its text.
    void Start(bool open = true)
    {
        window = StartOnFakeLine(*settings, open ? QSet<qint16>{1} : QSet<qint16>{}, open ? 1 : 0, port);
        if (open)
            port->receive(TimeWithDate(1, 0, 0, 0, 2026, 1, 1) + Status(24, 1, 1, 0, 1, Digits(250)));
        QVERIFY(ShowActive(window.get()));
        offset = Controls{*window}.txtOffset;
        QCOMPARE(offset->text(), QString(open ? "250" : ""));
        QVERIFY(port->written.isEmpty());  // the unit's own offset is not sent back
        offset->setFocus();
        offset->selectAll();
    }
    void ExpectSelectedZero()
    {
        QCOMPARE(offset->text(), QString("0"));
        QCOMPARE(offset->selectionStart(), 0);
        QCOMPARE(offset->selectedText(), QString("0"));
        QCOMPARE(QApplication::focusWidget(), offset);
    }

private slots:
    void initTestCase() { UseProgramIdentity(); }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup()
    {
        window.reset();
        settings.reset();
    }

    // Each keystroke sends the value typed so far.
    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QList<int>>("sent");
        QTest::newRow("1234") << "1234" << "1234" << QList<int>{1, 12, 123, 1234};
        QTest::newRow("9999") << "9999" << "9999" << QList<int>{9, 99, 999, 9999};
        QTest::newRow("leading zeros stay") << "0012" << "0012" << QList<int>{0, 0, 1, 12};
        QTest::newRow("12.5 sends 12") << "12.5" << "12.5" << QList<int>{1, 12, 12, 12};
        QTest::newRow("12.6 sends 13") << "12.6" << "12.6" << QList<int>{1, 12, 12, 13};
        QTest::newRow("0.5 sends 0") << "0.5" << "0.5" << QList<int>{0, 0, 0};
        QTest::newRow("trailing blank") << "7 " << "7 " << QList<int>{7, 7};
        // The fifth digit makes 10000: rejected, and 0 is sent twice.
        QTest::newRow("10000") << "10000" << "0" << QList<int>{1, 10, 100, 1000, 0, 0};
        // A letter after the number is rejected; the next key replaces the 0.
        QTest::newRow("12a then 5") << "12a5" << "5" << QList<int>{1, 12, 0, 0, 5};
    }

    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(QList<int>, sent);
        Start();
        QTest::keyClicks(offset, keys);
        QCOMPARE(offset->text(), shown);
        QCOMPARE(port->written, Offsets(sent));
    }

    // Deleting down to nothing leaves a selected "0", and typing then
    // replaces it.
    void deletingEverything()
    {
        Start();
        QTest::keyClicks(offset, "12");
        QTest::keyClick(offset, Qt::Key_End);
        QTest::keyClick(offset, Qt::Key_Backspace);
        QTest::keyClick(offset, Qt::Key_Backspace);
        ExpectSelectedZero();
        QCOMPARE(port->written, Offsets({1, 12, 1, 0, 0}));

        port->written.clear();
        QTest::keyClicks(offset, "1234");
        QCOMPARE(offset->text(), QString("1234"));
        QCOMPARE(port->written, Offsets({1, 12, 123, 1234}));
    }

    // Texts that are not an offset, however they arrive (a paste, the
    // program): replaced by a selected "0", the 0 sent twice.
    void rejected_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"10000", "-5", "9999.4", "12a", "abc", "", "1e5", "-0.5", " ", "1,5"})
            QTest::newRow(text) << QString(text);
    }

    void rejected()
    {
        QFETCH(QString, text);
        Start();
        offset->setText(text);
        ExpectSelectedZero();
        QCOMPARE(port->written, Offsets({0, 0}));
    }

    void acceptedAsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sent");
        QTest::newRow("9999") << "9999" << 9999;
        QTest::newRow("9999.0") << "9999.0" << 9999;
        QTest::newRow("1e3") << "1e3" << 1000;
        QTest::newRow("blanks around") << "  42  " << 42;
        QTest::newRow("plus") << "+8" << 8;
        QTest::newRow("minus zero") << "-0" << 0;
    }

    void acceptedAsTyped()
    {
        QFETCH(QString, text);
        QFETCH(int, sent);
        Start();
        offset->setText(text);
        QCOMPARE(offset->text(), text);
        QCOMPARE(port->written, Offsets({sent}));
    }

    void closedPortChangesOnlyTheField()
    {
        Start(false);
        QTest::keyClicks(offset, "12x");
        ExpectSelectedZero();
        QVERIFY(port->written.isEmpty());
    }
};

QTEST_MAIN(OffsetEntryTest)
#include "tst_offsetentry.moc"
