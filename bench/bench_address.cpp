// The address book at 100,000 contacts: opening the edit screen with its
// name list, each of the six searches, and the save of a new contact.
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
#include "kit/Screens.h"
#include "store/Connection.h"

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
    for (auto _ : state) {
        auto* edit = Screens::load<frmAddressEdit>();
        listed = edit->lstName->count();
        state.PauseTiming();
        Screens::unload<frmAddressEdit>();
        settle();
        state.ResumeTiming();
    }
    state.counters["listed"] = listed;
}
BENCHMARK(BM_OpenEditScreen)->Unit(benchmark::kMillisecond)->Iterations(10);

// One search by each field, for the value of the 54,321st contact.
void BM_Search(benchmark::State& state)
{
    const auto field = frmAddressSearch::Field(state.range(0));
    constexpr int i = 54321;
    const QString values[] = {firstName(i), lastName(i), phone(i), email(i), icq(i), mobile(i)};
    auto* search = Screens::load<frmAddressSearch>();
    QLineEdit* const boxes[] = {search->txtsearchFirstName, search->txtsearchLastName, search->txtsearchPhone,
                                search->txtsearchEmail,     search->txtsearchIcq,      search->txtsearchMobile};
    int found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        search->cmdField_Click(field);
        boxes[field]->setText(values[field]);
        state.ResumeTiming();
        search->imgField_Click(field);
        found = search->lstv->itemCount();
    }
    state.counters["found"] = found;
    Screens::unload<frmAddressSearch>();
    settle();
}
BENCHMARK(BM_Search)
    ->ArgName("field")
    ->DenseRange(frmAddressSearch::FirstName, frmAddressSearch::Mobile)
    ->Unit(benchmark::kMillisecond);

void BM_SaveContact(benchmark::State& state)
{
    auto* entry = Screens::load<frmAddress>();
    entry->txtFirstName->setText(QStringLiteral("Anna"));
    entry->txtLastName->setText(QStringLiteral("O'Brien"));
    entry->txtemail->setText(QStringLiteral("anna@example.org"));
    for (auto _ : state)
        if (!entry->SavingAddress())
            state.SkipWithError("the save failed");
    Screens::unload<frmAddress>();
    settle();
}
BENCHMARK(BM_SaveContact)->Unit(benchmark::kMillisecond)->Iterations(200);
// Ours and the sqlite3 tool's same select, in interleaved rounds: opening the
// edit screen (its list filled and painted) against the select of every
// contact; each search (the count, the rows in view read, the columns sized)
// against its select, the list's painting apart; one save.
void sideBySide(const QString& db)
{
    const int rounds = benchRounds();
    std::vector<double> open, openTool;
    long rss = 0;
    for (int r = 0; r < rounds; ++r) {
        open.push_back(millisecondsOf([] {
            auto* edit = Screens::load<frmAddressEdit>();
            edit->lstName->grab();
        }));
        rss = std::max(rss, residentKilobytes());
        Screens::unload<frmAddressEdit>();
        settle();
        openTool.push_back(sqlite3Milliseconds(db, QStringLiteral("SELECT rowid, * FROM tblAddress ORDER BY rowid")));
    }
    std::printf("\nside by side on %d contacts, medians of %d interleaved rounds:\n", kContacts, rounds);
    reportRow("open the edit screen, name list shown", medianOf(open), "sqlite3 all rows", medianOf(openTool),
              "<= 1.5 and < 150 ms");
    reportOwn("resident memory with the edit list open", QStringLiteral("%1 MB").arg(rss / 1024), "< 150 MB");

    constexpr int i = 54321;
    const QString values[] = {firstName(i), lastName(i), phone(i), email(i), icq(i), mobile(i)};
    const char* const names[] = {"search by first name", "search by last name", "search by phone",
                                 "search by e-mail",     "search by ICQ",       "search by mobile"};
    const char* const columns[] = {"FirstName", "LastName", "HomePhone", "Email", "ICQ", "Mobile"};
    auto* search = Screens::load<frmAddressSearch>();
    QLineEdit* const boxes[] = {search->txtsearchFirstName, search->txtsearchLastName, search->txtsearchPhone,
                                search->txtsearchEmail,     search->txtsearchIcq,      search->txtsearchMobile};
    for (int f = frmAddressSearch::FirstName; f <= frmAddressSearch::Mobile; ++f) {
        const auto field = frmAddressSearch::Field(f);
        std::vector<double> ours, tool, paint;
        int found = 0;
        for (int r = 0; r < rounds; ++r) {
            search->cmdField_Click(field);
            boxes[f]->setText(values[f]);
            ours.push_back(millisecondsOf([&] { search->imgField_Click(field); }));
            paint.push_back(millisecondsOf([&] { search->lstv->grab(); }));
            found = search->lstv->itemCount();
            tool.push_back(sqlite3Milliseconds(db, QStringLiteral("SELECT rowid, * FROM tblAddress WHERE %1 = '%2' "
                                                                  "ORDER BY rowid")
                                                       .arg(QLatin1String(columns[f]), values[f])));
        }
        reportRow(qPrintable(QStringLiteral("%1 (%2 found)").arg(QLatin1String(names[f])).arg(found)), medianOf(ours),
                  "sqlite3", medianOf(tool), "<= 1.5 and < 10 ms");
        std::printf("    (then painting the list: %.2f ms)\n", medianOf(paint));
    }
    Screens::unload<frmAddressSearch>();

    auto* entry = Screens::load<frmAddress>();
    entry->txtFirstName->setText(QStringLiteral("Anna"));
    std::vector<double> saves;
    for (int r = 0; r < rounds * 5; ++r)
        saves.push_back(millisecondsOf([&] { entry->SavingAddress(); }));
    Screens::unload<frmAddress>();
    settle();
    reportOwn("save one contact", QStringLiteral("%1 ms").arg(medianOf(saves), 0, 'f', 2), "<= 2 ms");
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
    return 0;
}
