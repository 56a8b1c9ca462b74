#include "calc/CalcEngine.h"

#include <QTest>

#include <limits>

class TestCalcEngine : public QObject {
    Q_OBJECT

private slots:
    // The display after each of the last keys pressed. One character per key:
    // digits, ".", "+ - x /", "=", "A" for AC; blanks only help the reader.
    void display_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("shown");
        auto row = [](const char* keys, const QStringList& shown) { QTest::newRow(keys) << QString(keys) << shown; };
        row("2 + 3 x 4 =", {" 2", " 2", " 2", " 5", " 5", " 20"});
        row("3-5=x0=", {" 0"});
        row("5 / 0 = 7", {" 5", " 5", " 5", "-E-", " 7"});
        row("5 x +", {" 5", " 5", " 0"});
        row("5 / + 2 =", {" 5", " 5", "-E-", " 2", " 2"});
        row("5+3=2", {" 2"});
        row("5+3=+2=", {" 10"});
        row("5 + 3 A 2 =", {" 5", " 5", " 5", "0", " 2", " 2"});
        row("0 0 5", {" 0", " 0", " 5"});
        // Neither part of an operand takes a sixteenth digit.
        row("123456789012345 6 7", {" 123456789012345", " 123456789012345", " 123456789012345"});
        row("123456789012345+1 2=", {" 123456789012357"});
        row(".12345678901234567", {" 0.123456789012345"});
        row("123456789012345.6", {" 123456789012345."});
        // Results: 15 significant digits, a half rounded away from zero,
        // scientific form from 1E+15 and below 1E-04.
        row(".1+.2=", {" .3"});
        row("1/3x3=", {" .999999999999999"});
        row("999999999999999+.9=", {" 1E+15"});
        row("123456789012345x10+5=", {" 1.23456789012346E+15"});
        row("123456789012344x10+5=", {" 1.23456789012345E+15"});
        row("1/100000=", {" 1E-05"});
        row("0-3/20000000=", {"-1.5E-07"});
        row("1.5/0=3", {" 3"});
        row("1 . 0 5 +", {" 1", " 1.", " 1.0", " 1.05", " 1.05"});
        row(". 5 =", {" 0.", " 0.5", " .5"});
        row("5 + . 5 =", {" 5", " 5", " 5", " 5", " 5.5"});
    }
    void display()
    {
        QFETCH(QString, keys);
        QFETCH(QStringList, shown);
        CalcEngine calc;
        QStringList all;
        for (QChar k : keys) {
            if (k.isDigit())
                calc.digit(k.digitValue());
            else if (const qsizetype op = QStringLiteral("+-x/").indexOf(k); op >= 0)
                calc.op(int(op));
            else if (k == u'.')
                calc.point();
            else if (k == u'=')
                calc.equals();
            else if (k == u'A')
                calc.allClear();
            if (k != u' ')
                all << calc.display();
        }
        QCOMPARE(all.mid(all.size() - shown.size()), shown);
    }

    void extremesOfTheDoubleRange()
    {
        QCOMPARE(canonicalText(std::numeric_limits<double>::denorm_min()), QStringLiteral(" 4.94065645841247E-324"));
        QCOMPARE(textToNumber(QStringLiteral(" 1.79769313486232E+308")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestCalcEngine)
#include "test_calcengine.moc"
