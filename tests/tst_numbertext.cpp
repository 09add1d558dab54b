// Reading numbers out of typed text, the same in every locale.

#include "device/numbertext.h"

#include <QLocale>

#include <clocale>
#include <QTest>

#include <cmath>
#include <limits>

class NumberTextTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");   // what the text begins with
        QTest::addColumn<bool>("number");    // the text as a whole is a number
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("blanks") << "   " << 0.0 << false;
        QTest::newRow("letters") << "abc" << 0.0 << false;
        QTest::newRow("digits then letters") << "12a" << 12.0 << false;
        QTest::newRow("leading blanks") << " 12" << 12.0 << true;
        QTest::newRow("trailing blanks") << "12  " << 12.0 << true;
        QTest::newRow("tab") << "\t7" << 7.0 << true;
        QTest::newRow("leading zeros") << "0012" << 12.0 << true;
        QTest::newRow("half") << "12.5" << 12.5 << true;
        QTest::newRow("no integer part") << ".5" << 0.5 << true;
        QTest::newRow("point, no fraction") << "5." << 5.0 << true;
        QTest::newRow("lone point") << "." << 0.0 << false;
        QTest::newRow("comma is not a decimal point") << "12,5" << 12.0 << false;
        QTest::newRow("two points") << "1.2.3" << 1.2 << false;
        QTest::newRow("negative") << "-5" << -5.0 << true;
        QTest::newRow("plus") << "+7" << 7.0 << true;
        QTest::newRow("lone sign") << "-" << 0.0 << false;
        QTest::newRow("sign then blank") << "- 5" << 0.0 << false;
        QTest::newRow("exponent") << "1e3" << 1000.0 << true;
        QTest::newRow("exponent with sign") << "25E-1" << 2.5 << true;
        QTest::newRow("exponent without digits") << "1e" << 1.0 << false;
        QTest::newRow("exponent sign without digits") << "1e+" << 1.0 << false;
        QTest::newRow("9999.4") << "9999.4" << 9999.4 << true;
        QTest::newRow("2100.2") << "2100.2" << 2100.2 << true;
        QTest::newRow("long digit run") << QString(40, '9') << 1e40 << true;
        QTest::newRow("huge exponent") << "1e400" << inf << true;
        QTest::newRow("huge negative") << "-" + QString(400, '9') << -inf << true;
        QTest::newRow("tiny") << "1e-400" << 0.0 << true;
        QTest::newRow("long zero fraction") << "0." + QString(400, '0') + "1" << 0.0 << true;
        QTest::newRow("hex is not read") << "0x10" << 0.0 << false;
        QTest::newRow("other digits are not read") << QString::fromUtf8("\u0661\u0662") << 0.0 << false;
    }

    void read()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, number);
        const NumberText::Reading reading = NumberText::Read(text);
        QCOMPARE(reading.value, value);
        QCOMPARE(reading.whole, number);
        QCOMPARE(NumberText::IsNumber(text), number);
    }

    // A German or French desktop reads "12.5" as twelve and a half too.
    void sameInEveryLocale()
    {
        const QLocale before;
        for (const char *name : {"de_DE", "fr_FR", "ar_EG", "C"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            std::setlocale(LC_ALL, name);
            QCOMPARE(NumberText::Read(u"12.5").value, 12.5);
            QVERIFY(!NumberText::IsNumber(u"12,5"));
        }
        QLocale::setDefault(before);
        std::setlocale(LC_ALL, "C");
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("rounded");
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("3.5") << 3.5 << 4.0;
        QTest::newRow("6.5") << 6.5 << 6.0;
        QTest::newRow("7.5") << 7.5 << 8.0;
        QTest::newRow("12.5") << 12.5 << 12.0;
        QTest::newRow("12.6") << 12.6 << 13.0;
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("-0.5") << -0.5 << 0.0;
        QTest::newRow("-1.5") << -1.5 << -2.0;
        QTest::newRow("9999.4") << 9999.4 << 9999.0;
    }

    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(double, rounded);
        QCOMPARE(NumberText::RoundHalfEven(value), rounded);
    }
};

QTEST_APPLESS_MAIN(NumberTextTest)
#include "tst_numbertext.moc"
