#include "calc/CalcEngine.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// One character per key: digits, "." , "+ - * x /", "=", "A" for AC.
// Blanks only make the tables easier to read.
QStringList press(CalcEngine &calc, const QString &keys)
{
    QStringList shown;
    for (QChar k : keys) {
        const char16_t c = k.unicode();
        if (c == u' ')
            continue;
        if (c >= u'0' && c <= u'9')
            calc.digit(c - u'0');
        else if (c == u'.')
            calc.point();
        else if (c == u'+')
            calc.op(0);
        else if (c == u'-')
            calc.op(1);
        else if (c == u'*' || c == u'x')
            calc.op(2);
        else if (c == u'/')
            calc.op(3);
        else if (c == u'=')
            calc.equals();
        else if (c == u'A')
            calc.allClear();
        else
            qFatal("unknown key in test table");
        shown << calc.display();
    }
    return shown;
}

QString last(const QStringList &shown)
{
    return shown.isEmpty() ? QString() : shown.last();
}

}  // namespace

class TestCalcEngine : public QObject
{
    Q_OBJECT

private slots:
    void canonicalText_data();
    void canonicalText();
    void textToNumber_data();
    void textToNumber();
    void displayAfterEachKey_data();
    void displayAfterEachKey();
    void finalDisplay_data();
    void finalDisplay();
    void stateAfterKeys_data();
    void stateAfterKeys();
    void loadStartsAfresh();
    void keysOutOfRangeAreIgnored();
};

void TestCalcEngine::canonicalText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    const double dmax = std::numeric_limits<double>::max();
    const double dtrue_min = std::numeric_limits<double>::denorm_min();

    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("negative zero") << -0.0 << " 0";
    QTest::newRow("negative") << -2.0 << "-2";
    QTest::newRow("whole with zeros") << 100.0 << " 100";
    QTest::newRow("half") << 0.5 << " .5";
    QTest::newRow("minus half") << -0.5 << "-.5";
    QTest::newRow("one third") << 1.0 / 3.0 << " .333333333333333";
    QTest::newRow("two thirds") << 2.0 / 3.0 << " .666666666666667";
    QTest::newRow("binary noise rounds away") << 0.1 + 0.2 << " .3";
    QTest::newRow("15 digits plain") << 123456789012345.0 << " 123456789012345";
    QTest::newRow("1E+14 plain") << 1e14 << " 100000000000000";
    QTest::newRow("1E+15") << 1e15 << " 1E+15";
    QTest::newRow("16 digits") << 1234567890123456.0 << " 1.23456789012346E+15";
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
    QTest::newRow("largest double") << dmax << " 1.79769313486232E+308";
    QTest::newRow("smallest subnormal") << dtrue_min << " 4.94065645841247E-324";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "-E-";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "-E-";
}

void TestCalcEngine::canonicalText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(::canonicalText(value), text);
}

void TestCalcEngine::textToNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("overflow");
    QTest::addColumn<double>("value");

    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks only") << "   " << false << 0.0;
    QTest::newRow("no digits") << "abc" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("exponent without mantissa") << "E5" << false << 0.0;
    QTest::newRow("canonical positive") << " 7" << false << 7.0;
    QTest::newRow("canonical negative") << "-2" << false << -2.0;
    QTest::newRow("explicit plus") << "+4" << false << 4.0;
    QTest::newRow("no zero before point") << " .5" << false << 0.5;
    QTest::newRow("negative fraction") << "-.5" << false << -0.5;
    QTest::newRow("trailing point") << " 5." << false << 5.0;
    QTest::newRow("blanks between digits") << " 1 2 3" << false << 123.0;
    QTest::newRow("blank after sign") << "- 5" << false << -5.0;
    QTest::newRow("tab and line break") << "\t1\n2" << false << 12.0;
    QTest::newRow("second point ends") << "1.5.3" << false << 1.5;
    QTest::newRow("comma ends") << "1,5" << false << 1.0;
    QTest::newRow("letters end") << "12abc" << false << 12.0;
    QTest::newRow("non-ASCII digit ends") << QString::fromUtf16(u"4\u0663") << false << 4.0;
    QTest::newRow("exponent") << "1E3" << false << 1000.0;
    QTest::newRow("small e, plus sign") << "1e+3" << false << 1000.0;
    QTest::newRow("negative exponent") << "2E-2" << false << 0.02;
    QTest::newRow("exponent letter alone") << "1E" << false << 1.0;
    QTest::newRow("exponent sign alone") << "1E+" << false << 1.0;
    QTest::newRow("digit appended to exponent") << " 1.23456789012346E+15 7" << false
                                                << 1.23456789012346e157;
    QTest::newRow("largest double") << "1.7976931348623157E+308" << false
                                    << std::numeric_limits<double>::max();
    QTest::newRow("underflow reads as zero") << "1E-400" << false << 0.0;
    QTest::newRow("subnormal") << "5E-324" << false << std::numeric_limits<double>::denorm_min();
    QTest::newRow("exponent overflow") << " 1.23456789012346E+1578" << true << 0.0;
    QTest::newRow("negative overflow") << "-1E+309" << true << 0.0;
    QTest::newRow("largest double rounded up") << " 1.79769313486232E+308" << true << 0.0;
    QTest::newRow("huge exponent digits") << "1E+99999999999999999999" << true << 0.0;
}

