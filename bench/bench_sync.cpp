// Contacts and appointments to and from files: import of 10,000 vCards into
// an empty address book (and of the same file again, every card unchanged),
// the vCard reader alone, export of those 10,000 kept cards with one field
// changed each, and export of 10,000 appointments to iCalendar.
// The files are left at the printed paths, so bench/sync_vobject.py times
// python3-vobject on the very same bytes.

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QLocale>

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

// 10,000 vCard 4.0 contacts, every field filled, one in ten with a second
// e-mail and a long post code (so the fitting path runs too).
const QByteArray& contactsBytes()
{
    static QByteArray bytes;
    if (!bytes.isEmpty())
        return bytes;
    for (int i = 0; i < kCount; ++i) {
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
        bytes += card;
    }
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

void BM_ReadVCards(benchmark::State& state)
{
    const QByteArray& bytes = contactsBytes();
    for (auto _ : state) {
        const VCard::ReadResult read = VCard::read(bytes);
        for (const VCard::Card& card : read.cards)
            benchmark::DoNotOptimize(ContactMap::fromCard(card));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ReadVCards)->Unit(benchmark::kMillisecond);

void BM_ImportVCards(benchmark::State& state)
{
    contactsBytes();
    for (auto _ : state) {
        state.PauseTiming();
        freshFolder(QStringLiteral("import"));
        state.ResumeTiming();
        const FileOutcome r = SyncFiles::importContacts(contactsFile());
        if (!r.ok)
            state.SkipWithError(qPrintable(r.message));
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ImportVCards)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReimportUnchanged(benchmark::State& state)
{
    contactsBytes();
    freshFolder(QStringLiteral("reimport"));
    SyncFiles::importContacts(contactsFile());
    for (auto _ : state)
        benchmark::DoNotOptimize(SyncFiles::importContacts(contactsFile()));
    state.SetItemsProcessed(state.iterations() * kCount);
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
    for (auto _ : state) {
        const FileOutcome r = SyncFiles::exportContacts(out);
        if (!r.ok)
            state.SkipWithError(qPrintable(r.message));
    }
    state.SetItemsProcessed(state.iterations() * kCount);
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
    for (auto _ : state) {
        const FileOutcome r = SyncFiles::exportAppointments(out);
        if (!r.ok)
            state.SkipWithError(qPrintable(r.message));
    }
    state.SetItemsProcessed(state.iterations() * kCount);
    state.SetLabel(qPrintable(out));
}
BENCHMARK(BM_ExportAppointments)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("files: %s, %s\n", qPrintable(contactsFile()),
                qPrintable(folder() + QStringLiteral("/appointments.ics")));
    return 0;
}
