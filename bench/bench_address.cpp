// The address book at 100,000 contacts: opening the edit screen with its
// name list (Google Benchmark), then side by side with the sqlite3 tool each
// of the six searches and the name list to their rows painted, a heading's
// sort, the save of a new contact and the command line's export.
//
// Run with QT_QPA_PLATFORM=offscreen. The address book is built once in a
// temporary application folder, or in $TESSALY_BENCH_DIR (kept, and reused
// when it already holds the contacts) so that other tools can be timed on the
// same file.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include "address/frmAddress.h"
#include "address/frmAddressEdit.h"
#include "address/frmAddressSearch.h"
#include "controls/ListView.h"
#include "kit/AppFolder.h"
#include "kit/MsgBox.h"
#include "store/Connection.h"
#include "store/Contacts.h"
#include "store/QueryPages.h"
#include "window/Screens.h"

#include "SideBySide.h"

namespace {
constexpr int kContacts = 100000;

// Names repeat as they do in life: 500 first names and 2,000 last names
// across the book; phones, e-mail addresses and numbers are each one's own.
QString firstName(int i)
{
    return QStringLiteral("First%1").arg(i % 500);
}
QString lastName(int i)
{
    return QStringLiteral("Last%1").arg(i % 2000);
}
QString phone(int i)
{
    return QStringLiteral("9%1").arg(i, 7, 10, QLatin1Char('0'));
}
QString email(int i)
{
    return QStringLiteral("person%1@example.org").arg(i);
}
QString icq(int i)
{
    return QString::number(100000000 + i);
}
QString mobile(int i)
{
    return QStringLiteral("04%1").arg(i, 8, 10, QLatin1Char('0'));
}

void fail(const char* what, sqlite3* db)
{
    qFatal("%s: %s", what, sqlite3_errmsg(db));
}

void fillAddressBook(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        fail("open", db);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM tblAddress", -1, &count, nullptr);
    const int have = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : 0;
    sqlite3_finalize(count);
    if (have >= kContacts) {
        sqlite3_close(db);
        return;
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO tblAddress (FirstName, LastName, HomeAddress, Suburb, PostCode, Email, "
                           "HomePhone, Mobile, ICQ, WebAddress, Comments) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                           -1, &insert, nullptr)
        != SQLITE_OK)
        fail("prepare", db);
    for (int i = have; i < kContacts; ++i) {
        const QList<QByteArray> values = {firstName(i).toUtf8(),
                                          lastName(i).toUtf8(),
                                          QStringLiteral("%1 High Street").arg(i % 300).toUtf8(),
                                          QByteArrayLiteral("Carlton"),
                                          QByteArray::number(3000 + i % 1000),
                                          email(i).toUtf8(),
                                          phone(i).toUtf8(),
                                          mobile(i).toUtf8(),
                                          icq(i).toUtf8(),
                                          QByteArrayLiteral("www.example.org"),
                                          QByteArrayLiteral("Met at the conference; call after six.")};
        for (int v = 0; v < values.size(); ++v)
            sqlite3_bind_text(insert, v + 1, values[v].constData(), int(values[v].size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            fail("insert", db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail("commit", db);
    sqlite3_close(db);
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void BM_OpenEditScreen(benchmark::State& state)
{
    int listed = 0;
    restartPeak();
    for (auto _ : state) {
        auto* edit = Screens::load<frmAddressEdit>();
        listed = edit->lstName->count();
        state.PauseTiming();
        Screens::unload<frmAddressEdit>();
        settle();
        state.ResumeTiming();
    }
    state.counters["listed"] = listed;
    countPeakAndLoad(state.counters);
}
BENCHMARK(BM_OpenEditScreen)->Unit(benchmark::kMillisecond)->Iterations(10);

// The two queries a list of the screens asks (QueryPages): the count, then
// the first page of 256 rows.
QString listQueries(const QString& columns, const QString& where)
{
    return QStringLiteral("SELECT count(*) FROM \"tblAddress\"%1;\n"
                          "SELECT rowid, %2 FROM \"tblAddress\"%1 %3 rowid > 0 ORDER BY rowid LIMIT 256;")
        .arg(where, columns, where.isEmpty() ? QStringLiteral("WHERE") : QStringLiteral("AND"));
}

// Ours and the sqlite3 tool in interleaved rounds: each search of the search
// screen and the edit screen's name list to their rows painted, next to the
// same queries; the save of a contact; the command line's export next to
// the tool's CSV of the table.
void sideBySide(const QString& db)
{
    const int rounds = benchRounds();
    QStringList allColumns;
    for (const char* c : {"FirstName", "LastName", "HomeAddress", "Suburb", "PostCode", "Email", "HomePhone", "Mobile",
                          "ICQ", "WebAddress", "Comments"})
        allColumns << QStringLiteral("\"%1\"").arg(QLatin1String(c));

    constexpr int i = 54321;
    const QString values[] = {firstName(i), lastName(i), phone(i), email(i), icq(i), mobile(i)};
    const char* const names[] = {"first name", "last name", "phone", "e-mail", "ICQ", "mobile"};
    const char* const columns[] = {"FirstName", "LastName", "HomePhone", "Email", "ICQ", "Mobile"};
    auto* search = Screens::show<frmAddressSearch>();
    QLineEdit* const boxes[] = {search->txtsearchFirstName, search->txtsearchLastName, search->txtsearchPhone,
                                search->txtsearchEmail,     search->txtsearchIcq,      search->txtsearchMobile};
    settle();
    for (int f = frmAddressSearch::FirstName; f <= frmAddressSearch::Mobile; ++f) {
        const auto field = frmAddressSearch::Field(f);
        Row r;
        int found = 0;
        for (int round = 0; round < rounds; ++round) {
            search->cmdField_Click(field);
            boxes[f]->setText(values[f]);
            settle();
            r.ours.push_back(runUntilPainted(search->lstv->viewport(), [&] { search->imgField_Click(field); }));
            found = search->lstv->itemCount();
            r.peer.push_back(sqlite3Run(
                db, listQueries(allColumns.join(QStringLiteral(", ")),
                                QStringLiteral(" WHERE \"%1\" = '%2'").arg(QLatin1String(columns[f]), values[f]))));
        }
        report(QStringLiteral("contact search by %1, 100k, %2 found, to rows painted "
                              "(frmAddressSearch::imgField_Click: count, first page, columns sized)")
                   .arg(QLatin1String(names[f]))
                   .arg(found),
               r, QStringLiteral("sqlite3, the same two queries"), QStringLiteral("< 10 ms"),
               QStringLiteral("< 80 MB"));
    }
    Screens::unload<frmAddressSearch>();
    settle();

    auto* edit = Screens::show<frmAddressEdit>();
    settle();
    Row list;
    for (int round = 0; round < rounds; ++round) {
        edit->lstName->clear();
        settle();
        list.ours.push_back(runUntilPainted(edit->lstName->viewport(), [&] { edit->LoadContact(); }));
        list.ours.back().ok = list.ours.back().ok && edit->lstName->count() >= kContacts;
        list.peer.push_back(sqlite3Run(db, listQueries(QStringLiteral("\"FirstName\""), QString())));
    }
    Screens::unload<frmAddressEdit>();
    settle();
    report(QStringLiteral("edit list, 100k: count + first page to rows painted (ContactBrowser::LoadContact)"), list,
           QStringLiteral("sqlite3, the same two queries"), QStringLiteral("<= 1.5"), QStringLiteral("< 80 MB"));

    // A heading clicked on a list of every contact: the store sorts, the
    // list reads its first page in that order.
    Connection con;
    con.Open(db);
    ListView all;
    all.resize(600, 400);
    all.show();
    for (const char* column : {"FirstName", "LastName"})
        all.addColumn(QLatin1String(column), 1500);
    Row sorted;
    for (int round = 0; round < rounds; ++round) {
        all.clearItems();
        all.sortByColumn(-1, Qt::AscendingOrder);
        all.addQuery(Contacts::pages(con, {QStringLiteral("FirstName"), QStringLiteral("LastName")}));
        settle();
        sorted.ours.push_back(runUntilPainted(all.viewport(), [&] { all.sortByColumn(1, Qt::DescendingOrder); }));
        // Sorted without reading every row.
        sorted.ours.back().ok = sorted.ours.back().ok && all.itemCount() >= kContacts && all.model()->rowCount() < 1000;
        sorted.peer.push_back(
            sqlite3Run(db, QStringLiteral("SELECT rowid, \"FirstName\", \"LastName\" FROM \"tblAddress\" ORDER BY "
                                          "coalesce(\"LastName\", '') COLLATE NOCASE DESC, rowid LIMIT 256;")));
    }
    report(QStringLiteral("all 100k contacts sorted by a heading's click, to the first page painted "
                          "(RowsModel::sort, QueryPages::orderBy)"),
           sorted, QStringLiteral("sqlite3, the same page"), QStringLiteral("< 100 ms"), QStringLiteral("< 80 MB"));

    // The peer inserts the same row, its search entry put by the same
    // trigger, with the program's own setting for writes to the log. Both
    // are the mean of 200 saves, the log's checkpoints among them.
    auto* entry = Screens::load<frmAddress>();
    entry->txtFirstName->setText(QStringLiteral("Anna"));
    Row saves;
    for (int round = 0; round < rounds; ++round) {
        constexpr int kSaves = 200;
        Run r = runOurs([&] {
            bool saved = true;
            for (int i = 0; i < kSaves; ++i)
                saved = entry->SavingAddress() && saved;
            return saved;
        });
        r.ms /= kSaves;
        r.cpuMs /= kSaves;
        saves.ours.push_back(r);
        saves.peer.push_back(sqlite3Run(
            db, QStringLiteral("PRAGMA synchronous=NORMAL; INSERT INTO tblAddress (FirstName, LastName, HomeAddress, "
                               "Suburb, PostCode, Email, HomePhone, Mobile, ICQ, WebAddress, Comments) VALUES "
                               "('Anna', '', '', '', '', '', '', '', '', '', '');")));
    }
    Screens::unload<frmAddress>();
    settle();
    report(QStringLiteral("save one contact (frmAddress::SavingAddress)"), saves,
           QStringLiteral("sqlite3, the same insert"), QStringLiteral("<= 2 ms"), QStringLiteral("< 80 MB"));
    // The address book is again the one the rows after it, and the next run, expect.
    sqlite3_exec(con.handle(), QStringLiteral("DELETE FROM tblAddress WHERE Org_ID > %1").arg(kContacts).toUtf8(),
                 nullptr, nullptr, nullptr);
}

// The command line's export, `tessaly --export-contacts FILE`, run from a
// copy of the program in the application folder, next to the sqlite3
// tool's CSV of the same table; the first export (which gives each contact
// its UID) apart.
void exportSideBySide(const QString& folder)
{
    const QString program = QDir(folder).filePath(QStringLiteral("tessaly"));
    if (!copyProgram(folder)) {
        std::printf("--export-contacts: not run: no tessaly and tessaly-app beside the benchmarks\n");
        return;
    }
    const QString out = QDir(folder).filePath(QStringLiteral("contacts.vcf"));
    const QString csv = QDir(folder).filePath(QStringLiteral("contacts.csv"));
    const QStringList ours = {program, QStringLiteral("--export-contacts"), out};
    const QStringList peer = {QStringLiteral("sqlite3"), QStringLiteral("-csv"), AppFolder::databaseFile(),
                              QStringLiteral("SELECT * FROM tblAddress")};
    const auto clearMap = [] {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_exec(con.handle(), "DELETE FROM tblSyncMap", nullptr, nullptr, nullptr);
    };
    Row first, again;
    for (int round = 0; round < benchRounds(); ++round) {
        clearMap();
        first.ours.push_back(runProgram(ours));
        first.peer.push_back(runProgram(peer, csv));
        again.ours.push_back(runProgram(ours));
        again.peer.push_back(runProgram(peer, csv));
    }
    report(QStringLiteral("--export-contacts, 100k, each contact's UID known (sync/SyncFiles::exportContacts)"), again,
           QStringLiteral("sqlite3 -csv > file"), QStringLiteral("<= 2"), QStringLiteral("< 80 MB"));
    report(QStringLiteral("--export-contacts, 100k, the first: each contact given its UID"), first,
           QStringLiteral("sqlite3 -csv > file"), QStringLiteral("—"), QStringLiteral("< 80 MB"));
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        qFatal("unexpected message: %s", qPrintable(call.text));
        return MsgResult::OK;
    });

    QTemporaryDir temporary;
    const QString folder = qEnvironmentVariableIsSet("TESSALY_BENCH_DIR")
                               ? QDir(qEnvironmentVariable("TESSALY_BENCH_DIR")).absolutePath()
                               : temporary.path();
    AppFolder::setPath(folder);
    QDir().mkpath(AppFolder::dataFolder());
    {
        Connection con;
        con.Open(AppFolder::databaseFile());
    }
    fillAddressBook(AppFolder::databaseFile());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sideBySide(AppFolder::databaseFile());
    Screens::unloadAll();
    settle();
    exportSideBySide(folder);
    return 0;
}