void TestCalcEngine::textToNumber()
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

void TestCalcEngine::displayAfterEachKey_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("first digit") << "7" << QStringList{" 7"};
    QTest::newRow("chaining") << "2 + 3 x 4 ="
                              << QStringList{" 2", " 2", " 2", " 5", " 5", " 20"};
    QTest::newRow("division by zero") << "5 / 0 = 7" << QStringList{" 5", " 5", " 5", "-E-", " 7"};
    QTest::newRow("empty second operand in product") << "5 * +" << QStringList{" 5", " 5", " 0"};
    QTest::newRow("empty divisor") << "5 / + 2 =" << QStringList{" 5", " 5", "-E-", " 2", " 2"};
    QTest::newRow("equals twice") << "5 + 3 = =" << QStringList{" 5", " 5", " 5", " 8", " 8"};
    QTest::newRow("equals before digits") << "= 4" << QStringList{"", " 4"};
    QTest::newRow("operator before digits") << "+ 7 =" << QStringList{"", "", " 7"};
    QTest::newRow("leading zeros") << "0 0 5" << QStringList{" 0", " 0", " 5"};
    QTest::newRow("point keeps zeros") << "1 . 0 5 +" << QStringList{" 1", " 1.", " 1.0", " 1.05", " 1.05"};
    QTest::newRow("point first") << ". 5 =" << QStringList{" 0.", " 0.5", " .5"};
    QTest::newRow("fraction tidied when used") << "1 . 5 0 =" << QStringList{" 1", " 1.", " 1.5", " 1.50", " 1.5"};
    QTest::newRow("second point ignored") << "1 . . 5" << QStringList{" 1", " 1.", " 1.", " 1.5"};
    QTest::newRow("fraction as second operand") << "5 + . 5 ="
                                                << QStringList{" 5", " 5", " 5", " 5", " 5.5"};
    QTest::newRow("point after result starts over") << "5 + 3 = . 5"
                                                    << QStringList{" 5", " 5", " 5", " 8", " 0.", " 0.5"};
    QTest::newRow("AC") << "5 + 3 A 2 =" << QStringList{" 5", " 5", " 5", "0", " 2", " 2"};
}

void TestCalcEngine::displayAfterEachKey()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, shown);
    CalcEngine calc;
    QCOMPARE(calc.display(), QStringLiteral("0"));
    QCOMPARE(press(calc, keys), shown);
}

