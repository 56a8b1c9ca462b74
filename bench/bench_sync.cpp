// Contacts and appointments to and from files: import of 10,000 vCards into
// an address book that holds every one of them unchanged, export of those
// 10,000 kept cards with one field changed each, and export of 10,000
// appointments to iCalendar (SyncFiles, what the import and export commands
// run).
// The files are left at the printed paths, so bench/sync_vobject.py times
// python3-vobject on the very same bytes. Then, side by side with
// python3-vobject in the same run, the command line's import of 25,000,
// 100,000 and 400,000 cards (importSideBySide).

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "SideBySide.h"
#include "kit/AppFolder.h"
#include "store/Connection.h"
#include "sync/ContactMap.h"
#include "sync/SyncFiles.h"
#include "sync/VCard.h"

namespace {
constexpr int kCount = 10000;

QString folder()
{
    return QDir::temp().filePath(QStringLiteral("bench_sync"));
}

QString contactsFile()
{
    return folder() + QStringLiteral("/contacts.vcf");
}

// Card i of the generated files: vCard 4.0, every field filled, one in ten
// with a second e-mail and a long post code (so the fitting path runs too).
QByteArray contactCard(int i)
{
    ContactMap::Contact c{
        QStringLiteral("Given%1").arg(i),
        QStringLiteral("Family%1").arg(i),
        QStringLiteral("%1 Long Street, Flat %2").arg(i).arg(i % 7),
        QStringLiteral("Suburb"),
        QString::number(1000 + i % 9000),
        QStringLiteral("person%1@example.org").arg(i),
        QStringLiteral("03 9%1").arg(i, 7, 10, QLatin1Char('0')),
        QStringLiteral("0400 %1").arg(i, 6, 10, QLatin1Char('0')),
        QString::number(100000 + i),
        QStringLiteral("http://example.org/~p%1").arg(i),
        QStringLiteral("Met at the conference; likes tea, not coffee. Ünïcödé and a long line to fold.")};
    QByteArray card = ContactMap::toCard(c, QStringLiteral("bench-%1").arg(i));
    if (i % 10 == 0)
        card.replace("END:VCARD",
                     "EMAIL;TYPE=work:second@example.org\r\nADR;TYPE=work:;;1 Work Rd;City;;12345;\r\nEND:VCARD");
    return card;
}

// The first 10,000 of them.
const QByteArray& contactsBytes()
{
    static QByteArray bytes;
    if (!bytes.isEmpty())
        return bytes;
    for (int i = 0; i < kCount; ++i)
        bytes += contactCard(i);
    QDir().mkpath(folder());
    QFile file(contactsFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::exit(1);
    return bytes;
}

void freshFolder(const QString& name)
{
    const QString app = folder() + u'/' + name;
    QDir(app).removeRecursively();
    QDir().mkpath(app + QStringLiteral("/Data"));
    AppFolder::setPath(app);
    Connection con;
    con.Open(AppFolder::databaseFile());
}

void BM_ReimportUnchanged(benchmark::State& state)
{
    contactsBytes();
    freshFolder(QStringLiteral("reimport"));
    SyncFiles::importContacts(contactsFile());
    restartPeak();
    for (auto _ : state)
        benchmark::DoNotOptimize(SyncFiles::importContacts(contactsFile()));
    state.SetItemsProcessed(state.iterations() * kCount);
    countPeakAndLoad(state.counters);
}
BENCHMARK(BM_ReimportUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 10,000 cards imported (so each is kept as it came), one field of
// every contact changed here, then exported: every card written again from
// its kept bytes with that one property replaced. sync_vobject.py serialises
// the same 10,000 cards, each with the same change, with vobject.
void BM_ExportKeptCardsOneFieldChanged(benchmark::State& state)
{
    contactsBytes();
    freshFolder(QStringLiteral("kept"));
    if (!SyncFiles::importContacts(contactsFile()).ok)
        state.SkipWithError("import failed");
    {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_exec(con.handle(), "UPDATE tblAddress SET Mobile = '0499 ' || Org_ID", nullptr, nullptr, nullptr);
    }
    const QString out = folder() + QStringLiteral("/kept-export.vcf");
    restartPeak();
    for (auto _ : state) {
        const FileOutcome r = SyncFiles::exportContacts(out);
        if (!r.ok)
            state.SkipWithError(qPrintable(r.message));
    }
    state.SetItemsProcessed(state.iterations() * kCount);
    countPeakAndLoad(state.counters);
}
BENCHMARK(BM_ExportKeptCardsOneFieldChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportAppointments(benchmark::State& state)
{
    freshFolder(QStringLiteral("export"));
    {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_exec(con.handle(), "BEGIN", nullptr, nullptr, nullptr);
        for (int i = 0; i < kCount; ++i) {
            const QString sql =
                QStringLiteral("INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) "
                               "VALUES ('%1/%2/26', '%3:30AM', '%4:00 PM', 'Meeting number %5, room 4')")
                    .arg(1 + i % 12)
                    .arg(1 + i % 28)
                    .arg(7 + i % 5)
                    .arg(1 + i % 7)
                    .arg(i);
            sqlite3_exec(con.handle(), sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        }
        sqlite3_exec(con.handle(), "COMMIT", nullptr, nullptr, nullptr);
    }
    const QString out = folder() + QStringLiteral("/appointments.ics");
    restartPeak();
    for (auto _ : state) {
        const FileOutcome r = SyncFiles::exportAppointments(out);
        if (!r.ok)
            state.SkipWithError(qPrintable(r.message));
    }
    state.SetItemsProcessed(state.iterations() * kCount);
    countPeakAndLoad(state.counters);
    state.SetLabel(qPrintable(out));
}
BENCHMARK(BM_ExportAppointments)->Unit(benchmark::kMillisecond)->UseRealTime();

// `tessaly --import-contacts FILE` (SyncFiles::importContacts: the file
// read a megabyte at a time by VCard::Reader, each card mapped by
// ContactMap::fromCard and stored by SyncRecords::put with its kept card,
// map entry and search entry), the whole process from a copy of the program
// in a new application folder, next to python3-vobject reading the same file
// (bench/import_vobject.py: readComponents, every property of every card
// parsed and its value taken, no card kept): 25,000, 100,000 and 400,000
// cards (10, 40 and 160 MB). Each round starts from an empty address book.
void importSideBySide()
{
    for (const int count : {25000, 100000, 400000}) {
        const QString app = folder() + QStringLiteral("/import-%1").arg(count);
        const QString file = folder() + QStringLiteral("/contacts-%1.vcf").arg(count);
        QDir(app).removeRecursively();
        QDir().mkpath(app + QStringLiteral("/Data"));
        if (!copyProgram(app)) {
            std::printf("--import-contacts: not run: no tessaly and tessaly-app beside the benchmarks\n");
            return;
        }
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            std::exit(1);
        for (int i = 0; i < count; ++i)
            out.write(contactCard(i));
        out.close();
        const QStringList ours{app + QStringLiteral("/tessaly"), QStringLiteral("--import-contacts"), file};
        const QStringList peer{QStringLiteral("/usr/bin/python3"),
                               QStringLiteral(TESSALY_BENCH_DIR "/import_vobject.py"), file};
        Row row;
        for (int round = 0; round < benchRounds(); ++round) {
            for (const char* name : {"Tessaly.mdb", "Tessaly.mdb-wal", "Tessaly.mdb-shm"})
                QFile::remove(app + QStringLiteral("/Data/") + QLatin1String(name));
            row.ours.push_back(runProgram(ours));
            row.peer.push_back(runProgram(peer));
        }
        report(QStringLiteral(
                   "--import-contacts, %1 cards (%2 MB) into an empty address book (sync/SyncFiles::importContacts)")
                   .arg(QLocale().toString(count))
                   .arg(double(QFileInfo(file).size()) / (1024 * 1024), 0, 'f', 0),
               row, QStringLiteral("python3-vobject readComponents"), QStringLiteral("<= 0.5"),
               QStringLiteral("< 200 MB"));
        QDir(app).removeRecursively();
        QFile::remove(file);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    importSideBySide();
    std::printf("files: %s, %s\n", qPrintable(contactsFile()),
                qPrintable(folder() + QStringLiteral("/appointments.ics")));
    return 0;
}
