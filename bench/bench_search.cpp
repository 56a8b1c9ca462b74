// The search index over 100,000 contacts, 100,000 appointments, 20,000
// kept messages and 2,000 notes: the index filled from nothing
// (SearchIndex::rebuild, what the start runs beside the window when the
// index is missing or old), with its longest slice; then the search box
// itself, a key typed into it until its list of hits is painted, for a
// word, three words, a common word and one letter, next to the sqlite3 tool
// running the same search on the same file.
//
//   QT_QPA_PLATFORM=offscreen build-bench/bench/bench_search   # the store stays in $TMPDIR/bench_search

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

#include <cstdio>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "shell/SearchBox.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"

#include "SideBySide.h"

namespace {

constexpr int kContacts = 100000, kAppointments = 100000, kMails = 20000, kNotes = 2000;

const char* const kWords[] = {"ann",    "bob",     "lunch",  "kew",     "smith",  "meeting", "garden", "invoice",
                              "river",  "carlton", "report", "dentist", "school", "tennis",  "piano",  "budget",
                              "travel", "harbour", "review", "coffee",  "market", "library", "doctor", "plumber"};
constexpr int kWordCount = int(sizeof(kWords) / sizeof(kWords[0]));

// Words for row i, the same on every run.
QString words(int i, int count)
{
    QStringList out;
    quint32 x = quint32(i) * 2654435761U + 12345U;
    for (int k = 0; k < count; ++k) {
        x = x * 1103515245U + 12345U;
        out << QString::fromLatin1(kWords[(x >> 16) % kWordCount]) + QString::number((x >> 8) % 50);
    }
    return out.join(u' ');
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void insertRows(sqlite3* db, const char* sql, int count, const std::function<QStringList(int)>& values)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    for (int i = 0; i < count; ++i) {
        const QStringList v = values(i);
        for (int c = 0; c < v.size(); ++c) {
            const QByteArray b = v[c].toUtf8();
            sqlite3_bind_text(st, c + 1, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

QString folder()
{
    return QDir::temp().filePath(QStringLiteral("bench_search"));
}

SearchIndex::Sources sources()
{
    // The messages' and notes' texts as their readers would give them (the
    // MIME and RTF reading itself is left out of these figures).
    return {[](const QString& file) { return words(file.mid(6).toInt(), 60); },
            [](const QString& path) { return words(QFileInfo(path).baseName().toInt(), 200); },
            {}};
}

void fill(Connection& con)
{
    sqlite3* db = con.handle();
    exec(db, "BEGIN");
    insertRows(db, "INSERT INTO tblAddress (FirstName, LastName, Email, Suburb, Comments) VALUES (?, ?, ?, ?, ?)",
               kContacts, [](int i) {
                   const QStringList w = words(i, 5).split(u' ');
                   return QStringList{w[0], w[1], w[2] + QStringLiteral("@example.org"), w[3], words(i + 7, 8)};
               });
    insertRows(db,
               "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES (?, '9:00AM', '9:30 AM', ?)",
               kAppointments, [](int i) {
                   return QStringList{QStringLiteral("%1/%2/26").arg(1 + i % 12).arg(1 + i % 28), words(i + 3, 6)};
               });
    exec(db, "CREATE TABLE IF NOT EXISTS tblMailbox (MailKey TEXT PRIMARY KEY, FileName TEXT NOT NULL, Sender TEXT "
             "NOT NULL DEFAULT '', Subject TEXT NOT NULL DEFAULT '', SendDate TEXT NOT NULL DEFAULT '', Size INTEGER "
             "NOT NULL DEFAULT 0)");
    insertRows(db, "INSERT INTO tblMailbox (MailKey, FileName, Sender, Subject) VALUES (?, ?, ?, ?)", kMails,
               [](int i) {
                   return QStringList{QString::number(i), QStringLiteral("new/m%1").arg(i),
                                      words(i, 2) + QStringLiteral(" <a@example.org>"), words(i + 1, 5)};
               });
    QDir().mkpath(folder() + QStringLiteral("/Note"));
    for (int i = 0; i < kNotes; ++i) {
        const QString path = folder() + QStringLiteral("/Note/%1.nte").arg(i);
        QFile file(path);  // the note's file is there: the index keeps only notes whose files are
        if (!file.open(QIODevice::WriteOnly) || !file.write("note"))
            std::exit(1);
        file.close();
        SearchIndex::putNote(db, path, words(i, 200));
    }
    exec(db, "COMMIT");
}

// The search box over the store at `path`: the last key of `typed` pressed in
// it (the rest typed before, untimed) until its list of hits is painted.
// The box has no debounce: the key's textChanged runs the search at once,
// so the whole time is work. The peer: the sqlite3 tool running the
// search's first pass (the same MATCH, up to 1,001 matches, bm25() for the
// program's own ranking) and the fifty hits' highlights and snippets.
void searchBoxRows(const QString& path)
{
    AppFolder::setPath(folder() + QStringLiteral("/app"));
    QDir().mkpath(AppFolder::dataFolder());
    QFile::link(path, AppFolder::databaseFile());
    Clock::setFixed(QDateTime(QDate(2026, 6, 15), QTime(9, 0)));
    QWidget window;
    window.resize(800, 600);
    auto* box = new SearchBox(&window);
    box->setGeometry(200, 0, 520, 480);
    window.show();
    box->open();
    const int rounds = std::max(benchRounds(), 21);
    // A word, three words, a common word (thousands to rank and count) and one letter (no prefix index).
    for (const QString& typed :
         {QStringLiteral("smith"), QStringLiteral("ann lunch kew"), QStringLiteral("lunch"), QStringLiteral("l")}) {
        const QString match = SearchIndex::matchQuery(typed).replace(u'\'', QLatin1String("''"));
        const QString sql =
            QStringLiteral(
                "SELECT s.rowid, NULL, NULL, CASE WHEN s.rowid % 8 <> 1 THEN CAST(bm25(tblSearch) * 1e9 AS INTEGER) "
                "END, o.DateValue, EXISTS (SELECT 1 FROM tblOrginizeSeries r WHERE r.OrgRow = o.OrgRow) FROM "
                "tblSearch s LEFT JOIN tblOrginize o ON s.rowid % 8 = 1 AND o.OrgRow = s.rowid / 8 WHERE "
                "tblSearch MATCH '%1' LIMIT 1001;\nSELECT highlight(tblSearch, 0, char(2), char(3)), "
                "snippet(tblSearch, 1, char(2), char(3), '...', 12) FROM tblSearch WHERE tblSearch MATCH '%1' "
                "LIMIT 50;")
                .arg(match);
        Row row;
        int shown = 0;
        for (int r = 0; r < rounds; ++r) {
            box->txtSearch->setText(typed.chopped(1));
            QCoreApplication::processEvents();
            const QChar last = typed.back();
            row.ours.push_back(runUntilPainted(box->lstResults->viewport(), [&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (last.unicode() - u'a'), Qt::NoModifier, last);
                QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, last);
                QCoreApplication::sendEvent(box->txtSearch, &press);
                QCoreApplication::sendEvent(box->txtSearch, &release);
            }));
            shown = box->lstResults->count();
            if (r < 3)
                row.peer.push_back(sqlite3Run(path, sql));
        }
        report(QStringLiteral("the search box, \"%1\": the last key pressed until its %2 lines of hits are painted "
                              "(no debounce: all of it work)")
                   .arg(typed)
                   .arg(shown),
               row, QStringLiteral("sqlite3, the first pass and the 50 hits' highlights"), QStringLiteral("< 16 ms"),
               QStringLiteral("< 80 MB"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    const QString path = folder() + QStringLiteral("/Tessaly.mdb");
    Connection con;
    con.Open(path);
    sqlite3* db = con.handle();
    std::printf("load average at the start: %s\n", qPrintable(loadAverage()));
    const double filled = millisecondsOf([&] { fill(con); });
    std::printf("store filled (the triggers indexing contacts and appointments as they are written): %.0f ms\n",
                filled);

    // From nothing, as the start finds an index that is missing or old.
    exec(db, "UPDATE tblSearchVersion SET Version = 0; DELETE FROM tblSearch");
    double longestSlice = 0;
    QElapsedTimer slice;
    slice.start();
    Row rebuilt;
    // The peer runs the statements the rebuild ran, the texts it read from
    // the mail and note files written into them: the index's work without
    // the files' reading and decoding.
    const QString copy = folder() + QStringLiteral("/before-rebuild.mdb");
    const bool copied = copyStore(db, copy);
    const QByteArray statements = statementsRun(db, [&] {
        rebuilt.ours.push_back(runOurs([&] {
            SearchIndex::rebuild(db, sources(), [&](int share) {
                const double ms = double(slice.nsecsElapsed()) / 1e6;
                if (ms > 500)
                    std::printf("  a slice of %.0f ms before %d%%\n", ms, share);
                longestSlice = std::max(longestSlice, ms);
                slice.restart();
                return true;
            });
            return true;
        }));
    });
    rebuilt.peer.push_back(sqlite3Doing(copy, statements));
    rebuilt.peer.back().ok = rebuilt.peer.back().ok && copied;
    QFile::remove(copy);
    report(QStringLiteral("the search index filled from nothing, %1 records (SearchIndex::rebuild, as the start runs "
                          "it beside the window), 1 round")
               .arg(kContacts + kAppointments + kMails + kNotes),
           rebuilt, QStringLiteral("sqlite3, the same statements with the files' texts in them"),
           QStringLiteral("< 60 s"), QStringLiteral("< 80 MB"));
    std::printf("  its longest slice between two progress reports: %.1f ms\n", longestSlice);

    searchBoxRows(path);
    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}