void TestCalcEngine::finalDisplay_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");

    QTest::newRow("1/3") << "1/3=" << " .333333333333333";
    QTest::newRow("2/3") << "2/3=" << " .666666666666667";
    QTest::newRow("10/4") << "10/4=" << " 2.5";
    QTest::newRow("15 digits") << "123456789012345" << " 123456789012345";
    QTest::newRow("16 digits") << "1234567890123456" << " 1.23456789012346E+15";
    QTest::newRow("17th digit joins the exponent") << "12345678901234567" << " 1.23456789012346E+157";
    QTest::newRow("18th digit overflows") << "123456789012345678" << "-E-";
    QTest::newRow("digit after overflow") << "1234567890123456789" << " 9";
    QTest::newRow("3-5") << "3-5=" << "-2";
    QTest::newRow("negative result chained") << "3-5=*2=" << "-4";
    QTest::newRow("negative zero product") << "3-5=*0=" << " 0";
    QTest::newRow("0/0") << "0/0=" << "-E-";
    QTest::newRow("empty divisor on equals") << "5/=" << "-E-";
    QTest::newRow("plus then equals") << "5+=" << " 5";
    QTest::newRow("times then equals") << "5*=" << " 0";
    QTest::newRow("digit after result") << "5+3=2" << " 2";
    QTest::newRow("operator after result") << "5+3=+2=" << " 10";
    QTest::newRow("AC keeps the start-new flag") << "5+3=A+2=" << " 2";
    // The rounded operand text is what the next step computes with.
    QTest::newRow("third times three") << "1/3*3=" << " .999999999999999";
    QTest::newRow("two thirds times three") << "2/3*3=" << " 2";
    QTest::newRow("result rounds to 1E+15") << "999999999999999+.9=" << " 1E+15";
    QTest::newRow("small result scientific") << "1/100000=" << " 1E-05";
    QTest::newRow("small result plain") << "1/10000=" << " .0001";
    QTest::newRow("product overflows")
        << "12345678901234567*12345678901234567=" << "-E-";
    QTest::newRow("subnormal result")
        << "1/12345678901234567/12345678901234567=" << " 6.56100011882642E-315";
    QTest::newRow("underflow to zero")
        << "1/12345678901234567/12345678901234567/12345678901234567=" << " 0";
    QTest::newRow("fault clears a typed fraction") << "1.5/0=3" << " 3";
    QTest::newRow("AC clears a typed fraction") << "1.5A2=" << " 2";
    QTest::newRow("fraction stops at 15 digits") << ".12345678901234567" << " 0.123456789012345";
    QTest::newRow("whole part counts toward 15") << "123456789012345.6" << " 123456789012345.";
    QTest::newRow("no point in scientific form") << "1234567890123456.7" << " 1.23456789012346E+157";
    QTest::newRow("lone point is zero") << ".=" << " 0";
}

void TestCalcEngine::finalDisplay()
{
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    CalcEngine calc;
    QCOMPARE(last(press(calc, keys)), shown);
}

void TestCalcEngine::stateAfterKeys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("firstNum");
    QTest::addColumn<QString>("secondNum");
    QTest::addColumn<QString>("pendingOp");
    QTest::addColumn<bool>("startNew");

    QTest::newRow("fresh") << "" << "" << "" << "" << false;
    QTest::newRow("first operand") << "12" << " 12" << "" << "" << false;
    QTest::newRow("second operand") << "12+3" << " 12" << " 3" << "+" << false;
    QTest::newRow("multiplication key carries *") << "2x" << " 2" << "" << "*" << false;
    QTest::newRow("result") << "12+3=" << " 15" << "" << "" << true;
    QTest::newRow("operator after result") << "12+3=*" << " 15" << "" << "*" << false;
    QTest::newRow("digit after result") << "12+3=4" << " 4" << "" << "" << false;
    QTest::newRow("AC after result") << "12+3=A" << "" << "" << "" << true;
    QTest::newRow("fault on equals") << "5/0=" << "" << "" << "" << false;
    QTest::newRow("fault drops the new operator") << "5/+" << "" << "" << "" << false;
    QTest::newRow("fault while reading a digit") << "123456789012345678" << "" << "" << "" << false;
    QTest::newRow("fraction as typed") << "1.0" << " 1.0" << "" << "" << false;
    QTest::newRow("fraction tidied by operator") << "1.0+" << " 1" << "" << "+" << false;
    QTest::newRow("second fraction as typed") << "5+1.50" << " 5" << " 1.50" << "+" << false;
    QTest::newRow("second fraction used") << "5+1.50=" << " 6.5" << "" << "" << true;
}

void TestCalcEngine::stateAfterKeys()
{
    QFETCH(QString, keys);
    QFETCH(QString, firstNum);
    QFETCH(QString, secondNum);
    QFETCH(QString, pendingOp);
    QFETCH(bool, startNew);

    CalcEngine calc;
    press(calc, keys);
    QCOMPARE(calc.firstNum(), firstNum);
    QCOMPARE(calc.secondNum(), secondNum);
    QCOMPARE(calc.pendingOp(), pendingOp);
    QCOMPARE(calc.startNew(), startNew);
}

void TestCalcEngine::loadStartsAfresh()
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

void TestCalcEngine::keysOutOfRangeAreIgnored()
{
    CalcEngine calc;
    press(calc, "5+");
    calc.digit(10);
    calc.digit(-1);
    calc.op(4);
    calc.op(-1);
    QCOMPARE(calc.firstNum(), QStringLiteral(" 5"));
    QCOMPARE(calc.secondNum(), QString());
    QCOMPARE(calc.pendingOp(), QStringLiteral("+"));
    QCOMPARE(calc.display(), QStringLiteral(" 5"));
}

QTEST_GUILESS_MAIN(TestCalcEngine)
#include "test_calcengine.moc"
