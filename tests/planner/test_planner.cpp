#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"
#include "kit/Clock.h"
#include "planner/DayLayout.h"
#include "planner/frmCalendar.h"
#include "planner/frmOrganizer.h"
#include "planner/frmOrganizerSearch.h"
#include "planner/frmRepeat.h"
#include "shell/frmMain.h"
#include "store/RecordsChanged.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Golden.h"
#include "sync/SyncFiles.h"
#include "window/SavingProgress.h"

// The day planner: what a grid click shows, what Save stores, what the
// search lists.
class TestPlanner : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmOrganizer* org = nullptr;

    template <class T>
    T* page(const char* name, int k)
    {
        return org->findChild<T*>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(k));
    }
    MSFlexGrid* grid(int k) { return page<MSFlexGrid>("MSgridTime", k); }
    QString cells(int k, int row) { return grid(k)->TextMatrix(row, 1) + '|' + grid(k)->TextMatrix(row, 2); }
    static void clickCell(MSFlexGrid* grid, int row, int col)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(row, col)).center());
    }
    static void clickDay(MonthView* calendar, QDate date)
    {
        calendar->setCurrentPage(date.year(), date.month());
        auto* view = calendar->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
        bool inMonth = false;  // days of the month before come first
        for (int r = 0; r < view->model()->rowCount(); ++r)
            for (int c = 0; c < view->model()->columnCount(); ++c) {
                const QModelIndex index = view->model()->index(r, c);
                inMonth = inMonth || index.data().toString() == QLatin1String("1");
                if (inMonth && index.data().toString() == QString::number(date.day()))
                    return QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
            }
    }
    // Chooses a finish time, types a message and clicks a row of page k.
    void fillSlot(int k, int row, const QString& text, const QString& finishTime)
    {
        org->SSTab1->setCurrentIndex(k);
        page<QComboBox>("cboTimeFinshed", k)->setCurrentText(finishTime);
        QTest::keyClicks(page<QPlainTextEdit>("txtMessage", k), text);
        clickCell(grid(k), row, 0);
    }
    void save(int k) { QTest::mouseClick(page<QPushButton>("cmdSave", k), Qt::LeftButton); }
    QStringList stored()
    {
        QStringList rows;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), QStringLiteral("tblOrginize")))
            rows << QStringList({row["DateValue"].toString(), row["TimeStart"].toString(),
                                 row["TimeFinished"].toString(), row["Note"].toString()})
                        .join('|');
        return rows;
    }
    // Opens page k's custom repeat dialog from the keyboard; `script` sets
    // it, then Enter takes it.
    void customRepeat(int k, const std::function<void(frmRepeat*)>& script)
    {
        QTimer::singleShot(0, [script] {
            frmRepeat* d = Screens::load<frmRepeat>();
            script(d);
            QTest::keyClick(d->cmdOK, Qt::Key_Return);
        });
        page<QComboBox>("cboRepeat", k)->setFocus();
        QTest::keyClick(page<QComboBox>("cboRepeat", k), Qt::Key_End);
    }
    QStringList rules() { return Db::joined(fx->dbPath(), "tblOrginizeSeries", {"OrgRow", "Start", "Rule"}); }
    void open(QDate today)
    {
        fx.reset();
        fx = std::make_unique<AppFixture>(QDateTime(today, QTime(9, 0)));
        fx->makeDataFolder();
        reopen();
    }
    // The planner opened, every page made and filled.
    void reopen()
    {
        Screens::unload<frmOrganizer>();
        org = Screens::show<frmOrganizer>();
        QTRY_VERIFY(org->pagesFilled());
    }

