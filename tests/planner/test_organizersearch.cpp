#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "PlannerDriver.h"
#include "controls/ListView.h"
#include "planner/frmOrganizerSearch.h"
#include "support/Fixture.h"

namespace {
// The controls the mode buttons show and hide.
const QStringList kToggled = {"txtFinishTime", "imgFinishTime", "txtDate",       "imgDate",
                              "txtStartTime",  "imgStartTime",  "lstQuickMonth", "MonthView1"};
}  // namespace

class TestOrganizerSearch : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmOrganizerSearch* s = nullptr;

    void open(QDateTime now = AppFixture::defaultNow())
    {
        fx.reset();
        fx = std::make_unique<AppFixture>(now);
        fx->makeDataFolder();
        Db::exec(fx->dbPath(), QStringLiteral(
            "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
            "('5/15/26', '8:30AM', '9:00 AM', 'Dentist'),"
            "('5/16/26', '9:00AM', '9:30 AM', 'Gym'),"
            "('5/20/26', '8:30AM', '10:00 AM', 'Review'),"
            "('5/20/26', '2:00PM', '5 o''clock', 'O''Brien''s party')"));
        s = Screens::show<frmOrganizerSearch>();
        QVERIFY(s);
    }

    QStringList visibleToggled() const
    {
        QStringList shown;
        for (const QString& name : kToggled)
            if (s->findChild<QWidget*>(name)->isVisibleTo(s))
                shown << name;
        return shown;
    }

    // Each row as "start | note | finish".
    QStringList listed() const
    {
        QStringList rows;
        for (int i = 0; i < s->lstv->itemCount(); ++i)
            rows << s->lstv->itemText(i, 0) + " | " + s->lstv->itemText(i, 1) + " | " + s->lstv->itemText(i, 2);
        return rows;
    }

    void typeAndEnter(QLineEdit* box, const QString& text)
    {
        box->clear();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    void searchStart(const QString& text)
    {
        QTest::mouseClick(s->cmdStart, Qt::LeftButton);
        typeAndEnter(s->txtStartTime, text);
    }

    void clickMonth(const QString& name)
    {
        const auto found = s->lstQuickMonth->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        s->lstQuickMonth->scrollToItem(found[0]);
        QTest::mouseClick(s->lstQuickMonth->viewport(), Qt::LeftButton, {},
                          s->lstQuickMonth->visualItemRect(found[0]).center());
    }

private slots:
    void init() { open(); }
    void cleanup()
    {
        s = nullptr;
        fx.reset();
    }

    void loadShowsOnlyTheButtonsAndTheEmptyList()
    {
        QCOMPARE(s->windowTitle(), QStringLiteral("Organizer Search"));
        QCOMPARE(visibleToggled(), QStringList());
        for (QPushButton* b : {s->cmdFinished, s->cmdDate, s->cmdStart, s->cmdCalendar, s->cmdQuickSearchMonth})
            QVERIFY(b->isVisible());
        QCOMPARE(s->cmdQuickSearchMonth->text(), QStringLiteral("Quick Search Month"));
        QTreeWidgetItem* header = s->lstv->headerItem();
        QCOMPARE(s->lstv->columnCount(), 3);
        QCOMPARE(QStringList({header->text(0), header->text(1), header->text(2)}),
                 QStringList({"Time Start", "Note", "Time Finish"}));
        QCOMPARE(s->lstv->itemCount(), 0);
    }

    void modeButtonsShowHideAndSomeEmptyTheList_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("emptied");
        QTest::addColumn<QString>("focus");
        QTest::newRow("Date") << "cmdDate" << QStringList{"txtDate", "imgDate"} << false << "txtDate";
        QTest::newRow("Start Time") << "cmdStart" << QStringList{"txtStartTime", "imgStartTime"} << true
                                    << "txtStartTime";
        QTest::newRow("Finish Time") << "cmdFinished" << QStringList{"txtFinishTime", "imgFinishTime"} << true
                                     << "txtFinishTime";
        // The date box shown before stays; the calendar lies over it.
        QTest::newRow("Calendar") << "cmdCalendar" << QStringList{"txtDate", "MonthView1"} << true << "";
        QTest::newRow("Quick Search Month") << "cmdQuickSearchMonth" << QStringList{"lstQuickMonth", "MonthView1"}
                                            << false << "";
    }
    void modeButtonsShowHideAndSomeEmptyTheList()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, shown);
        QFETCH(bool, emptied);
        QFETCH(QString, focus);
        QTest::mouseClick(s->cmdDate, Qt::LeftButton);
        typeAndEnter(s->txtDate, QStringLiteral("5/15/26"));
        QCOMPARE(s->lstv->itemCount(), 1);

        QTest::mouseClick(s->findChild<QPushButton*>(button), Qt::LeftButton);
        QCOMPARE(visibleToggled(), shown);
        QCOMPARE(s->lstv->itemCount(), emptied ? 0 : 1);
        if (!focus.isEmpty())
            QCOMPARE(s->focusWidget()->objectName(), focus);
        if (shown.contains(QStringLiteral("MonthView1")))
            QCOMPARE(s->MonthView1->x(), 80);  // 1200 twips
        QVERIFY(fx->messages.size() == 0);
    }

    void textSearchesListEveryMatchAndAccumulate()
    {
        searchStart(QStringLiteral("8:30AM"));
        QCOMPARE(listed(), QStringList({"8:30AM | Dentist | 9:00 AM", "8:30AM | Review | 10:00 AM"}));
        // The caption names the date of the last row listed.
        QCOMPARE(s->windowTitle(), QStringLiteral("5/20/26"));
        QTest::keyClick(s->txtStartTime, Qt::Key_Return);
        QCOMPARE(s->lstv->itemCount(), 4);

        QTest::mouseClick(s->cmdDate, Qt::LeftButton);
        QCOMPARE(s->lstv->itemCount(), 4);
        QTest::keyClicks(s->txtDate, QStringLiteral("5/16/26"));
        QTest::mouseClick(s->imgDate, Qt::LeftButton);
        QCOMPARE(s->lstv->itemCount(), 5);
        QCOMPARE(listed().last(), QStringLiteral("9:00AM | Gym | 9:30 AM"));
        QCOMPARE(s->windowTitle(), QStringLiteral("5/16/26"));

        // A quote in the text is a character to find, nothing more.
        QTest::mouseClick(s->cmdFinished, Qt::LeftButton);
        QTest::keyClicks(s->txtFinishTime, QStringLiteral("5 o'clock"));
        QTest::mouseClick(s->imgFinishTime, Qt::LeftButton);
        QCOMPARE(listed(), QStringList({"2:00PM | O'Brien's party | 5 o'clock"}));
        QCOMPARE(s->windowTitle(), QStringLiteral("5/20/26"));
        QVERIFY(fx->messages.isEmpty());
    }

    void nothingFoundSaysSoAndKeepsListAndCaption_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("text");
        QTest::newRow("date with leading zeros") << "cmdDate" << "05/15/26";
        QTest::newRow("empty date") << "cmdDate" << "";
        QTest::newRow("start time with a blank") << "cmdStart" << "8:30 AM";
        QTest::newRow("untrimmed start time") << "cmdStart" << " 8:30AM";
        QTest::newRow("start time without the blank") << "cmdFinished" << "9:00AM";
        QTest::newRow("quote that would widen the query") << "cmdFinished" << "' OR '1'='1";
        QTest::newRow("lone quote") << "cmdDate" << "5/15/26'";
    }
    void nothingFoundSaysSoAndKeepsListAndCaption()
    {
        QFETCH(QString, mode);
        QFETCH(QString, text);
        QTest::mouseClick(s->findChild<QPushButton*>(mode), Qt::LeftButton);
        QLineEdit* box = mode == "cmdDate" ? s->txtDate : mode == "cmdStart" ? s->txtStartTime : s->txtFinishTime;
        // First a search in the same mode that finds the one appointment of 16 May.
        typeAndEnter(box, mode == "cmdDate" ? "5/16/26" : mode == "cmdStart" ? "9:00AM" : "9:30 AM");
        QCOMPARE(listed(), QStringList({"9:00AM | Gym | 9:30 AM"}));
        QCOMPARE(s->windowTitle(), QStringLiteral("5/16/26"));
        QVERIFY(fx->messages.isEmpty());

        typeAndEnter(box, text);
        QCOMPARE(box->text(), text);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral(" Not Found"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Not Found"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QCOMPARE(fx->messages[0].buttons, MsgButtons::OKOnly);
        QCOMPARE(listed(), QStringList({"9:00AM | Gym | 9:30 AM"}));
        QCOMPARE(s->windowTitle(), QStringLiteral("5/16/26"));
        QCOMPARE(Db::rows(fx->dbPath(), QStringLiteral("tblOrginize")).size(), 4);
    }

    void clickingADayEmptiesTheListAndListsThatDay()
    {
        searchStart(QStringLiteral("9:00AM"));
        QTest::mouseClick(s->cmdCalendar, Qt::LeftButton);
        clickDay(s->MonthView1, QDate(2026, 5, 20));
        QCOMPARE(listed(), QStringList({"8:30AM | Review | 10:00 AM", "2:00PM | O'Brien's party | 5 o'clock"}));
        QCOMPARE(s->windowTitle(), QStringLiteral("5/20/26"));

        clickDay(s->MonthView1, QDate(2026, 5, 21));
        QCOMPARE(fx->messageTexts(), QStringList({" Not Found"}));
        QCOMPARE(s->lstv->itemCount(), 0);
        QCOMPARE(s->windowTitle(), QStringLiteral("5/20/26"));
    }

    void quickMonthListMovesTheCalendarWithoutSearching_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("March on 15 May") << QDate(2026, 5, 15) << "March" << QDate(2026, 7, 15);
        QTest::newRow("January is today") << QDate(2026, 5, 15) << "January" << QDate(2026, 5, 15);
        QTest::newRow("December crosses the year") << QDate(2026, 5, 15) << "December" << QDate(2027, 4, 15);
        QTest::newRow("Febuary on 31 January clamps") << QDate(2026, 1, 31) << "Febuary" << QDate(2026, 2, 28);
    }
    void quickMonthListMovesTheCalendarWithoutSearching()
    {
        QFETCH(QDate, today);
        QFETCH(QString, month);
        QFETCH(QDate, expected);
        open(QDateTime(today, QTime(12, 0)));
        searchStart(QStringLiteral("8:30AM"));
        QTest::mouseClick(s->cmdQuickSearchMonth, Qt::LeftButton);
        QTest::mouseClick(s->cmdQuickSearchMonth, Qt::LeftButton);
        QStringList names;
        for (int i = 0; i < s->lstQuickMonth->count(); ++i)
            names << s->lstQuickMonth->item(i)->text();
        QCOMPARE(names, QStringList({"January", "Febuary", "March", "April", "May", "June", "July", "August",
                                     "September", "October", "November", "December"}));
        clickMonth(month);
        QCOMPARE(s->MonthView1->Value(), expected);
        QCOMPARE(s->MonthView1->monthShown(), expected.month());
        QCOMPARE(s->lstv->itemCount(), 2);
        QVERIFY(fx->messages.isEmpty());
    }
};

QTEST_MAIN(TestOrganizerSearch)
#include "test_organizersearch.moc"
