// The day planner's month pages over a year of 20,000 single appointments
// and 300 repeating ones (daily, weekly on three days, monthly, yearly, half
// of them without end): the planner opened from the main window (first with
// nothing kept, then again), a month page shown (its calendar's bold days
// and the day's grid) and a date picked, each until painted, next to the
// sqlite3 tool reading the same rows. The database is left at the printed path.

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"
#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/Occurrences.h"
#include "planner/BusyDays.h"
#include "planner/frmOrganizer.h"
#include "shell/frmMain.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include "SideBySide.h"

namespace {
constexpr int kSingles = 20000;
constexpr int kSeries = 300;
const QDate kToday(2026, 1, 15);

QString databasePath()
{
    AppFolder::setPath(QDir::temp().filePath(QStringLiteral("bench_month")));
    return AppFolder::databaseFile();
}

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

Connection& store()
{
    static Connection con;
    if (con.isOpen())
        return con;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString path = databasePath();
    QDir().mkpath(QFileInfo(path).path());
    for (const QString& f : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
        QFile::remove(f);
    con.Open(path);
    sqlite3* db = con.handle();
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES (?, ?, ?, ?)",
                             -1, &insert, nullptr),
          db);
    QRandomGenerator random(2002);
    const QStringList rules = {QStringLiteral("FREQ=DAILY"), QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE,FR"),
                               QStringLiteral("FREQ=MONTHLY;BYDAY=2TU"), QStringLiteral("FREQ=YEARLY")};
    for (int i = 0; i < kSingles + kSeries; ++i) {
        QDate date = kToday.addDays(random.bounded(365) - (i >= kSingles ? 365 : 0));
        // A series starts on a day its rule picks, as the planner and other
        // calendars write them (a start that is not is left undefined).
        if (i >= kSingles && i % 4 == 1)
            date = date.addDays(QList<int>{0, 1, 0, 1, 0, 2, 1}[date.dayOfWeek() - 1]);
        if (i >= kSingles && i % 4 == 2) {
            const QDate first(date.year(), date.month(), 1);
            date = first.addDays((Qt::Tuesday - first.dayOfWeek() + 7) % 7 + 7);
        }
        const QTime start = QTime(7, 30).addSecs(1800 * random.bounded(24));
        const QByteArray day = Clock::dateText(date).toUtf8(), from = Clock::startText(start).toUtf8(),
                         to = Clock::finishText(start.addSecs(1800)).toUtf8(),
                         note = QStringLiteral("Appointment number %1").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, day.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, from.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, to.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, note.constData(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
        if (i >= kSingles) {
            Occurrences::Series s;
            s.row = sqlite3_last_insert_rowid(db);
            s.start = Occurrences::textOf(QDateTime(date, start), QString(), false);
            s.finish = Occurrences::textOf(QDateTime(date, start.addSecs(1800)), QString(), false);
            s.rule = rules[i % 4] + (i % 2 ? QStringLiteral(";COUNT=300") : QString());
            Occurrences::write(con, s);
        }
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    // The notice of these writes goes out now, not to a planner that opens
    // after them: it would read every page again.
    QCoreApplication::processEvents();
    fprintf(stderr, "%d appointments and %d series in %s\n", kSingles, kSeries, qPrintable(path));
    return con;
}

// Events run for a while longer than the main window's watch of the store
// waits between its looks (a second).
void settle()
{
    QElapsedTimer settled;
    settled.start();
    while (settled.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The main window as a start leaves it, shown and painted, its first work
// done: the planner opens from its tool bar into its work area. It starts
// on a folder without data, as a first start does (no login); the store is
// made after it, so that nothing of the store is kept before the planner's
// first opening, and the window's watch of the store has looked at it.
void showMainWindow()
{
    databasePath();
    QDir(AppFolder::dataFolder()).removeRecursively();
    Screens::show<frmMain>();
    settle();
    store();
    settle();
}

// Whether `w` is the planner or inside it.
bool inPlanner(QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (qobject_cast<frmOrganizer*>(w))
            return true;
    return false;
}

frmOrganizer* page()
{
    store();
    Clock::setFixed(QDateTime(kToday, QTime(9, 0)));
    return Screens::show<frmOrganizer>();
}

// A month page turned to: its calendar's bold days, its day's grid.
void showMonth(frmOrganizer* org, int k)
{
    const auto i = std::size_t(k);
    org->SSTab1->setCurrentIndex(k);
    BusyDays::show(org->MonthView1[i], store());
    org->MonthView1_DateClick(k);
}

// What the page reads, as the sqlite3 tool would: the rows of the days and
// every series with its first row.
QString readingOf(QDate from, QDate to)
{
    QStringList days;
    for (QDate d = from.addDays(-1); d <= to; d = d.addDays(1))
        days << u'\'' + Clock::dateText(d) + u'\'';
    return QStringLiteral("SELECT OrgRow, DateValue, TimeStart, TimeFinished, Note FROM tblOrginize o WHERE DateValue "
                          "IN (%1) AND NOT EXISTS (SELECT 1 FROM tblOrginizeSeries s WHERE s.OrgRow = o.OrgRow AND "
                          "s.SeriesRow = 0);\nSELECT * FROM tblOrginizeSeries s JOIN tblOrginize o ON o.OrgRow = "
                          "s.OrgRow WHERE s.SeriesRow = 0;")
        .arg(days.join(u','));
}

// The pages left after the first: filled one an idle slice, each slice of
// the event loop timed until the last is done.
struct IdleFill {
    double total = 0, longest = 0;
};
IdleFill fillTheRest(frmOrganizer* org)
{
    IdleFill fill;
    QElapsedTimer waited;
    waited.start();
    while (!org->pagesFilled() && waited.elapsed() < 20000) {
        const double ms = millisecondsOf([] { QCoreApplication::processEvents(); });
        fill.total += ms;
        fill.longest = std::max(fill.longest, ms);
    }
    return fill;
}

// The planner opened: the page shown, its day and bold days, painted. The
// first time in the process nothing is kept yet; after it, every series'
// months are. The other pages are filled after the paint, `rest` says how long.
Row opening(int rounds, IdleFill* rest)
{
    store();
    Clock::setFixed(QDateTime(kToday, QTime(9, 0)));
    const QDate first(kToday.year(), kToday.month(), 1);
    const QString reading =
        readingOf(first.addDays(-7), first.addMonths(1).addDays(13)) + u'\n' + readingOf(kToday, kToday);
    Row row;
    for (int i = 0; i < rounds; ++i) {
        Screens::unload<frmOrganizer>();
        // Shown, then painted by the event loop.
        frmOrganizer* org = nullptr;
        row.ours.push_back(runUntilPainted(inPlanner, [&] { org = Screens::show<frmOrganizer>(); }));
        *rest = fillTheRest(org);
        row.peer.push_back(sqlite3Run(databasePath(), reading));
    }
    return row;
}

void sideBySide()
{
    const int rounds = benchRounds();
    IdleFill coldRest, warmRest;
    const Row cold = opening(1, &coldRest), warm = opening(rounds, &warmRest);
    report(QStringLiteral("the planner opened from the main window, first after start: the first page's day and "
                          "bold days painted, nothing kept yet"),
           cold, QStringLiteral("sqlite3, the rows of the page's days and of its day, and the series"),
           QStringLiteral("< 50 ms"), QStringLiteral("< 80 MB"));
    std::printf("  then the other 11 pages filled in idle slices: %s, the longest slice %s\n",
                qPrintable(timeText(coldRest.total)), qPrintable(timeText(coldRest.longest)));
    report(QStringLiteral("the planner opened again, each series' months kept"), warm,
           QStringLiteral("sqlite3, the rows of the page's days and of its day, and the series"),
           QStringLiteral("< 50 ms"), QStringLiteral("< 80 MB"));
    std::printf("  then the other 11 pages filled in idle slices (last round): %s, the longest slice %s\n",
                qPrintable(timeText(warmRest.total)), qPrintable(timeText(warmRest.longest)));
    frmOrganizer* org = page();
    Row month, date;
    const QDate shown = kToday.addMonths(3);
    const QDate first(shown.year(), shown.month(), 1);
    for (int i = 0; i < rounds; ++i) {
        month.ours.push_back(runUntilPainted(org, [&] { showMonth(org, 3); }));
        month.peer.push_back(sqlite3Run(databasePath(), readingOf(first.addDays(-7), first.addMonths(1).addDays(13))
                                                            + u'\n' + readingOf(shown, shown)));
        org->MonthView1[3]->setValue(shown.addDays(i % 20));
        date.ours.push_back(runUntilPainted(org->MSgridTime[3], [&] { org->MonthView1_DateClick(3); }));
        date.peer.push_back(sqlite3Run(databasePath(), readingOf(shown, shown)));
    }
    report(QStringLiteral("month page, 20,000 appointments and 300 series, bold days and the day's grid painted"),
           month, QStringLiteral("sqlite3, the rows of the page's days and the series"), QStringLiteral("< 50 ms"),
           QStringLiteral("< 80 MB"));
    report(QStringLiteral("a date picked on a month page, its grid painted"), date,
           QStringLiteral("sqlite3, the rows of the day and the series"), QStringLiteral("< 20 ms"),
           QStringLiteral("< 80 MB"));
    Screens::unload<frmOrganizer>();
}

}  // namespace

int main(int argc, char** argv)
{
    Clock::holdZone();  // as the program does at its start
    QApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        qFatal("unexpected message: %s", qPrintable(call.text));
        return MsgResult::OK;
    });
    showMainWindow();
    sideBySide();
    Screens::unloadAll();
    return 0;
}
