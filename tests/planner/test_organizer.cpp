#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "PlannerDriver.h"
#include "kit/SavingProgress.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "planner/frmOrganizer.h"
#include "planner/frmOrganizerSearch.h"
#include "controls/RichTextBox.h"
#include "support/Fixture.h"

namespace {
const QColor kCyan(0, 255, 255);
const QString kTitle = QStringLiteral("Tessaly 2002");

const QStringList kColumn0 = {
    "AM",      "7:30AM",  "8:00AM",  "8:30AM",  "9:00AM",  "9:30AM",  "10:00AM", "10:30AM", "11:00AM",
    "11:30AM", "PM",      "12:00PM", "12:30PM", "1:00PM",  "1:30PM",  "2:00PM",  "2:30PM",  "3:00PM",
    "3:30PM",  "4:00PM",  "4:30PM",  "5:00PM",  "5:30PM",  "6:00PM",  "6:30PM",  "7:00PM",  "7:30PM",
};

struct Appointment {
    QString date, start, finished, note;
    bool operator==(const Appointment&) const = default;
};

char* toString(const Appointment& a)
{
    return qstrdup(QStringLiteral("{%1 | %2 | %3 | %4}").arg(a.date, a.start, a.finished, a.note).toUtf8().constData());
}
}  // namespace

class TestOrganizer : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmOrganizer* org = nullptr;

    void open(QDateTime now = AppFixture::defaultNow())
    {
        fx.reset();
        fx = std::make_unique<AppFixture>(now);
        fx->makeDataFolder();
        org = Screens::show<frmOrganizer>();
        QVERIFY(org);
    }

    template <class T>
    T* child(const char* name, int k)
    {
        return org->findChild<T*>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(k));
    }
    MSFlexGrid* grid(int k) { return child<MSFlexGrid>("MSgridTime", k); }
    QComboBox* finish(int k) { return child<QComboBox>("cboTimeFinshed", k); }
    QPlainTextEdit* message(int k) { return child<QPlainTextEdit>("txtMessage", k); }
    MonthView* calendar(int k) { return child<MonthView>("MonthView1", k); }
    QPushButton* button(const char* name, int k) { return child<QPushButton>(name, k); }

    void showPage(int k) { org->SSTab1->setCurrentIndex(k); }

    // Chooses a finish time from the list, types a message and clicks a row.
    void fillSlot(int k, int row, const QString& text, const QString& finishTime)
    {
        showPage(k);
        finish(k)->setCurrentIndex(finish(k)->findText(finishTime));
        QTest::keyClicks(message(k), text);
        clickGridCell(grid(k), row, 0);
    }

    QList<Appointment> stored()
    {
        QList<Appointment> result;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), QStringLiteral("tblOrginize")))
            result << Appointment{row["DateValue"].toString(), row["TimeStart"].toString(),
                                  row["TimeFinished"].toString(), row["Note"].toString()};
        return result;
    }

