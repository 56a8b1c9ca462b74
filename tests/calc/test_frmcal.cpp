#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "calc/frmCal.h"
#include "controls/Buttons.h"
#include "shell/frmMain.h"
#include "support/Fixture.h"
#include "window/Screens.h"

class TestFrmCal : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    frmCal* openCalculator()
    {
        QTest::mouseClick(main->button("cmdCalculator"), Qt::LeftButton);
        return visibleWindow<frmCal>();
    }

    // Clicks one button per character: digits, ".", "+ - x /", "=", "A" for
    // AC; returns the display after the last.
    static QString click(frmCal* cal, const QString& keys)
    {
        const QStringList named = {"cmdOp_0", "cmdOp_1", "cmdOp_2", "cmdOp_3", "cmdPt", "cmdEQ", "cmdAC"};
        for (QChar k : keys)
            QTest::mouseClick(cal->findChild<asxToolButton*>(k.isDigit()
                                                                 ? QStringLiteral("cmdNum_%1").arg(k)
                                                                 : named.value(QStringLiteral("+-x/.=A").indexOf(k))),
                              Qt::LeftButton);
        return cal->txtDisp->text();
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
    }
    void cleanup() { fx.reset(); }

    // Every button reaches the engine, the display follows at once, and the
    // tool button brings back the same calculation until the window closes.
    void buttonsAreForwardedAndTheWindowKeepsItsState()
    {
        frmCal* cal = openCalculator();
        QCOMPARE(click(cal, "9-3x4/8+1"), QStringLiteral(" 3"));
        QCOMPARE(click(cal, ".5="), QStringLiteral(" 4.5"));
        QCOMPARE(click(cal, "7A"), QStringLiteral("0"));
        QCOMPARE(click(cal, "6+"), QStringLiteral(" 6"));
        QCOMPARE(openCalculator(), cal);
        QCOMPARE(click(cal, "2="), QStringLiteral(" 8"));
        cal->close();
        pump();
        QCOMPARE(openCalculator()->txtDisp->text(), QStringLiteral("0"));
    }

    // Exit from the main window leaves the calculator open, and the program
    // runs on until it too is closed.
    void outlivesTheMainWindow()
    {
        frmCal* cal = openCalculator();
        bool calculatorStayed = false;
        QTimer::singleShot(0, this, [&] { QTest::mouseClick(main->button("cmdExit"), Qt::LeftButton); });
        QTimer::singleShot(100, this, [&] {
            calculatorStayed = !Screens::isLoaded<frmMain>() && cal->isVisible();
            cal->close();
        });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);  // returns when the program would end
        QVERIFY(calculatorStayed);
    }
};

QTEST_MAIN(TestFrmCal)
#include "test_frmcal.moc"
