#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "kit/Screens.h"
#include "shell/frmMain.h"
#include "calc/CalcEngine.h"
#include "calc/frmCal.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

class TestFrmCal : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    frmCal* openCalculator()
    {
        QTest::mouseClick(main->cmdCalculator, Qt::LeftButton);
        return visibleWindow<frmCal>();
    }

    // One character per key, as on the keypad: digits, ".", "+ - x /", "=", "A" for AC.
    static QString keyName(QChar k)
    {
        switch (k.unicode()) {
        case u'.': return QStringLiteral("cmdPt");
        case u'+': return QStringLiteral("cmdOp_0");
        case u'-': return QStringLiteral("cmdOp_1");
        case u'x': return QStringLiteral("cmdOp_2");
        case u'/': return QStringLiteral("cmdOp_3");
        case u'=': return QStringLiteral("cmdEQ");
        case u'A': return QStringLiteral("cmdAC");
        default: return QStringLiteral("cmdNum_%1").arg(k);
        }
    }

    static void pressOnEngine(CalcEngine& engine, QChar k)
    {
        switch (k.unicode()) {
        case u'.': engine.point(); break;
        case u'+': engine.op(0); break;
        case u'-': engine.op(1); break;
        case u'x': engine.op(2); break;
        case u'/': engine.op(3); break;
        case u'=': engine.equals(); break;
        case u'A': engine.allClear(); break;
        default: engine.digit(k.digitValue());
        }
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
    }
    void cleanup() { fx.reset(); }

    // The window adds nothing of its own: after every click it shows exactly
    // what an engine given the same presses shows.
    void everyClickIsForwardedAndItsDisplayShown_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("finalDisplay");
        QTest::newRow("chained") << "2+3x4=" << " 20";
        QTest::newRow("third") << "1/3=" << " .333333333333333";
        QTest::newRow("fraction") << "1.05+1=" << " 2.05";
        QTest::newRow("division by zero, then a digit") << "5/0=7" << " 7";
        QTest::newRow("all clear") << "12+3A" << "0";
        QTest::newRow("sixteen digits") << "1234567890123456" << " 1.23456789012346E+15";
    }
    void everyClickIsForwardedAndItsDisplayShown()
    {
        QFETCH(QString, keys);
        QFETCH(QString, finalDisplay);
        frmCal* cal = openCalculator();
        CalcEngine reference;
        for (QChar k : keys) {
            auto* button = cal->findChild<asxToolButton*>(keyName(k));
            QVERIFY2(button, qPrintable(keyName(k)));
            QTest::mouseClick(button, Qt::LeftButton);
            pressOnEngine(reference, k);
            QCOMPARE(cal->txtDisp->text(), reference.display());
        }
        QCOMPARE(cal->txtDisp->text(), finalDisplay);
    }

    void theToolButtonAgainKeepsTheOneWindowAndItsState()
    {
        frmCal* cal = openCalculator();
        QCOMPARE(cal->windowTitle(), QStringLiteral("Calculator"));
        QCOMPARE(cal->txtDisp->text(), QStringLiteral("0"));
        QVERIFY(cal->txtDisp->isReadOnly());
        QTest::mouseClick(cal->cmdNum[7], Qt::LeftButton);
        QTest::mouseClick(cal->cmdOp[0], Qt::LeftButton);
        QCOMPARE(openCalculator(), cal);
        QTest::mouseClick(cal->cmdNum[1], Qt::LeftButton);
        QTest::mouseClick(cal->cmdEQ, Qt::LeftButton);
        QCOMPARE(cal->txtDisp->text(), QStringLiteral(" 8"));

        // Closed and opened again, it starts from nothing.
        cal->close();
        pump();
        cal = openCalculator();
        QCOMPARE(cal->txtDisp->text(), QStringLiteral("0"));
    }

    // Exit from the main window leaves the calculator open, and the program
    // runs on until it too is closed.
    void outlivesTheMainWindow()
    {
        frmCal* cal = openCalculator();
        QVERIFY(QApplication::quitOnLastWindowClosed());
        bool calculatorStayed = false;
        bool timedOut = false;
        QTimer exit, closeCalculator, watchdog;
        for (QTimer* t : {&exit, &closeCalculator, &watchdog})
            t->setSingleShot(true);
        connect(&exit, &QTimer::timeout, this, [&] { QTest::mouseClick(main->cmdExit, Qt::LeftButton); });
        connect(&closeCalculator, &QTimer::timeout, this, [&] {
            calculatorStayed = !Screens::isLoaded<frmMain>() && cal->isVisible();
            cal->close();
            watchdog.start(5000);
        });
        connect(&watchdog, &QTimer::timeout, this, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        exit.start(0);
        closeCalculator.start(100);
        QCoreApplication::exec();  // ends when the program would end
        QVERIFY(calculatorStayed);
        QVERIFY(!timedOut);
    }
};

QTEST_MAIN(TestFrmCal)
#include "test_frmcal.moc"
