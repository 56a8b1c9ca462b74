#include "store/SearchIndex.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

#include "store/Statement.h"
#include "store/StoreError.h"

namespace {

const QString kTrouble = QStringLiteral("The search index could not be read or written: %1");

// A person never types more words than this; beyond them a pasted page
// would only make a slower query.
constexpr int kMostWords = 32;
// Rows put in the index per transaction while it is rebuilt.
constexpr int kSlice = 2000;

// What a contact and an appointment put in the index; %1 is the row
// ("new." in a trigger, nothing in a rebuild).
const QString kContactTitle = QStringLiteral("%1FirstName || ' ' || %1LastName");
// The fields, one blank between those that are not empty.
QString joined(std::initializer_list<const char*> fields)
{
    QStringList parts;
    for (const char* field : fields)
        parts << QStringLiteral("CASE WHEN %1%2 <> '' THEN ' ' || %1%2 ELSE '' END")
                     .arg(QStringLiteral("%1"), QString::fromLatin1(field));
    return QStringLiteral("ltrim(%1)").arg(parts.join(QStringLiteral(" || ")));
}
const QString kContactBody =
    joined({"Email", "HomePhone", "Mobile", "HomeAddress", "Suburb", "PostCode", "ICQ", "WebAddress", "Comments"});
const QString kAppointmentTitle = QStringLiteral("%1DateValue || ' ' || %1TimeStart || '-' || %1TimeFinished");
const QString kAppointmentBody = QStringLiteral("%1Note");

struct Followed {
    const char* table;
    const char* key;
    int kind;
    const QString& title;
    const QString& body;
};
const Followed kFollowed[] = {
    {"tblAddress", "Org_ID", int(SearchIndex::Kind::Contact), kContactTitle, kContactBody},
    {"tblOrginize", "OrgRow", int(SearchIndex::Kind::Appointment), kAppointmentTitle, kAppointmentBody},
};

void exec(sqlite3* db, const QString& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = failureReason(db, message);
        sqlite3_free(message);
        throw StoreError(kTrouble.arg(reason));
    }
}

class IndexStatement : public Statement {
public:
    IndexStatement(sqlite3* db, const QString& sql)
        : Statement(db, sql, kTrouble)
    {
    }
};

