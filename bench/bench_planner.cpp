// Appointment searches of the schedule search window over 100,000 stored
// appointments: one date, one start time, one finish time, each to its rows
// painted, next to the sqlite3 tool running the same queries. The database
// is left at the printed path, so the same selects can be timed elsewhere.

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QRandomGenerator>

#include "controls/ListView.h"
#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "planner/frmOrganizerSearch.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include "SideBySide.h"

namespace {
constexpr int kAppointments = 100000;
constexpr int kDays = 3650;

const char* const kStarts[] = {"7:30AM",  "8:00AM",  "8:30AM", "9:00AM",  "9:30AM",  "10:00AM", "10:30AM",
                               "11:00AM", "11:30AM", "PM",     "12:00PM", "12:30PM", "1:00PM",  "1:30PM",
                               "2:00PM",  "2:30PM",  "3:00PM", "3:30PM",  "4:00PM",  "4:30PM",  "5:00PM",
                               "5:30PM",  "6:00PM",  "6:30PM", "7:00PM",  "7:30PM"};
const char* const kFinishes[] = {"7:00 AM",  "7:30 AM",  "8:00 AM",  "8:30 AM",  "9:00 AM",  "9:30 AM",  "10:00 AM",
                                 "10:30 AM", "11:00 AM", "11:30 AM", "--------", "12:00 PM", "12:30 PM", "1:00 PM",
                                 "1:30 PM",  "2:00 PM",  "2:30 PM",  "3:00 PM",  "3:30 PM",  "4:00 PM",  "4:30 PM",
                                 "5:00 PM",  "5:30 PM",  "6:00 PM",  "6:30 PM",  "7:00 PM",  "7:30 PM"};

// The application folder is $TMPDIR/bench_planner; the store is its Data/Tessaly.mdb.
QString databasePath()
{
    AppFolder::setPath(QDir::temp().filePath(QStringLiteral("bench_planner")));
    return AppFolder::databaseFile();
}

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Fills the table once, in one transaction, the way the day schedule writes
// its rows: dates as the short date text, over ten years.
Connection& store()
{
    static Connection con;
    if (con.isOpen())
        return con;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString path = databasePath();
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    con.Open(path);
    sqlite3* db = con.handle();
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES (?, ?, ?, ?)",
                             -1, &insert, nullptr),
          db);
    QRandomGenerator random(2002);
    const QDate first(2021, 1, 1);
    for (int i = 0; i < kAppointments; ++i) {
        const QByteArray date = Clock::dateText(first.addDays(random.bounded(kDays))).toUtf8();
        const QByteArray note = QStringLiteral("Appointment number %1").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, kStarts[random.bounded(int(std::size(kStarts)))], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, kFinishes[random.bounded(int(std::size(kFinishes)))], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, note.constData(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    fprintf(stderr, "%d appointments in %s\n", kAppointments, qPrintable(path));
    return con;
}

struct Search {
    const char* what;
    QLineEdit* frmOrganizerSearch::*box;
    void (frmOrganizerSearch::*click)();
    const char* field;
    const char* value;
};
const Search kSearches[] = {
    {"appointments by date 5/15/26", &frmOrganizerSearch::txtDate, &frmOrganizerSearch::imgDate_Click, "DateValue",
     "5/15/26"},
    {"appointments by start time 8:30AM", &frmOrganizerSearch::txtStartTime, &frmOrganizerSearch::imgStartTime_Click,
     "TimeStart", "8:30AM"},
    {"appointments by finish time 9:00 AM", &frmOrganizerSearch::txtFinishTime,
     &frmOrganizerSearch::imgFinishTime_Click, "TimeFinished", "9:00 AM"},
};

// Each search to its rows painted, next to the sqlite3 tool running the
// same queries (the count, the date of the last found, the first page), in
// interleaved rounds.
void sideBySide()
{
    store();
    const int rounds = benchRounds();
    auto* screen = Screens::show<frmOrganizerSearch>();
    for (const Search& s : kSearches) {
        (screen->*s.box)->setText(QString::fromUtf8(s.value));
        const QString where =
            QStringLiteral(" WHERE \"%1\" = '%2'").arg(QLatin1String(s.field), QLatin1String(s.value));
        const QString sql = QStringLiteral("SELECT count(*) FROM \"tblOrginize\"%1;\n"
                                           "SELECT \"DateValue\" FROM \"tblOrginize\"%1 ORDER BY rowid DESC LIMIT 1;\n"
                                           "SELECT rowid, \"TimeStart\", \"Note\", \"TimeFinished\" FROM "
                                           "\"tblOrginize\"%1 AND rowid > 0 ORDER BY rowid LIMIT 256;")
                                .arg(where);
        Row r;
        int found = 0;
        for (int i = 0; i < rounds; ++i) {
            screen->lstv->clearItems();
            QCoreApplication::processEvents();
            r.ours.push_back(runUntilPainted(screen->lstv->viewport(), [&] { (screen->*s.click)(); }));
            found = screen->lstv->itemCount();
            r.peer.push_back(sqlite3Run(databasePath(), sql));
        }
        report(QStringLiteral("%1, 100k, %2 found, to rows painted (frmOrganizerSearch::Search)")
                   .arg(QLatin1String(s.what))
                   .arg(found),
               r, QStringLiteral("sqlite3, the same three queries"), QStringLiteral("< 10 ms"),
               QStringLiteral("< 80 MB"));
    }
    Screens::unload<frmOrganizerSearch>();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        qFatal("unexpected message: %s", qPrintable(call.text));
        return MsgResult::OK;
    });
    sideBySide();
    Screens::unloadAll();
    return 0;
}
