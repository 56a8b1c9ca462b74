// Appointment searches of the schedule search window over 100,000 stored
// appointments: one date, one start time, one finish time. The database is
// left at the printed path, so the same selects can be timed elsewhere.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include "kit/Clock.h"
#include "store/Connection.h"
#include "store/Recordset.h"

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

QString databasePath()
{
    return QDir::temp().filePath(QStringLiteral("bench_planner/Tessaly.mdb"));
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

// What one search does: open the record set on the bound value and read the
// four fields of every row, as the list is filled.
void search(benchmark::State& state, const char* field, const char* value)
{
    Connection& con = store();
    const QString sql = QStringLiteral("SELECT * FROM tblOrginize WHERE %1 = ?").arg(QLatin1String(field));
    const QString text = QString::fromUtf8(value);
    int found = 0;
    for (auto _ : state) {
        Recordset rs;
        rs.Open(con, sql, {text});
        found = rs.RecordCount();
        for (; !rs.isEOF(); rs.MoveNext()) {
            benchmark::DoNotOptimize(rs.Fields(QStringLiteral("DateValue")).toString());
            benchmark::DoNotOptimize(rs.Fields(QStringLiteral("TimeFinished")).toString());
            benchmark::DoNotOptimize(rs.Fields(QStringLiteral("TimeStart")).toString());
            benchmark::DoNotOptimize(rs.Fields(QStringLiteral("Note")).toString());
        }
    }
    state.counters["rows"] = found;
}

void BM_SearchByDate(benchmark::State& state)
{
    search(state, "DateValue", "5/15/26");
}
void BM_SearchByStartTime(benchmark::State& state)
{
    search(state, "TimeStart", "8:30AM");
}
void BM_SearchByFinishTime(benchmark::State& state)
{
    search(state, "TimeFinished", "9:00 AM");
}
}  // namespace

BENCHMARK(BM_SearchByDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchByStartTime)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchByFinishTime)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
