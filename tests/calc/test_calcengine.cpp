#include "calc/CalcEngine.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// One character per key: digits, ".", "+ - * /" ("x" is "*"), "=", "A" for
// AC. Blanks only make the tables easier to read. Returns the display after
// each key.
QStringList press(CalcEngine &calc, const QString &keys)
{
    QStringList shown;
    const QString typed = QString(keys).remove(u' ').replace(u'x', u'*');
    for (QChar k : typed) {
        if (k.isDigit())
            calc.digit(k.digitValue());
        else if (const qsizetype op = QStringLiteral("+-*/").indexOf(k); op >= 0)
            calc.op(int(op));
        else if (k == u'.')
            calc.point();
        else if (k == u'=')
            calc.equals();
        else if (k == u'A')
            calc.allClear();
        else
            qFatal("unknown key in test table");
        shown << calc.display();
    }
    return shown;
}

}  // namespace

class TestCalcEngine : public QObject
{
    Q_OBJECT

private slots:
    void canonicalText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << " 0";
        QTest::newRow("negative zero") << -0.0 << " 0";
        QTest::newRow("negative") << -2.0 << "-2";
        QTest::newRow("whole with zeros") << 100.0 << " 100";
        QTest::newRow("half") << 0.5 << " .5";
        QTest::newRow("minus half") << -0.5 << "-.5";
        QTest::newRow("binary noise rounds away") << 0.1 + 0.2 << " .3";
        QTest::newRow("15 digits plain") << 123456789012345.0 << " 123456789012345";
        QTest::newRow("1E+14 plain") << 1e14 << " 100000000000000";
        QTest::newRow("1E+15") << 1e15 << " 1E+15";
        QTest::newRow("three exponent digits") << 1.23456789012346e157 << " 1.23456789012346E+157";
        QTest::newRow("rounds up into scientific") << 999999999999999.9 << " 1E+15";
        QTest::newRow("half rounds away, odd") << 1234567890123455.0 << " 1.23456789012346E+15";
        QTest::newRow("half rounds away, even") << 1234567890123445.0 << " 1.23456789012345E+15";
        QTest::newRow("below half rounds down") << 1234567890123444.0 << " 1.23456789012344E+15";
        QTest::newRow("thousandth") << 0.001 << " .001";
        QTest::newRow("smallest plain") << 0.0001 << " .0001";
        QTest::newRow("first scientific") << 0.00001 << " 1E-05";
        QTest::newRow("1E-10") << 1e-10 << " 1E-10";
        QTest::newRow("small negative") << -1.5e-7 << "-1.5E-07";
        QTest::newRow("largest double") << std::numeric_limits<double>::max() << " 1.79769313486232E+308";
        QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min() << " 4.94065645841247E-324";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "-E-";
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "-E-";
    }
    void canonicalText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(::canonicalText(value), text);
    }

    // The operand texts the keys build: canonical texts, digits appended to
    // them, fractions as typed. overflow: the value lies beyond the double range.
    void textToNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("overflow");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("negative") << "-2" << false << -2.0;
        QTest::newRow("digit appended") << " 1 2 3" << false << 123.0;
        QTest::newRow("digit appended to negative") << "-2 5" << false << -25.0;
        QTest::newRow("no zero before point") << " .5" << false << 0.5;
        QTest::newRow("negative fraction") << "-.5" << false << -0.5;
        QTest::newRow("trailing point") << " 5." << false << 5.0;
        QTest::newRow("typed fraction") << " 1.50" << false << 1.5;
        QTest::newRow("exponent") << " 1E+15" << false << 1e15;
        QTest::newRow("negative exponent") << "-1.5E-07" << false << -1.5e-7;
        QTest::newRow("digit appended to exponent") << " 1.23456789012346E+15 7" << false << 1.23456789012346e157;
        QTest::newRow("digit appended to negative exponent") << " 1E-05 3" << false << 1e-53;
        QTest::newRow("largest double") << " 1.79769313486231E+308" << false << 1.79769313486231e308;
        QTest::newRow("underflow reads as zero") << " 1E-400" << false << 0.0;
        QTest::newRow("subnormal") << " 4.94065645841247E-324" << false << std::numeric_limits<double>::denorm_min();
        QTest::newRow("exponent overflow") << " 1.23456789012346E+1578" << true << 0.0;
        QTest::newRow("negative overflow") << "-1E+309" << true << 0.0;
        QTest::newRow("largest double rounded up") << " 1.79769313486232E+308" << true << 0.0;
    }
    void textToNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, overflow);
        QFETCH(double, value);
        const std::optional<double> read = ::textToNumber(text);
        QCOMPARE(!read.has_value(), overflow);
        if (read) {
            // Exact: QCOMPARE on doubles would forgive the last digits.
            QVERIFY2(*read == value, qPrintable(QString::number(*read, 'g', 17)));
            QCOMPARE(std::signbit(*read), std::signbit(value));
        }
    }

    // The display after each of the last keys pressed (after the last one
    // only, where one display is given).
    void display_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("shown");
        auto row = [](const char *name, const char *keys, const QStringList &shown) {
            QTest::newRow(name) << QString::fromLatin1(keys) << shown;
        };
        row("first digit", "7", {" 7"});
        row("chaining", "2 + 3 x 4 =", {" 2", " 2", " 2", " 5", " 5", " 20"});
        row("1/3", "1/3=", {" .333333333333333"});
        row("2/3", "2/3=", {" .666666666666667"});
        row("10/4", "10/4=", {" 2.5"});
        row("3-5", "3-5=", {"-2"});
        row("negative result chained", "3-5=*2=", {"-4"});
        row("negative zero product", "3-5=*0=", {" 0"});
        row("division by zero", "5 / 0 = 7", {" 5", " 5", " 5", "-E-", " 7"});
        row("0/0", "0/0=", {"-E-"});
        row("empty second operand in product", "5 * +", {" 5", " 5", " 0"});
        row("empty divisor", "5 / + 2 =", {" 5", " 5", "-E-", " 2", " 2"});
        row("empty divisor on equals", "5/=", {"-E-"});
        row("plus then equals", "5+=", {" 5"});
        row("times then equals", "5*=", {" 0"});
        row("equals twice", "5 + 3 = =", {" 5", " 5", " 5", " 8", " 8"});
        row("equals before digits", "= 4", {"", " 4"});
        row("operator before digits", "+ 7 =", {"", "", " 7"});
        row("digit after result", "5+3=2", {" 2"});
        row("operator after result", "5+3=+2=", {" 10"});
        row("AC", "5 + 3 A 2 =", {" 5", " 5", " 5", "0", " 2", " 2"});
        row("AC keeps the start-new flag", "5+3=A+2=", {" 2"});
        row("leading zeros", "0 0 5", {" 0", " 0", " 5"});
        row("15 digits", "123456789012345", {" 123456789012345"});
        row("16 digits", "1234567890123456", {" 1.23456789012346E+15"});
        row("17th digit joins the exponent", "12345678901234567", {" 1.23456789012346E+157"});
        row("18th digit overflows", "123456789012345678", {"-E-"});
        row("digit after overflow", "1234567890123456789", {" 9"});
        // The rounded operand text is what the next step computes with.
        row("third times three", "1/3*3=", {" .999999999999999"});
        row("two thirds times three", "2/3*3=", {" 2"});
        row("result rounds to 1E+15", "999999999999999+.9=", {" 1E+15"});
        row("product overflows", "12345678901234567*12345678901234567=", {"-E-"});
        row("subnormal result", "1/12345678901234567/12345678901234567=", {" 6.56100011882642E-315"});
        row("underflow to zero", "1/12345678901234567/12345678901234567/12345678901234567=", {" 0"});
        // The point key.
        row("point keeps zeros", "1 . 0 5 +", {" 1", " 1.", " 1.0", " 1.05", " 1.05"});
        row("point first", ". 5 =", {" 0.", " 0.5", " .5"});
        row("fraction tidied when used", "1 . 5 0 =", {" 1", " 1.", " 1.5", " 1.50", " 1.5"});
        row("second point ignored", "1 . . 5", {" 1", " 1.", " 1.", " 1.5"});
        row("fraction as second operand", "5 + . 5 =", {" 5", " 5", " 5", " 5", " 5.5"});
        row("point after result starts over", "5 + 3 = . 5", {" 5", " 5", " 5", " 8", " 0.", " 0.5"});
        row("fault clears a typed fraction", "1.5/0=3", {" 3"});
        row("AC clears a typed fraction", "1.5A2=", {" 2"});
        row("fraction stops at 15 digits", ".12345678901234567", {" 0.123456789012345"});
        row("whole part counts toward 15", "123456789012345.6", {" 123456789012345."});
        row("no point in scientific form", "1234567890123456.7", {" 1.23456789012346E+157"});
        row("lone point is zero", ".=", {" 0"});
    }
    void display()
    {
        QFETCH(QString, keys);
        QFETCH(QStringList, shown);
        CalcEngine calc;
        QCOMPARE(calc.display(), QStringLiteral("0"));
        const QStringList all = press(calc, keys);
        QCOMPARE(all.mid(all.size() - shown.size()), shown);
    }

    // What is kept between keys: "first|second|operator", then "new" when
    // the next digit starts a new calculation.
    void stateAfterKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("state");
        QTest::newRow("second operand") << "12+3" << " 12| 3|+";
        QTest::newRow("multiplication carries *") << "2x" << " 2||*";
        QTest::newRow("result") << "12+3=" << " 15||new";
        QTest::newRow("AC after result") << "12+3=A" << "||new";
        QTest::newRow("fault on equals") << "5/0=" << "||";
        QTest::newRow("fault drops the new operator") << "5/+" << "||";
        QTest::newRow("fault while reading a digit") << "123456789012345678" << "||";
        QTest::newRow("fraction tidied by operator") << "1.0+" << " 1||+";
        QTest::newRow("second fraction as typed") << "5+1.50" << " 5| 1.50|+";
    }
    void stateAfterKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, state);
        CalcEngine calc;
        press(calc, keys);
        QCOMPARE(QStringList({calc.firstNum(), calc.secondNum(), calc.pendingOp() + (calc.startNew() ? "new" : "")})
                     .join(u'|'),
                 state);
    }

    void loadStartsAfresh()
    {
        CalcEngine calc;
        press(calc, "5+3=");
        calc.load();
        QCOMPARE(calc.display(), QStringLiteral("0"));
        QCOMPARE(calc.firstNum(), QString());
        QCOMPARE(calc.startNew(), false);
        // A fraction left half typed must not take the next digit as typed text.
        press(calc, "1.5");
        calc.load();
        QCOMPARE(press(calc, "2"), QStringList{" 2"});
    }

    void keysOutOfRangeAreIgnored()
    {
        CalcEngine calc;
        press(calc, "5+");
        calc.digit(10);
        calc.digit(-1);
        calc.op(4);
        calc.op(-1);
        QCOMPARE(calc.firstNum() + '|' + calc.secondNum() + '|' + calc.pendingOp() + '|' + calc.display(),
                 QStringLiteral(" 5||+| 5"));
    }
};

QTEST_GUILESS_MAIN(TestCalcEngine)
#include "test_calcengine.moc"
