#include <QTest>

#include "kit/Clock.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "controls/MonthView.h"
#include "planner/frmCalendar.h"
#include "support/Fixture.h"

class TestCalendar : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    frmCalendar* openFromToolBar()
    {
        QTest::mouseClick(main->cmdCalendar, Qt::LeftButton);
        return visibleWindow<frmCalendar>();
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
    }
    void cleanup()
    {
        main = nullptr;
        fx.reset();
    }

    void opensOnTodayEveryTimeAsAWindowOfItsOwn()
    {
        frmCalendar* cal = openFromToolBar();
        QVERIFY(cal);
        QVERIFY(cal->isWindow());
        QCOMPARE(cal->windowTitle(), QStringLiteral("Calendar"));
        QCOMPARE(cal->MonthView1->Value(), QDate(2026, 5, 15));
        QCOMPARE(cal->MonthView1->monthShown(), 5);
        QCOMPARE(cal->MonthView1->yearShown(), 2026);

        // Browsing elsewhere and opening again while open changes nothing.
        cal->MonthView1->setValue(QDate(2026, 9, 2));
        QCOMPARE(openFromToolBar(), cal);
        QCOMPARE(cal->MonthView1->Value(), QDate(2026, 9, 2));

        QTest::mouseClick(cal->cmdExit, Qt::LeftButton);
        pump();
        QVERIFY(!Screens::isLoaded<frmCalendar>());

        // A later day: the next opening is on that day, not on the last one chosen.
        Clock::setFixed(QDateTime(QDate(2027, 1, 31), QTime(8, 0)));
        cal = openFromToolBar();
        QVERIFY(cal);
        QCOMPARE(cal->MonthView1->Value(), QDate(2027, 1, 31));
        QCOMPARE(cal->MonthView1->monthShown(), 1);
    }

    void staysOpenWhenTheMainWindowCloses()
    {
        frmCalendar* cal = openFromToolBar();
        QVERIFY(cal);
        QTest::mouseClick(main->cmdExit, Qt::LeftButton);
        pump();
        main = nullptr;
        QVERIFY(!Screens::isLoaded<frmMain>());
        QCOMPARE(visibleWindow<frmCalendar>(), cal);
    }
};

QTEST_MAIN(TestCalendar)
#include "test_calendar.moc"