bool hasTable(sqlite3* db, const char* name)
{
    IndexStatement s(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?"));
    return s.bind(1, QString::fromLatin1(name)).step();
}

QString entryKey(const Followed& f, const QString& row)
{
    return QStringLiteral("%1%2 * 4 + %3").arg(row, QString::fromLatin1(f.key)).arg(f.kind);
}

QString triggers(const Followed& f)
{
    const QString table = QString::fromLatin1(f.table);
    const QString insert = QStringLiteral("INSERT INTO tblSearch (rowid, Title, Body) VALUES (%1, %2, %3);")
                               .arg(entryKey(f, QStringLiteral("new.")), f.title.arg(QStringLiteral("new.")),
                                    f.body.arg(QStringLiteral("new.")));
    const QString remove =
        QStringLiteral("DELETE FROM tblSearch WHERE rowid = %1;").arg(entryKey(f, QStringLiteral("old.")));
    return QStringLiteral("CREATE TRIGGER %1SearchInsert AFTER INSERT ON %1 BEGIN %2 END;\n"
                          "CREATE TRIGGER %1SearchUpdate AFTER UPDATE ON %1 BEGIN %3 %2 END;\n"
                          "CREATE TRIGGER %1SearchDelete AFTER DELETE ON %1 BEGIN %3 END;\n")
        .arg(table, insert, remove);
}

int storedVersion(sqlite3* db)
{
    if (!hasTable(db, "tblSearch") || !hasTable(db, "tblSearchVersion"))
        return -1;
    IndexStatement s(db, QStringLiteral("SELECT Version FROM tblSearchVersion"));
    return s.step() ? int(s.integer(0)) : -1;
}

// A store with no records has nothing to fill its index with.
bool holdsRecords(sqlite3* db)
{
    for (const char* sql : {"SELECT 1 FROM tblAddress", "SELECT 1 FROM tblOrginize"})
        if (IndexStatement(db, QString::fromLatin1(sql)).step())
            return true;
    return hasTable(db, "tblMailbox") || hasTable(db, "tblSearchNote");
}

void create(sqlite3* db)
{
    const int version = holdsRecords(db) ? 0 : SearchIndex::kVersion;
    QString sql =
        QStringLiteral(
            "BEGIN IMMEDIATE;\n"
            "DROP TABLE IF EXISTS tblSearch;\n"
            "DROP TABLE IF EXISTS tblSearchVersion;\n"
            "CREATE VIRTUAL TABLE tblSearch USING fts5(Title, Body, "
            "tokenize = \"unicode61 remove_diacritics 2\", prefix = '2 3 4 5 6');\n"
            // 0 until a rebuild has put every record in.
            "CREATE TABLE tblSearchVersion (Version INTEGER NOT NULL);\n"
            "INSERT INTO tblSearchVersion VALUES (%1);\n"
            // The notes indexed, with the time their file was changed:
            // kept when the index is made anew, the one list of them.
            "CREATE TABLE IF NOT EXISTS tblSearchNote (Note_ID INTEGER PRIMARY KEY, Path TEXT NOT NULL UNIQUE, "
            "MTime INTEGER NOT NULL);\n")
            .arg(version);
    for (const Followed& f : kFollowed) {
        for (const char* what : {"Insert", "Update", "Delete"})
            sql += QStringLiteral("DROP TRIGGER IF EXISTS %1Search%2;\n")
                       .arg(QString::fromLatin1(f.table), QString::fromLatin1(what));
        sql += triggers(f);
    }
    sql += QStringLiteral("COMMIT;");
    try {
        exec(db, sql);
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void put(sqlite3* db, qint64 rowid, const QString& title, const QString& body)
{
    IndexStatement(db, QStringLiteral("INSERT OR REPLACE INTO tblSearch (rowid, Title, Body) VALUES (?, ?, ?)"))
        .bind(1, rowid)
        .bind(2, title)
        .bind(3, body)
        .step();
}

qint64 mtimeOf(const QFileInfo& file)
{
    return file.lastModified().toMSecsSinceEpoch();
}

// The note's entry from its file; false when the file cannot be read.
bool indexNoteFile(sqlite3* db, const QString& path, const SearchIndex::Sources& sources)
{
    const QString text = sources.noteText ? sources.noteText(path) : QString();
    if (text.isNull())
        return false;
    SearchIndex::putNote(db, path, text);
    return true;
}

void removeNote(sqlite3* db, qint64 id)
{
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearch WHERE rowid = ?"))
        .bind(1, id * 4 + int(SearchIndex::Kind::Note))
        .step();
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearchNote WHERE Note_ID = ?")).bind(1, id).step();
}

// Runs `work` in one transaction.
template <typename Work>
void transaction(sqlite3* db, Work work)
{
    exec(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        work();
        exec(db, QStringLiteral("COMMIT"));
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace

QString SearchIndex::matchQuery(const QString& typed)
{
    QStringList terms;
    const auto addTerm = [&](const QString& text, bool phrase) {
        if (terms.size() >= kMostWords
            || !std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            return;
        // Quotes end a word, so none is ever inside one.
        terms << QLatin1Char('"') + text + QLatin1Char('"') + (phrase ? QString() : QStringLiteral("*"));
    };
    qsizetype i = 0;
    const qsizetype n = typed.size();
    while (i < n) {
        if (typed[i].isSpace()) {
            ++i;
        } else if (typed[i] == QLatin1Char('"')) {
            // A phrase runs to the next quote, or to the end of the text.
            const qsizetype end = typed.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype stop = end < 0 ? n : end;
            addTerm(typed.mid(i + 1, stop - i - 1).simplified(), true);
            i = stop + 1;
        } else {
            qsizetype end = i;
            while (end < n && !typed[end].isSpace() && typed[end] != QLatin1Char('"'))
                ++end;
            addTerm(typed.mid(i, end - i), false);
            i = end;
        }
    }
    return terms.join(QLatin1Char(' '));
}

bool SearchIndex::prepare(sqlite3* db)
{
    const int version = storedVersion(db);
    if (version == kVersion)
        return false;
    if (sqlite3_db_readonly(db, "main") == 1)
        return false;
    if (version != 0)
        create(db);
    return storedVersion(db) != kVersion;
}

std::vector<SearchIndex::SearchHit> SearchIndex::search(sqlite3* db, const QString& typed)
{
    std::vector<SearchHit> hits;
    const QString match = matchQuery(typed);
    if (match.isEmpty())
        return hits;
    IndexStatement s(db, QStringLiteral("SELECT tblSearch.rowid, highlight(tblSearch, 0, ?2, ?3), "
                                        "snippet(tblSearch, 1, ?2, ?3, '...', 12), tblSearchNote.Path "
                                        // By the note's key, so each hit is one lookup, not a scan of the notes.
                                        "FROM tblSearch LEFT JOIN tblSearchNote "
                                        "ON tblSearch.rowid % 4 = 2 AND tblSearchNote.Note_ID = tblSearch.rowid / 4 "
                                        "WHERE tblSearch MATCH ?1 LIMIT ?4"));
    s.bind(1, match).bind(2, QString(kMarkOpen)).bind(3, QString(kMarkClose)).bind(4, qint64(kMostHits));
    while (s.step()) {
        const qint64 rowid = s.integer(0);
        hits.push_back({Kind(rowid % 4), rowid / 4, s.text(1), s.text(2), s.text(3)});
    }
    std::stable_sort(hits.begin(), hits.end(), [](const SearchHit& a, const SearchHit& b) { return a.kind < b.kind; });
    return hits;
}

void SearchIndex::putMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject, const QString& text)
{
    put(db, rowid * 4 + int(Kind::Mail), subject, sender + QLatin1Char('\n') + text);
}

void SearchIndex::removeMail(sqlite3* db, qint64 rowid)
{
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearch WHERE rowid = ?"))
        .bind(1, rowid * 4 + int(Kind::Mail))
        .step();
}

void SearchIndex::putNote(sqlite3* db, const QString& path, const QString& plainText)
{
    const QFileInfo file(path);
    IndexStatement note(db, QStringLiteral("INSERT INTO tblSearchNote (Path, MTime) VALUES (?1, ?2) "
                                           "ON CONFLICT (Path) DO UPDATE SET MTime = ?2 RETURNING Note_ID"));
    note.bind(1, file.absoluteFilePath()).bind(2, mtimeOf(file));
    if (!note.step())
        throw StoreError(kTrouble.arg(QStringLiteral("no key for the note")));
    const qint64 id = note.integer(0);
    note.reset();
    put(db, id * 4 + int(Kind::Note), file.completeBaseName(), plainText);
}

void SearchIndex::rebuild(sqlite3* db, const Sources& sources, const std::function<bool(int)>& progress)
{
    qint64 total = 0, done = 0;
    const bool hasMail = hasTable(db, "tblMailbox");
    const auto count = [&](const QString& sql) {
        IndexStatement s(db, sql);
        return s.step() ? s.integer(0) : 0;
    };
    for (const Followed& f : kFollowed)
        total += count(QStringLiteral("SELECT count(*) FROM %1").arg(QString::fromLatin1(f.table)));
    if (hasMail)
        total += count(QStringLiteral("SELECT count(*) FROM tblMailbox WHERE FileName <> ''"));
    const auto advance = [&](qint64 rows) {
        done += rows;
        return !progress || progress(total ? int(std::min<qint64>(100, done * 100 / total)) : 100);
    };

    // Every note is read again below, as if its file had changed.
    exec(db, QStringLiteral("DELETE FROM tblSearch; UPDATE tblSearchNote SET MTime = -1"));
    for (const Followed& f : kFollowed) {
        const QString table = QString::fromLatin1(f.table), key = QString::fromLatin1(f.key);
        qint64 last = -1;
        for (;;) {
            qint64 rows = 0;
            transaction(db, [&] {
                IndexStatement slice(db, QStringLiteral("SELECT max(%1), count(*) FROM (SELECT %1 FROM %2 WHERE %1 > ? "
                                                        "ORDER BY %1 LIMIT %3)")
                                             .arg(key, table)
                                             .arg(kSlice));
                slice.bind(1, last);
                if (!slice.step() || slice.isNull(0))
                    return;
                const qint64 upTo = slice.integer(0);
                rows = slice.integer(1);
                IndexStatement(
                    db, QStringLiteral("INSERT OR REPLACE INTO tblSearch (rowid, Title, Body) "
                                       "SELECT %1, %2, %3 FROM %4 WHERE %5 > ? AND %5 <= ?")
                            .arg(entryKey(f, QString()), f.title.arg(QString()), f.body.arg(QString()), table, key))
                    .bind(1, last)
                    .bind(2, upTo)
                    .step();
                last = upTo;
            });
            if (rows == 0)
                break;
            if (!advance(rows))
                return;
        }
    }
    if (hasMail) {
        IndexStatement rows(
            db, QStringLiteral(
                    "SELECT rowid, FileName, Sender, Subject FROM tblMailbox WHERE FileName <> '' ORDER BY rowid"));
        std::vector<std::tuple<qint64, QString, QString, QString>> mail;
        while (rows.step())
            mail.emplace_back(rows.integer(0), rows.text(1), rows.text(2), rows.text(3));
        for (size_t from = 0; from < mail.size(); from += kSlice / 4) {
            const size_t to = std::min(mail.size(), from + kSlice / 4);
            transaction(db, [&] {
                for (size_t k = from; k < to; ++k) {
                    const auto& [rowid, file, sender, subject] = mail[k];
                    putMail(db, rowid, sender, subject, sources.mailText ? sources.mailText(file) : QString());
                }
            });
            if (!advance(qint64(to - from)))
                return;
        }
    }
    refreshNotes(db, sources);
    transaction(db, [&] {
        IndexStatement(db, QStringLiteral("UPDATE tblSearchVersion SET Version = ?")).bind(1, qint64(kVersion)).step();
    });
    if (progress)
        progress(100);
}

void SearchIndex::refreshNotes(sqlite3* db, const Sources& sources)
{
    std::vector<std::tuple<qint64, QString, qint64>> notes;
    {
        IndexStatement s(db, QStringLiteral("SELECT Note_ID, Path, MTime FROM tblSearchNote"));
        while (s.step())
            notes.emplace_back(s.integer(0), s.text(1), s.integer(2));
    }
    // A hundred notes a transaction: reading them may take a while, and the
    // window's own writes wait for no more than that.
    for (size_t from = 0; from < notes.size(); from += kSlice / 20) {
        transaction(db, [&] {
            for (size_t k = from; k < std::min(notes.size(), from + kSlice / 20); ++k) {
                const auto& [id, path, mtime] = notes[k];
                // A file that is gone has no time and cannot be read: it is forgotten.
                if (mtimeOf(QFileInfo(path)) != mtime && !indexNoteFile(db, path, sources))
                    removeNote(db, id);
            }
        });
    }
}