private slots:
    void init() { open(); }
    void cleanup()
    {
        org = nullptr;
        fx.reset();
    }

    // Twelve month pages and Help. Page k: a calendar on today plus k months
    // (the day clamped to the month's end), an empty grid of 27 half-hour
    // rows, and an empty, editable finish-time list of 27 entries.
    void pagesOnLoad_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QList<QDate>>("expected");
        QTest::newRow("December start") << QDate(2025, 12, 10)
                                        << QList<QDate>{{2025, 12, 10}, {2026, 1, 10}, {2026, 2, 10}, {2026, 3, 10},
                                                        {2026, 4, 10},  {2026, 5, 10}, {2026, 6, 10}, {2026, 7, 10},
                                                        {2026, 8, 10},  {2026, 9, 10}, {2026, 10, 10}, {2026, 11, 10}};
        QTest::newRow("31 March clamps") << QDate(2026, 3, 31)
                                         << QList<QDate>{{2026, 3, 31}, {2026, 4, 30}, {2026, 5, 31}, {2026, 6, 30},
                                                         {2026, 7, 31}, {2026, 8, 31}, {2026, 9, 30}, {2026, 10, 31},
                                                         {2026, 11, 30}, {2026, 12, 31}, {2027, 1, 31}, {2027, 2, 28}};
    }
    void pagesOnLoad()
    {
        QFETCH(QDate, today);
        QFETCH(QList<QDate>, expected);
        open(QDateTime(today, QTime(9, 0)));
        QCOMPARE(org->windowTitle(), QStringLiteral("Organizer"));
        QStringList tabs;
        for (int i = 0; i < org->SSTab1->count(); ++i)
            tabs << org->SSTab1->tabText(i);
        QCOMPARE(tabs, QStringList({"January", "Febuary", "March", "Abril", "May", "June", "July", "August",
                                    "September", "October", "November", "December", "Help"}));
        QCOMPARE(org->SSTab1->currentIndex(), 0);
        const QStringList finishTimes = {"7:00 AM",  "7:30 AM",  "8:00 AM",  "8:30 AM",  "9:00 AM",  "9:30 AM",
                                         "10:00 AM", "10:30 AM", "11:00 AM", "11:30 AM", "--------", "12:00 PM",
                                         "12:30 PM", "1:00 PM",  "1:30 PM",  "2:00 PM",  "2:30 PM",  "3:00 PM",
                                         "3:30 PM",  "4:00 PM",  "4:30 PM",  "5:00 PM",  "5:30 PM",  "6:00 PM",
                                         "6:30 PM",  "7:00 PM",  "7:30 PM"};
        QStringList emptyGrid;  // "time|note|finish" per row
        for (const QString& time : kColumn0)
            emptyGrid << time + (emptyGrid.isEmpty() ? "|Note|Finished Time" : "||");

        for (int k = 0; k < 12; ++k) {
            QCOMPARE(calendar(k)->Value(), expected[k]);
            QCOMPARE(calendar(k)->monthShown(), expected[k].month());
            MSFlexGrid* g = grid(k);
            QVERIFY(g && g->isEnabled());
            QCOMPARE(g->Cols(), 3);
            QStringList cells;
            for (int r = 0; r < g->Rows(); ++r)
                cells << QStringList({g->TextMatrix(r, 0), g->TextMatrix(r, 1), g->TextMatrix(r, 2)}).join(u'|');
            QCOMPARE(cells, emptyGrid);
            QCOMPARE(g->ColWidth(0), 645);  // 650 twips on whole pixels
            QCOMPARE(g->ColWidth(1), 4275);
            QCOMPARE(g->cellBackColor(3, 1), QColor(Qt::white));

            QStringList items;
            for (int i = 0; i < finish(k)->count(); ++i)
                items << finish(k)->itemText(i);
            QCOMPARE(items, finishTimes);
            QCOMPARE(finish(k)->currentText(), QString());
            QVERIFY(finish(k)->isEditable());
        }
    }

    void gridClickWithoutFinishTimeAsksForItAndChangesNothing()
    {
        QTest::keyClicks(message(0), QStringLiteral("Dentist"));
        clickGridCell(grid(0), 3, 1);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Don't forget the finish time"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QCOMPARE(fx->messages[0].buttons, MsgButtons::OKOnly);
        QCOMPARE(fx->messages[0].title, kTitle);
        QCOMPARE(grid(0)->TextMatrix(3, 1), QString());
        QCOMPARE(grid(0)->cellBackColor(3, 1), QColor(Qt::white));
        QCOMPARE(message(0)->toPlainText(), QStringLiteral("Dentist"));
        QCOMPARE(org->focusWidget(), static_cast<QWidget*>(finish(0)));
    }

    void gridClickFillsTheRowInCyanAndEmptiesTheMessage()
    {
        fillSlot(4, 3, QStringLiteral("Dentist, bring the card"), QStringLiteral("9:00 AM"));
        MSFlexGrid* g = grid(4);
        QCOMPARE(g->TextMatrix(3, 1), QStringLiteral("Dentist, bring the card"));
        QCOMPARE(g->TextMatrix(3, 2), QStringLiteral("9:00 AM"));
        QCOMPARE(g->cellBackColor(3, 1), kCyan);
        QCOMPARE(g->cellBackColor(3, 2), kCyan);
        QCOMPARE(g->cellBackColor(3, 0), g->cellBackColor(2, 0));  // the heading column keeps its face
        QCOMPARE(g->cellBackColor(2, 1), QColor(Qt::white));
        QCOMPARE(message(4)->toPlainText(), QString());
        QCOMPARE(finish(4)->currentText(), QStringLiteral("9:00 AM"));
        QVERIFY(fx->messages.isEmpty());
        // Other pages are untouched.
        QCOMPARE(grid(0)->TextMatrix(3, 1), QString());
        // The heading row is no slot: a click there writes nowhere.
        QTest::keyClicks(message(4), QStringLiteral("stray"));
        clickGridCell(g, 0, 1);
        QCOMPARE(g->TextMatrix(3, 1), QStringLiteral("Dentist, bring the card"));
        QCOMPARE(g->TextMatrix(1, 1), QString());
        QCOMPARE(message(4)->toPlainText(), QStringLiteral("stray"));
        message(4)->clear();

        // A typed finish time is taken as it is; clicking the row again overwrites both cells.
        finish(4)->setEditText(QStringLiteral("about ten"));
        clickGridCell(g, 3, 2);
        QCOMPARE(g->TextMatrix(3, 1), QString());
        QCOMPARE(g->TextMatrix(3, 2), QStringLiteral("about ten"));
        QCOMPARE(g->cellBackColor(3, 1), kCyan);
    }

    void clickingDatesShowsThemInTheHeadingAndKeepsTheRows()
    {
        fillSlot(0, 5, QStringLiteral("Call Anne"), QStringLiteral("10:00 AM"));
        clickDay(calendar(0), QDate(2026, 5, 20));
        QCOMPARE(grid(0)->TextMatrix(0, 1), QStringLiteral("5/20/26"));
        clickDay(calendar(0), QDate(2026, 6, 3));
        QCOMPARE(grid(0)->TextMatrix(0, 1), QStringLiteral("6/3/26"));
        QCOMPARE(grid(0)->TextMatrix(5, 1), QStringLiteral("Call Anne"));
        QCOMPARE(grid(0)->TextMatrix(5, 2), QStringLiteral("10:00 AM"));
        QCOMPARE(grid(1)->TextMatrix(0, 1), QStringLiteral("Note"));
    }

    void saveStoresTheLastClickedRowWithTheCalendarDate()
    {
        clickDay(calendar(0), QDate(2026, 5, 20));
        fillSlot(0, 1, QStringLiteral("Early run"), QStringLiteral("8:00 AM"));
        fillSlot(0, 3, QStringLiteral("  Dentist  "), QStringLiteral("9:00 AM"));
        QTest::mouseClick(button("cmdSave", 0), Qt::LeftButton);

        QCOMPARE(stored(), QList<Appointment>({{"5/20/26", "8:30AM", "9:00 AM", "Dentist"}}));
        QVERIFY(fx->messages.isEmpty());
        // The grid keeps what it showed; the bar fills and the window goes by itself.
        QCOMPARE(grid(0)->TextMatrix(3, 1), QStringLiteral("  Dentist  "));
        QVERIFY(Screens::isLoaded<frmSaving>());
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmSaving>(); }));

        // Save again: the same row once more.
        QTest::mouseClick(button("cmdSave", 0), Qt::LeftButton);
        QCOMPARE(stored().size(), 2);
        QCOMPARE(stored()[1], stored()[0]);
    }

    void saveWithoutClicksStoresTheFirstRowAndTheInitialDate()
    {
        // Tab 3 was never clicked: its calendar still holds today plus three months.
        showPage(3);
        QTest::mouseClick(button("cmdSave", 3), Qt::LeftButton);
        QCOMPARE(grid(3)->TextMatrix(0, 1), QStringLiteral("Note"));
        QCOMPARE(stored(), QList<Appointment>({{"8/15/26", "7:30AM", "", ""}}));
    }

    void theAfternoonMarkerRowIsStoredLikeAnyOther()
    {
        fillSlot(2, 10, QStringLiteral("Lunch"), QStringLiteral("--------"));
        QTest::mouseClick(button("cmdSave", 2), Qt::LeftButton);
        fillSlot(2, 26, QString(), QStringLiteral("7:30 PM"));
        QTest::mouseClick(button("cmdSave", 2), Qt::LeftButton);
        QCOMPARE(stored(), QList<Appointment>({{"7/15/26", "PM", "--------", "Lunch"},
                                               {"7/15/26", "7:30PM", "7:30 PM", ""}}));
    }

    void aRefusedSaveSaysSoAndShowsNoSavingBar()
    {
        Db::exec(fx->dbPath(), QStringLiteral("DROP TABLE tblOrginize"));
        fillSlot(0, 3, QStringLiteral("Dentist"), QStringLiteral("9:00 AM"));
        QTest::mouseClick(button("cmdSave", 0), Qt::LeftButton);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QVERIFY2(fx->messages[0].text.contains(QStringLiteral("tblOrginize")), qPrintable(fx->messages[0].text));
        QVERIFY(!Screens::isLoaded<frmSaving>());
        // The screen carries on.
        QCOMPARE(grid(0)->TextMatrix(3, 1), QStringLiteral("Dentist"));
    }

    // Search opens on the page's selected date; from another page the same
    // search window moves to that page's date. (What it lists is the search
    // screen's own test.)
    void searchOpensOnThePagesDate()
    {
        showPage(3);
        clickDay(calendar(3), QDate(2026, 8, 21));
        QTest::mouseClick(button("cmdSearch", 3), Qt::LeftButton);
        auto* search = visibleWindow<frmOrganizerSearch>();
        QVERIFY(search);
        QCOMPARE(search->MonthView1->Value(), QDate(2026, 8, 21));

        showPage(1);
        QTest::mouseClick(button("cmdSearch", 1), Qt::LeftButton);
        QCOMPARE(visibleWindow<frmOrganizerSearch>(), search);
        QCOMPARE(search->MonthView1->Value(), QDate(2026, 6, 15));
    }

    void reopeningStartsWithEmptyGrids()
    {
        fillSlot(0, 3, QStringLiteral("Dentist"), QStringLiteral("9:00 AM"));
        clickDay(calendar(0), QDate(2026, 5, 20));
        QTest::mouseClick(button("cmdSave", 0), Qt::LeftButton);
        Screens::unload<frmOrganizer>();
        QVERIFY(!Screens::isLoaded<frmOrganizer>());
        pump();
        org = Screens::show<frmOrganizer>();
        QCOMPARE(grid(0)->TextMatrix(3, 1), QString());
        QCOMPARE(grid(0)->TextMatrix(0, 1), QStringLiteral("Note"));
        QCOMPARE(grid(0)->cellBackColor(3, 1), QColor(Qt::white));
        QCOMPARE(finish(0)->currentText(), QString());
        QCOMPARE(calendar(0)->Value(), QDate(2026, 5, 15));
        QCOMPARE(stored().size(), 1);
    }

    void helpPageShowsTheHelpFileOrOneLineSayingItIsMissing()
    {
        // No help file in this folder.
        const QString missing = org->txtHelp->toPlainText();
        QCOMPARE(missing.count(QLatin1Char('\n')), 0);
        QVERIFY2(missing.startsWith(QStringLiteral("The help file %1 could not be opened: ")
                                        .arg(QDir::toNativeSeparators(fx->dataDir() + "/help.doc"))),
                 qPrintable(missing));
        QVERIFY(org->txtHelp->isReadOnly());
        // The rest of the screen works.
        fillSlot(0, 2, QStringLiteral("Still fine"), QStringLiteral("8:30 AM"));
        QCOMPARE(grid(0)->TextMatrix(2, 1), QStringLiteral("Still fine"));

        Screens::unload<frmOrganizer>();
        pump();
        QFile help(fx->dataDir() + QStringLiteral("/help.doc"));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.write("{\\rtf1\\ansi Day planner \\b help\\b0\\par}");
        help.close();
        org = Screens::show<frmOrganizer>();
        QCOMPARE(org->txtHelp->toPlainText(), QStringLiteral("Day planner help"));
    }

    void mainWindowToolsOpenAndCloseTheOrganizer_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("closes");
        QTest::newRow("address book") << "cmdAddressBook" << true;
        QTest::newRow("note") << "cmdNote" << true;
        QTest::newRow("email") << "cmdEmail" << true;
        QTest::newRow("check email") << "cmdCheckEmail" << true;
        QTest::newRow("calculator") << "cmdCalculator" << false;
        QTest::newRow("calendar") << "cmdCalendar" << false;
        QTest::newRow("organizer again") << "cmdOrganizer" << false;
    }
    void mainWindowToolsOpenAndCloseTheOrganizer()
    {
        QFETCH(QString, tool);
        QFETCH(bool, closes);
        fx.reset();
        fx = std::make_unique<AppFixture>();
        frmMain* main = fx->openMainWindow();
        QTest::mouseClick(main->cmdOrganizer, Qt::LeftButton);
        QVERIFY(Screens::isLoaded<frmOrganizer>());
        org = Screens::load<frmOrganizer>();
        // A child of the work area, with only a close box.
        auto* sub = qobject_cast<QMdiSubWindow*>(org->parentWidget());
        QVERIFY(sub);
        QCOMPARE(sub->mdiArea(), main->mdiArea());
        QVERIFY(!(sub->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        fillSlot(0, 3, QStringLiteral("kept while open"), QStringLiteral("9:00 AM"));

        QTest::mouseClick(main->findChild<asxToolButton*>(tool), Qt::LeftButton);
        pump();
        QCOMPARE(Screens::isLoaded<frmOrganizer>(), !closes);
        if (!closes)
            QCOMPARE(Screens::load<frmOrganizer>()->MSgridTime[0]->TextMatrix(3, 1), QStringLiteral("kept while open"));
        org = nullptr;
    }
};

QTEST_MAIN(TestOrganizer)
#include "test_organizer.moc"