private slots:
    void init() { open(QDate(2026, 3, 31)); }
    void cleanup() { fx.reset(); }

    // Page k opens on today plus k months, the day clamped to the month's end,
    // and its tab is captioned with that month.
    void pagesOpenMonthByMonth()
    {
        QList<QDate> dates;
        for (int k = 0; k < 12; ++k)
            dates << page<MonthView>("MonthView1", k)->Value();
        QCOMPARE(org->SSTab1->tabText(0) + org->SSTab1->tabText(1) + org->SSTab1->tabText(11)
                     + org->SSTab1->tabText(12),
                 QStringLiteral("MarchAbrilFebuaryHelp"));
        QCOMPARE(dates, QList<QDate>({{2026, 3, 31},
                                      {2026, 4, 30},
                                      {2026, 5, 31},
                                      {2026, 6, 30},
                                      {2026, 7, 31},
                                      {2026, 8, 31},
                                      {2026, 9, 30},
                                      {2026, 10, 31},
                                      {2026, 11, 30},
                                      {2026, 12, 31},
                                      {2027, 1, 31},
                                      {2027, 2, 28}}));
    }

    // A click on a row writes the message and finish time there and empties
    // the message box; without a finish time it asks for one and writes nothing.
    void gridClicksFillRows()
    {
        QTest::keyClicks(page<QPlainTextEdit>("txtMessage", 4), QStringLiteral("Dentist"));
        clickCell(grid(0), 3, 1);
        QCOMPARE(fx->messageBoxes(), QStringList{"Critical|Tessaly 2002|Don't forget the finish time"});
        fillSlot(4, 3, QString(), QStringLiteral("9:00 AM"));
        QCOMPARE(cells(4, 3), QStringLiteral("Dentist|9:00 AM"));
        QCOMPARE(grid(4)->cellBackColor(3, 1), QColor(0, 255, 255));
        QCOMPARE(page<QPlainTextEdit>("txtMessage", 4)->toPlainText(), QString());
        QTest::keyClicks(page<QPlainTextEdit>("txtMessage", 4), QStringLiteral("stray"));
        clickCell(grid(4), 0, 1);
        QCOMPARE(cells(4, 1) + cells(4, 3) + cells(0, 3), QStringLiteral("|Dentist|9:00 AM|"));
        clickDay(page<MonthView>("MonthView1", 4), QDate(2026, 7, 20));
        QCOMPARE(grid(4)->TextMatrix(0, 1), QStringLiteral("7/20/26"));
    }

    // Save stores the last row clicked with the page's date, trimmed.
    void saveStoresTheLastClickedRow()
    {
        clickDay(page<MonthView>("MonthView1", 0), QDate(2026, 3, 20));
        fillSlot(0, 1, QStringLiteral("Early run"), QStringLiteral("8:00 AM"));
        fillSlot(0, 3, QStringLiteral("  Dentist  "), QStringLiteral("9:00 AM"));
        save(0);
        fillSlot(2, 10, QStringLiteral("Lunch"), QStringLiteral("--------"));
        save(2);
        save(5);
        QCOMPARE(stored(),
                 QStringList({"3/20/26|8:30AM|9:00 AM|Dentist", "5/31/26|PM|--------|Lunch", "8/31/26|7:30AM||"}));
        QVERIFY(Screens::isLoaded<frmSaving>() && fx->messages.isEmpty());
    }

    void aRefusedSaveSaysSoAndShowsNoSavingBar()
    {
        Db::exec(
            fx->dbPath(),
            "CREATE TRIGGER refuse BEFORE INSERT ON tblOrginize BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
        save(0);
        QCOMPARE(
            fx->messageBoxes(),
            QStringList{"Critical|Tessaly 2002|The record in tblOrginize could not be written: the disk is full."});
        QVERIFY(!Screens::isLoaded<frmSaving>());
    }

    // Each search adds its matches to the list until a mode is chosen again;
    // a day clicked on the calendar lists that day alone.
    void searchListsExactMatches()
    {
        Db::exec(fx->dbPath(),
                 "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                 "('5/15/26', '8:30AM', '9:00 AM', 'Dentist'), ('5/16/26', '9:00AM', '5 o''clock', 'Gym'), "
                 "('5/20/26', '8:30AM', '10:00 AM', 'O''Brien''s party')");
        QTest::mouseClick(page<QPushButton>("cmdSearch", 0), Qt::LeftButton);
        auto* s = visibleWindow<frmOrganizerSearch>();
        QCOMPARE(s->MonthView1->Value(), QDate(2026, 3, 31));
        auto listed = [s] {
            QStringList rows;
            for (int i = 0; i < s->lstv->itemCount(); ++i)
                rows << s->lstv->itemText(i, 0) + '|' + s->lstv->itemText(i, 1) + '|' + s->lstv->itemText(i, 2);
            return rows;
        };
        const QList<std::tuple<QPushButton*, QLineEdit*, QString>> searches = {
            {s->cmdStart, s->txtStartTime, "8:30AM"},
            {s->cmdFinished, s->txtFinishTime, "5 o'clock"},
            {s->cmdDate, s->txtDate, "5/15/26"},
            {s->cmdDate, s->txtDate, "05/15/26"}};
        for (const auto& [mode, box, text] : searches) {
            QTest::mouseClick(mode, Qt::LeftButton);
            box->setText(text);
            QTest::keyClick(box, Qt::Key_Return);
        }
        QCOMPARE(listed(), QStringList({"9:00AM|Gym|5 o'clock", "8:30AM|Dentist|9:00 AM"}));
        QCOMPARE(fx->messageBoxes(), QStringList{"Exclamation|Not Found| Not Found"});
        QCOMPARE(s->windowTitle(), QStringLiteral("5/15/26"));
        QTest::mouseClick(s->cmdCalendar, Qt::LeftButton);
        clickDay(s->MonthView1, QDate(2026, 5, 20));
        QCOMPARE(listed(), QStringList({"8:30AM|O'Brien's party|10:00 AM"}));
        QTest::mouseClick(s->cmdQuickSearchMonth, Qt::LeftButton);
        QListWidgetItem* december = s->lstQuickMonth->item(11);
        s->lstQuickMonth->scrollToItem(december);
        QTest::mouseClick(s->lstQuickMonth->viewport(), Qt::LeftButton, {},
                          s->lstQuickMonth->visualItemRect(december).center());
        QCOMPARE(s->MonthView1->Value(), QDate(2027, 2, 28));
        QCOMPARE(s->lstv->itemCount(), 1);
    }

    // Where each stored appointment of a day lands: per grid row (0: the
    // line above the grid) its texts and tooltip.
    void dayLayout_data() { Golden::addRows("planner", {"*.day"}); }
    void dayLayout()
    {
        QFETCH(QString, input);
        QList<DayLayout::Stored> day;
        for (const QString& line : QString::fromUtf8(readFile(input)).split('\n', Qt::SkipEmptyParts))
            if (const QStringList f = line.split('|'); f.size() == 4)
                day.append({f[0].toLongLong(), f[1], f[2], f[3]});
        const DayLayout::Day out = DayLayout::layout(day);
        QStringList lines;
        auto add = [&lines](int r, const DayLayout::Slot& s) {
            if (!s.ids.isEmpty())
                lines << QStringLiteral("%1|%2|%3|%4").arg(r).arg(s.note, s.finish, Golden::escaped(s.tooltip));
        };
        add(0, {out.allDay, QString(), out.allDayTooltip, out.allDayIds});
        for (int r = 1; r <= 26; ++r)
            add(r, out.rowsOfGrid[r - 1]);
        Golden::compare(input, lines.join('\n') + '\n');
    }

    // Only the page shown is filled before the first paint; a page turned
    // to, or used, before its idle turn shows the same day, bold days and
    // rows as one filled in its turn.
    void pagesFilledLaterShowTheSame()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "('6/30/26', '8:30AM', '9:00 AM', 'Dentist'), ('3/3/26', '8:30AM', '9:00 AM', 'Gym'), "
                               "('3/31/26', '8:30AM', '9:00 AM', 'Standup');"
                               "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES "
                               "(2, '20260303T083000', '20260303T090000', 'FREQ=MONTHLY;BYMONTHDAY=3')");
        const auto opened = [this] {
            Screens::unload<frmOrganizer>();
            org = Screens::show<frmOrganizer>();
            QVERIFY(!org->pagesFilled());
        };
        opened();
        QCOMPARE(cells(0, 3) + u'|' + QString::number(page<MonthView>("MonthView1", 0)->boldDays().size()),
                 QStringLiteral("Standup|9:00 AM|3"));
        org->SSTab1->setCurrentIndex(3);  // turned to at once: made then, and shown
        QVERIFY(grid(3)->isVisible() && page<MonthView>("MonthView1", 3)->isVisible());
        QCOMPARE(page<MonthView>("MonthView1", 3)->boldDays(),
                 QSet<QDate>({{2026, 6, 3}, {2026, 6, 30}, {2026, 7, 3}}));
        QCOMPARE(cells(3, 3), QStringLiteral("Dentist|9:00 AM"));
        QTRY_VERIFY(org->pagesFilled());
        QVERIFY(page<MonthView>("MonthView1", 11)->boldDays().contains(QDate(2027, 2, 3)));
        QCOMPARE(cells(11, 3), QString(u'|'));

        // A day asked for (a search's hit) on a page not made yet shows its month's bold days.
        opened();
        org->showDay(QDate(2026, 8, 3));
        QCOMPARE(org->SSTab1->currentIndex(), 5);
        QCOMPARE(page<MonthView>("MonthView1", 5)->boldDays(), QSet<QDate>({{2026, 8, 3}, {2026, 9, 3}}));
        QCOMPARE(cells(5, 3), QStringLiteral("Gym|9:00 AM"));
        // The pages stay the months they opened on after midnight turns the month.
        Clock::setFixed(QDateTime(QDate(2026, 4, 1), QTime(0, 5)));
        org->showDay(QDate(2026, 8, 3));
        QCOMPARE(org->SSTab1->currentIndex(), 5);
        Clock::setFixed(QDateTime(QDate(2026, 3, 31), QTime(9, 0)));

        // A daily appointment saved on one page is on the day a page filled before shows.
        QTRY_VERIFY(org->pagesFilled());
        page<QComboBox>("cboRepeat", 3)->setCurrentText(QStringLiteral("Daily"));
        fillSlot(3, 5, QStringLiteral("Walk"), QStringLiteral("10:00 AM"));
        save(3);
        org->SSTab1->setCurrentIndex(5);
        QCOMPARE(cells(5, 5), QStringLiteral("Walk|10:00 AM"));
    }

    // A page shows its day's appointments; a row filled over one and saved
    // changes it, the Delete key deletes it after asking.
    void pagesShowEditAndDeleteTheirDay()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "('4/30/26', '6:45AM', '7:15 AM', 'Run'), ('4/30/26', '8:30AM', '9:00 AM', 'Dentist'), "
                               "('4/30/26', '8:30AM', '9:00 AM', 'Call Bob'), ('4/30/26', '', '', 'Holiday'), "
                               "('5/1/26', '2:00PM', '3:00 PM', 'Gym')");
        reopen();
        org->SSTab1->setCurrentIndex(1);
        QCOMPARE(cells(1, 1) + '|' + cells(1, 3),
                 QStringLiteral("6:45AM Run|7:15 AM|Dentist · Call Bob|9:00 AM · 9:00 AM"));
        QCOMPARE(grid(1)->model()->index(3, 1).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("8:30AM - 9:00 AM  Dentist\n8:30AM - 9:00 AM  Call Bob"));
        QCOMPARE(page<QLabel>("lblAllDay", 1)->text(), QStringLiteral("Holiday"));
        const QColor shown = grid(1)->cellBackColor(1, 1);
        QVERIFY(shown != QColor(0, 255, 255) && shown != grid(1)->cellBackColor(2, 1));

        fillSlot(1, 1, QStringLiteral("Long run"), QStringLiteral("8:00 AM"));
        QCOMPARE(grid(1)->cellBackColor(1, 1), QColor(0, 255, 255));
        save(1);
        QCOMPARE(stored().first(), QStringLiteral("4/30/26|6:45AM|8:00 AM|Long run"));
        QCOMPARE(cells(1, 1), QStringLiteral("6:45AM Long run|8:00 AM"));
        QCOMPARE(grid(1)->cellBackColor(1, 1), shown);
        save(1);  // nothing filled again: nothing written
        QCOMPARE(stored().size(), 5);

        page<QComboBox>("cboTimeFinshed", 1)->setCurrentText(QString());
        clickCell(grid(1), 3, 0);  // no finish time: asks for one, changes nothing, yet the row is current
        fx->answers = {MsgResult::No, MsgResult::Yes};
        grid(1)->setFocus();
        QTest::keyClick(grid(1), Qt::Key_Delete);
        QCOMPARE(stored().size(), 5);
        QTest::keyClick(grid(1), Qt::Key_Delete);
        QCOMPARE(fx->messageBoxes().last(),
                 QStringLiteral("Question|Tessaly 2002|Delete Dentist · Call Bob at 8:30AM?"));
        QCOMPARE(stored(),
                 QStringList({"4/30/26|6:45AM|8:00 AM|Long run", "4/30/26|||Holiday", "5/1/26|2:00PM|3:00 PM|Gym"}));
        QCOMPARE(cells(1, 3), QStringLiteral("|"));

        // A row filled, then another day picked: the row is kept and saved as
        // that day's new appointment; the day's own are shown around it.
        fillSlot(1, 15, QStringLiteral("Swim"), QStringLiteral("3:00 PM"));
        clickDay(page<MonthView>("MonthView1", 1), QDate(2026, 5, 1));
        QCOMPARE(cells(1, 15) + '|' + cells(1, 1), QStringLiteral("Swim|3:00 PM||"));
        QCOMPARE(grid(1)->model()->index(15, 1).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("2:00PM - 3:00 PM  Gym"));
        save(1);
        QCOMPARE(stored().last(), QStringLiteral("5/1/26|2:00PM|3:00 PM|Swim"));
        QCOMPARE(cells(1, 15), QStringLiteral("Gym · Swim|3:00 PM · 3:00 PM"));
    }

    // A crowded row shows the appointments that fit and how many more, all
    // of them in its tooltip; grown, the page shows more.
    void aCrowdedRowSaysHowManyMore()
    {
        QStringList values;
        for (int i = 1; i <= 14; ++i)
            for (const char* day : {"4/30/26", "5/31/26"})
                values << QStringLiteral("('%1', '9:00AM', '10:00 AM', 'Meeting %2 with the team')").arg(day).arg(i);
        Db::exec(fx->dbPath(),
                 "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES " + values.join(", "));
        Screens::unload<frmOrganizer>();
        org = Screens::show<frmOrganizer>();
        org->SSTab1->setCurrentIndex(1);
        const auto more = [&](int k) { return grid(k)->shownText(4, 1).section(u'+', -1).toInt(); };
        QVERIFY(grid(1)->shownText(4, 1).startsWith(QStringLiteral("Meeting 1 with the team")));
        const int hidden = more(1);
        QVERIFY2(hidden > 8 && hidden <= 13, qPrintable(grid(1)->shownText(4, 1)));
        QCOMPARE(grid(1)->model()->index(4, 1).data(Qt::ToolTipRole).toString().count(u'\n'), 13);
        org->resize(org->size() + QSize(700, 200));
        QVERIFY2(more(1) < hidden - 2, qPrintable(grid(1)->shownText(4, 1)));
        QCOMPARE(grid(1)->TextMatrix(4, 1).count(QStringLiteral("Meeting")), 14);
        // A page made after the window grew is laid out as grown too.
        org->SSTab1->setCurrentIndex(2);
        QCOMPARE(grid(2)->width(), grid(1)->width());
        QCOMPARE(more(2), more(1));
    }

    // An import while the pages are open shows on its days and in bold in
    // the calendars; a row typed and not saved stays as typed.
    void anImportShowsOnTheOpenPages()
    {
        fillSlot(0, 3, QStringLiteral("Typed"), QStringLiteral("8:00 AM"));
        const QString ics = fileIn(fx->appDir(), "in.ics",
                                   "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:i@t\r\n"
                                   "DTSTAMP:20260301T000000Z\r\nDTSTART:20260331T140000\r\nDTEND:20260331T150000\r\n"
                                   "RRULE:FREQ=WEEKLY;COUNT=2\r\nSUMMARY:Imported\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        QSignalSpy told(&RecordsChanged::instance(), &RecordsChanged::changed);
        QVERIFY(SyncFiles::importAppointments(ics).ok);
        QVERIFY(told.wait());
        QCOMPARE(cells(0, 3), QStringLiteral("Typed|8:00 AM"));
        QVERIFY2(cells(0, 15).startsWith(QStringLiteral("Imported|")), qPrintable(cells(0, 15)));
        QTRY_COMPARE(page<MonthView>("MonthView1", 1)->dateTextFormat(QDate(2026, 4, 7)).fontWeight(),
                     int(QFont::Bold));
    }

    // The Tasks page by the keyboard alone: Insert and Ctrl+Insert make a task
    // and one under it, Enter saves, Alt+arrows move, Space marks done, the
    // check box hides done ones, Delete takes a task with those under it.
    // Today's tasks show above the day's grid.
    void tasksByKeyboard()
    {
        org->SSTab1->setCurrentIndex(frmOrganizer::kTasksPage);
        org->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(org->window()));
        auto* list = org->findChild<QTreeWidget*>("lstTasks");
        auto* title = org->findChild<QLineEdit*>("txtTaskTitle");
        const auto type = [&](Qt::KeyboardModifiers how, const QString& text, bool due = false) {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Insert, how);
            QVERIFY(title->hasFocus());
            QTest::keyClicks(title, text);
            org->findChild<QCheckBox*>("chkTaskDue")->setChecked(due);
            QTest::keyClick(title, Qt::Key_Return);
        };
        const auto rows = [&] { return Db::joined(fx->dbPath(), "tblTask", {"Title", "Parent", "Position", "Due"}); };
        type({}, "Shop", true);
        type(Qt::ControlModifier, "Milk");
        type({}, "Call");
        QCOMPARE(rows(), QStringList({"Shop|0|0|20260331", "Milk|1|0|", "Call|0|1|"}));
        QVERIFY(list->hasFocus());
        QCOMPARE(list->currentItem()->text(0), "Call");
        QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Right, Qt::AltModifier);  // Shop under Call
        QCOMPARE(rows(), QStringList({"Shop|3|0|20260331", "Milk|1|0|", "Call|0|0|"}));
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(rows(), QStringList({"Shop|0|1|20260331", "Milk|1|0|", "Call|0|0|"}));
        QCOMPARE(page<QLabel>("lblAllDay", 0)->text(), "To do: Shop");

        list->setCurrentItem(list->findItems("Milk", Qt::MatchRecursive).value(0));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(Db::joined(fx->dbPath(), "tblTask", {"Completed", "Percent"}).value(1), "20260331T090000Z|100");
        Db::exec(fx->dbPath(), "UPDATE tblTask SET Rule = 'FREQ=WEEKLY;BYDAY=MO' WHERE Title = 'Call'");
        org->findChild<QCheckBox*>("chkHideDone")->setChecked(true);
        QVERIFY(list->findItems("Milk", Qt::MatchRecursive).isEmpty());
        org->findChild<QCheckBox*>("chkHideDone")->setChecked(false);
        // A rule the repeat choices cannot say is kept as it came until another is chosen.
        list->setCurrentItem(list->findItems("Call", Qt::MatchRecursive).value(0));
        auto* repeat = org->findChild<QComboBox*>("cboTaskRepeat");
        QCOMPARE(repeat->currentText(), "As it came, kept: FREQ=WEEKLY;BYDAY=MO");
        for (const auto& [choice, rule] : {std::pair{5, "FREQ=WEEKLY;BYDAY=MO"}, {1, "FREQ=DAILY"}, {0, ""}}) {
            repeat->setCurrentIndex(choice);
            QTest::keyClick(title, Qt::Key_Return);
            QCOMPARE(Db::joined(fx->dbPath(), "tblTask", {"Rule"}).value(2), rule);
        }

        list->setCurrentItem(list->findItems("Shop", Qt::MatchRecursive).value(0));
        fx->answers = {MsgResult::Yes};
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(fx->messages.last().text, "Delete \"Shop\" and the task under it?");
        QCOMPARE(rows(), QStringList({"Call|0|0|"}));
        QCOMPARE(page<QLabel>("lblAllDay", 0)->text(), "");
    }

    // A weekly appointment saved on the page shows on each of its days, in
    // bold in the calendars and in the search; one occurrence changed or
    // deleted asks which is meant and becomes an exception: a date left
    // out, or a row that names the occurrence it replaces. Days an
    // appointment covers after its own show above the grid.
    void repeatsAndSpans()
    {
        page<QComboBox>("cboRepeat", 0)->setCurrentText(QStringLiteral("Weekly"));
        fillSlot(0, 3, QStringLiteral("Standup"), QStringLiteral("9:00 AM"));
        save(0);
        QCOMPARE(cells(0, 3), QStringLiteral("Standup|9:00 AM"));
        QTRY_VERIFY(org->pagesFilled());  // the other pages again, in idle turns
        MonthView* april = page<MonthView>("MonthView1", 1);
        for (const QDate d : {QDate(2026, 4, 7), QDate(2026, 4, 28), QDate(2026, 5, 5)})
            QVERIFY(april->boldDays().contains(d));
        QVERIFY(!april->boldDays().contains(QDate(2026, 4, 29)));
        clickDay(april, QDate(2026, 4, 28));
        QCOMPARE(cells(1, 3), QStringLiteral("Standup|9:00 AM"));

        fx->answers = {MsgResult::Yes};  // only this one
        grid(1)->setRow(3);
        grid(1)->setFocus();
        QTest::keyClick(grid(1), Qt::Key_Delete);
        QCOMPARE(fx->messageBoxes().last(),
                 QStringLiteral("Question|Tessaly 2002|\"Standup\" repeats. Delete only this one? (No deletes the "
                                "whole series.)"));
        QCOMPARE(cells(1, 3), QStringLiteral("|"));
        QVERIFY(!april->boldDays().contains(QDate(2026, 4, 28)));

        clickDay(april, QDate(2026, 4, 21));
        fx->answers = {MsgResult::Yes};
        fillSlot(1, 3, QStringLiteral("Standup in room 2"), QStringLiteral("9:00 AM"));
        save(1);
        QCOMPARE(cells(1, 3), QStringLiteral("Standup in room 2|9:00 AM"));

        clickDay(april, QDate(2026, 4, 14));
        fx->answers = {MsgResult::No};  // the whole series
        fillSlot(1, 3, QStringLiteral("Team standup"), QStringLiteral("9:30 AM"));
        save(1);
        QCOMPARE(stored().first(), QStringLiteral("3/31/26|8:30AM|9:30 AM|Team standup"));

        auto* search = Screens::show<frmOrganizerSearch>();
        search->txtDate->setText(QStringLiteral("4/14/26"));
        QTest::keyClick(search->txtDate, Qt::Key_Return);
        QCOMPARE(search->lstv->itemText(0) + '|' + search->lstv->itemText(0, 1) + '|' + search->lstv->itemText(0, 2),
                 QStringLiteral("8:30AM|Team standup (repeats from 3/31/26)|9:30 AM"));
        // By start time each stored row comes once; the series' first row says it
        // repeats, the occurrence changed alone does not.
        search->cmdStart->click();
        search->txtStartTime->setText(QStringLiteral("8:30AM"));
        QTest::keyClick(search->txtStartTime, Qt::Key_Return);
        QCOMPARE(search->lstv->itemText(0, 1) + '|' + search->lstv->itemText(1, 1) + '|'
                     + QString::number(search->lstv->itemCount()),
                 QStringLiteral("Team standup (repeats from 3/31/26)|Standup in room 2|2"));

        // A trip over three whole days, a night past midnight.
        Db::exec(fx->dbPath(),
                 "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                 "('4/10/26', '', '', 'Trip'), ('4/12/26', '10:00PM', '2:00 AM', 'Party');"
                 "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish) VALUES (3, '20260410', '20260413')");
        for (const auto& [day, line] : {std::pair{11, "Trip"}, {12, "Trip"}, {13, "Party (continued)"}, {14, ""}}) {
            clickDay(april, QDate(2026, 4, day));
            QCOMPARE(page<QLabel>("lblAllDay", 1)->text(), QLatin1String(line));
        }
    }

    // Rules made in the dialog land on their days and on no others; the
    // box names them and says them in words.
    void customRulesFallOnTheirDays()
    {
        MonthView* april = page<MonthView>("MonthView1", 1);
        clickDay(april, QDate(2026, 4, 6));
        customRepeat(1, [](frmRepeat* d) {
            d->cboFrequency->setCurrentIndex(1);
            d->spnInterval->setValue(2);
            d->chkDay[2]->setChecked(true);
            d->optCount->setChecked(true);
            d->spnCount->setValue(4);
        });
        QComboBox* box = page<QComboBox>("cboRepeat", 1);
        QCOMPARE(box->currentText() + '|' + box->toolTip() + '|' + box->accessibleDescription(),
                 QStringLiteral("Custom|Every 2 weeks on Mon, Wed, 4 times|Every 2 weeks on Mon, Wed, 4 times"));
        fillSlot(1, 3, QStringLiteral("Course"), QStringLiteral("9:00 AM"));
        save(1);

        clickDay(page<MonthView>("MonthView1", 0), QDate(2026, 3, 10));
        customRepeat(0, [](frmRepeat* d) {
            d->cboFrequency->setCurrentIndex(2);
            QCOMPARE(d->optMonthPosition->text(), QStringLiteral("On the second Tuesday"));
            d->optMonthPosition->setChecked(true);
            d->optUntil->setChecked(true);
            d->dtpUntil->setDate(QDate(2026, 6, 30));
        });
        fillSlot(0, 11, QStringLiteral("Board"), QStringLiteral("1:00 PM"));
        save(0);
        QCOMPARE(rules(), QStringList({"1|20260406T083000|FREQ=WEEKLY;COUNT=4;INTERVAL=2;BYDAY=MO,WE",
                                       "2|20260310T120000|FREQ=MONTHLY;UNTIL=20260630T235959;BYDAY=2TU"}));
        QSet<QDate> bold;
        QTRY_VERIFY(org->pagesFilled());
        for (int k = 1; k < 5; ++k)
            bold += page<MonthView>("MonthView1", k)->boldDays();
        for (int day : {6, 8, 14, 20, 22})
            QVERIFY2(bold.contains(QDate(2026, 4, day)), qPrintable(QString::number(day)));
        for (const QDate d : {QDate(2026, 4, 7), QDate(2026, 4, 13), QDate(2026, 4, 15), QDate(2026, 4, 27),
                              QDate(2026, 4, 29), QDate(2026, 5, 4), QDate(2026, 7, 14)})
            QVERIFY2(!bold.contains(d), qPrintable(d.toString()));
        QVERIFY(bold.contains(QDate(2026, 6, 9)) && bold.contains(QDate(2026, 5, 12)));
        clickDay(april, QDate(2026, 4, 22));
        QCOMPARE(cells(1, 3), QStringLiteral("Course|9:00 AM"));
        // Escape leaves the box as it was; the dialog's plain weekly rule is the box's own entry.
        QTimer::singleShot(0, [] { QTest::keyClick(Screens::load<frmRepeat>(), Qt::Key_Escape); });
        QTest::keyClick(box, Qt::Key_End);
        QCOMPARE(box->currentText(), QStringLiteral("Custom"));
        clickDay(april, QDate(2026, 4, 13));
        QCOMPARE(cells(1, 3) + box->currentText(), QStringLiteral("|None"));
        customRepeat(1, [](frmRepeat* d) { d->cboFrequency->setCurrentIndex(1); });
        QCOMPARE(box->currentText(), QStringLiteral("Weekly"));
    }

    // A series' row shows its rule in the box; a rule the dialog cannot show
    // is kept as it is when its row is saved, and a changed box changes the
    // whole series' rule, never its first day.
    void storedRulesShowAndChange()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "('4/1/26', '8:30AM', '9:00 AM', 'Pay'), ('4/1/26', '2:00PM', '3:00 PM', 'Gym');"
                               "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES "
                               "(1, '20260401T083000', '20260401T090000', 'FREQ=MONTHLY;BYMONTHDAY=1,15'),"
                               "(2, '20260401T140000', '20260401T150000', 'FREQ=WEEKLY;WKST=MO')");
        reopen();
        clickDay(page<MonthView>("MonthView1", 1), QDate(2026, 4, 15));
        QComboBox* box = page<QComboBox>("cboRepeat", 1);
        grid(1)->setRow(15);
        QCOMPARE(box->currentText() + '|' + box->toolTip(), QStringLiteral("Weekly|"));
        grid(1)->setRow(3);
        QCOMPARE(box->currentText() + '|' + box->toolTip(), QStringLiteral("Custom|FREQ=MONTHLY;BYMONTHDAY=1,15"));
        fx->answers = {MsgResult::No};
        fillSlot(1, 3, QStringLiteral("Pay rent"), QStringLiteral("9:00 AM"));
        save(1);
        QCOMPARE(stored().first(), QStringLiteral("4/1/26|8:30AM|9:00 AM|Pay rent"));

        grid(1)->setRow(15);
        save(1);  // the box as the row showed it: nothing to change
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Up);  // Weekly to Daily
        fx->answers = {MsgResult::Yes, MsgResult::No};
        save(1);  // only this one: a rule is the series'
        QCOMPARE(rules().last(), QStringLiteral("2|20260401T140000|FREQ=WEEKLY;WKST=MO"));
        fillSlot(1, 15, QStringLiteral("Gym"), QStringLiteral("3:00 PM"));
        save(1);
        QCOMPARE(fx->messageBoxes().size(), 3);
        QCOMPARE(rules(),
                 QStringList({"1|20260401T083000|FREQ=MONTHLY;BYMONTHDAY=1,15", "2|20260401T140000|FREQ=DAILY"}));
        clickDay(page<MonthView>("MonthView1", 1), QDate(2026, 4, 16));
        QCOMPARE(cells(1, 15) + '|' + cells(1, 3), QStringLiteral("Gym|3:00 PM||"));
    }

    // A row showing two appointments saves into the one chosen in "Save
    // into", or as a new one; nothing before a choice. From the keyboard.
    void aSharedRowSavesIntoTheOneChosen()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('4/30/26', "
                               "'8:30AM', '9:00 AM', 'Dentist'), ('4/30/26', '8:30AM', '9:00 AM', 'Call Bob')");
        reopen();
        org->SSTab1->setCurrentIndex(1);
        auto* into = page<QComboBox>("cboFor", 1);
        const auto keys = [](QWidget* w, Qt::Key key, int times) {
            w->setFocus();
            for (int n = 0; n < times; ++n)
                QTest::keyClick(w, key);
        };
        const auto fillAndSave = [&](const QString& text, int choice) {
            QTest::keyClicks(page<QPlainTextEdit>("txtMessage", 1), text);
            page<QComboBox>("cboTimeFinshed", 1)->setCurrentText("9:00 AM");
            keys(grid(1), Qt::Key_Down, 1);
            for (int n = 0; n < 30 && grid(1)->Row() != 3; ++n)
                QTest::keyClick(grid(1), grid(1)->Row() < 3 ? Qt::Key_Down : Qt::Key_Up);
            QVERIFY(grid(1)->Row() == 3 && into->isVisibleTo(org) && into->currentIndex() == -1);
            QTest::keyClick(grid(1), Qt::Key_Return);
            keys(into, Qt::Key_Home, choice >= 0);
            keys(into, Qt::Key_Down, choice);
            keys(page<QPushButton>("cmdSave", 1), Qt::Key_Space, 1);
        };
        const QStringList before = stored();
        fillAndSave("Call Bob at five", -1);
        QCOMPARE(fx->messageBoxes(), QStringList("Exclamation|Tessaly 2002|This row shows several appointments: "
                                                 "choose in \"Save into\" which one to change."));
        QVERIFY(stored() == before && org->focusWidget() == into);
        keys(into, Qt::Key_Home, 1);
        keys(into, Qt::Key_Down, 1);
        keys(page<QPushButton>("cmdSave", 1), Qt::Key_Space, 1);
        fillAndSave("Lunch", 2);
        QCOMPARE(stored(), QStringList({"4/30/26|8:30AM|9:00 AM|Dentist", "4/30/26|8:30AM|9:00 AM|Call Bob at five",
                                        "4/30/26|8:30AM|9:00 AM|Lunch"}));
        QCOMPARE(cells(1, 3), "Dentist · Call Bob at five · Lunch|9:00 AM · 9:00 AM · 9:00 AM");
        keys(grid(1), Qt::Key_Down, 1);
        QVERIFY(!into->isVisibleTo(org));  // no appointment in the row: nothing to choose
    }

    void theCalendarOpensOnToday()
    {
        fx.reset();
        fx = std::make_unique<AppFixture>();
        QTest::mouseClick(fx->openMainWindow()->button("cmdCalendar"), Qt::LeftButton);
        QCOMPARE(visibleWindow<frmCalendar>()->MonthView1->Value(), QDate(2026, 5, 15));
    }
};

QTEST_MAIN(TestPlanner)
#include "test_planner.moc"
