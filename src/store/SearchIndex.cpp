#include "store/SearchIndex.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "store/Statement.h"
#include "store/StoreError.h"

namespace {

const QString kTrouble = QStringLiteral("The search index could not be read or written: %1");

// A person never types more words than this; beyond them a pasted page
// would only make a slower query.
constexpr int kMostWords = 32;
// Rows put in the index per transaction while it is rebuilt.
constexpr int kSlice = 2000;
// Matches ranked at most, the first in the index's order: each costs a
// read of where its words are, and past them a common word would cost more
// than a key may take.
constexpr int kMostRanked = 1000;
// Matches counted (and appointments dated) at most.
constexpr int kMostCounted = 1000;

// What an entry is: its rowid is the record's key times kStride plus this.
enum Code { Contact = 0, Appointment = 1, Note = 2, Mail = 3, Imap = 4, Task = 5 };
constexpr int kStride = 8;

// Letters unicode61 keeps as they are, as the letters typed for them.
const std::array<std::pair<QStringView, QLatin1StringView>, 29> kFolds{{
    {u"ł", QLatin1StringView("l")},  {u"Ł", QLatin1StringView("L")},  {u"ø", QLatin1StringView("o")},
    {u"Ø", QLatin1StringView("O")},  {u"ß", QLatin1StringView("ss")}, {u"ẞ", QLatin1StringView("SS")},
    {u"æ", QLatin1StringView("ae")}, {u"Æ", QLatin1StringView("AE")}, {u"œ", QLatin1StringView("oe")},
    {u"Œ", QLatin1StringView("OE")}, {u"đ", QLatin1StringView("d")},  {u"Đ", QLatin1StringView("D")},
    {u"ð", QLatin1StringView("d")},  {u"Ð", QLatin1StringView("D")},  {u"þ", QLatin1StringView("th")},
    {u"Þ", QLatin1StringView("TH")}, {u"ħ", QLatin1StringView("h")},  {u"Ħ", QLatin1StringView("H")},
    {u"ı", QLatin1StringView("i")},  {u"ŀ", QLatin1StringView("l")},  {u"Ŀ", QLatin1StringView("L")},
    {u"ŧ", QLatin1StringView("t")},  {u"Ŧ", QLatin1StringView("T")},  {u"ĸ", QLatin1StringView("k")},
    {u"ŋ", QLatin1StringView("n")},  {u"Ŋ", QLatin1StringView("N")},  {u"ſ", QLatin1StringView("s")},
    {u"ĳ", QLatin1StringView("ij")}, {u"Ĳ", QLatin1StringView("IJ")},
}};

// fold() in SQL, for the entries the triggers make: a select of r, t, b
// and f (their text folded) from `rows`, a select of r, t, b. A few letters
// a level, as the parser takes only so many calls inside each other. The
// levels are merged into one expression, which SQLite works out again
// wherever it is named; the OFFSET keeps `rows` (a kept card's text read
// by a subquery among them) out of that, read once a row.
QString foldedRows(const QString& rows)
{
    QString sql = QStringLiteral("SELECT r, t, b, t || ' ' || b AS f FROM (%1 LIMIT -1 OFFSET 0)").arg(rows);
    for (size_t from = 0; from < kFolds.size(); from += 6) {
        QString f = QStringLiteral("f");
        for (size_t k = from; k < std::min(kFolds.size(), from + 6); ++k)
            f = QStringLiteral("replace(%1, '%2', '%3')").arg(f, kFolds[k].first.toString(), kFolds[k].second);
        sql = QStringLiteral("SELECT r, t, b, %1 AS f FROM (%2)").arg(f, sql);
    }
    return sql;
}

// What a contact and an appointment put in the index; %1 is the row
// ("new." in a trigger, the table's name and a dot elsewhere).
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
// What the contact's kept card holds beyond the boxes (a second e-mail, a work phone).
const QString kContactMore =
    QStringLiteral(" || coalesce(' ' || (SELECT k.More FROM tblSyncMap m JOIN tblSyncKept k ON k.Kind = m.Kind AND "
                   "k.UID = m.UID WHERE m.Kind = 'contact' AND m.LocalKey = %1Org_ID AND k.More <> '' LIMIT 1), '')");
const QString kAppointmentTitle = QStringLiteral("%1DateValue || ' ' || %1TimeStart || '-' || %1TimeFinished");
const QString kAppointmentBody = QStringLiteral("%1Note");
const QString kTaskTitle = QStringLiteral("%1Title");
const QString kTaskBody = QStringLiteral("%1Notes");
const QString kImapTitle = QStringLiteral("coalesce(%1Subject, '')");
const QString kImapBody = QStringLiteral("coalesce(%1Sender, '')");

struct Followed {
    const char* table;
    const char* key;
    Code code;
    QString title;
    QString body;
};

// The tables whose rows the triggers follow, as the store has them now.
struct Shape {
    bool imap = false;  // mail held from IMAP
    bool kept = false;  // cards kept by imports and syncs
};

std::vector<Followed> followed(const Shape& shape)
{
    return {{"tblAddress", "Org_ID", Contact, kContactTitle, kContactBody + (shape.kept ? kContactMore : QString())},
            {"tblOrginize", "OrgRow", Appointment, kAppointmentTitle, kAppointmentBody},
            {"tblTask", "TaskRow", Task, kTaskTitle, kTaskBody}};
}

QString entryKey(const char* key, Code code, const QString& row)
{
    return QStringLiteral("%1%2 * %3 + %4").arg(row, QString::fromLatin1(key)).arg(kStride).arg(int(code));
}

// Puts the entries `source` selects (a FROM clause, or nothing for a
// trigger's row): its text, and its folded text where folding changes it
// (f named once: each naming works the folding out again).
QString putEntries(const QString& key, const QString& title, const QString& body, const QString& source)
{
    return QStringLiteral("INSERT OR REPLACE INTO tblSearch (rowid, Title, Body, Folded) "
                          "SELECT r, t, b, coalesce(nullif(f, t || ' ' || b), '') FROM (%1)")
        .arg(foldedRows(QStringLiteral("SELECT %1 AS r, %2 AS t, %3 AS b %4").arg(key, title, body, source)));
}

QString putRow(const Followed& f, const QString& row, const QString& source)
{
    return putEntries(entryKey(f.key, f.code, row), f.title.arg(row), f.body.arg(row), source);
}

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

Shape shapeOf(sqlite3* db)
{
    return {hasTable(db, "tblImapMessage"), hasTable(db, "tblSyncKept") && hasTable(db, "tblSyncMap")};
}

const char* const kTriggers[] = {
    "tblAddressSearchInsert",     "tblAddressSearchUpdate",  "tblAddressSearchDelete",     "tblOrginizeSearchInsert",
    "tblOrginizeSearchUpdate",    "tblOrginizeSearchDelete", "tblImapMessageSearchBefore", "tblImapMessageSearchInsert",
    "tblImapMessageSearchDelete", "tblSyncKeptSearchInsert", "tblSyncKeptSearchUpdate",    "tblSyncKeptSearchDelete",
    "tblSyncMapSearchInsert",     "tblSyncMapSearchUpdate",  "tblSyncMapSearchDelete",     "tblTaskSearchInsert",
    "tblTaskSearchUpdate",        "tblTaskSearchDelete",
};
// The triggers that note a row while the entries are held, named after
// the one above each stands beside.
const QLatin1StringView kHeld("Held");

// Whether the entries are held (holdEntries, its mark -1): a row then notes
// its entry in tblSearchHeld instead of putting it. Notes left for later
// (holdEntries' caller committed without putting them) hold nothing else.
const QString kHolding = QStringLiteral("EXISTS (SELECT 1 FROM tblSearchHeld WHERE Entry = -1)");

QString noted(const QString& entries)
{
    return QStringLiteral("INSERT OR IGNORE INTO tblSearchHeld (Entry) %1;").arg(entries);
}

// Every trigger of the index, for the tables the store has. Those that
// put or remove entries stand beside one that notes the entries instead
// while they are held.
QString triggers(const Shape& shape)
{
    QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS tblSearchHeld (Entry INTEGER PRIMARY KEY);\n");
    for (const char* name : kTriggers)
        sql += QStringLiteral("DROP TRIGGER IF EXISTS %1;\nDROP TRIGGER IF EXISTS %1%2;\n")
                   .arg(QString::fromLatin1(name), kHeld);
    // The trigger `name` on `event` ("AFTER INSERT ON tblAddress"), run
    // when `when` holds (or always) doing `put`, and its twin noting the
    // rowids `entries` selects.
    const auto both = [&](const QString& name, const QString& event, const QString& when, const QString& put,
                          const QString& entries) {
        const QString also = when.isEmpty() ? QString() : when + QStringLiteral(" AND ");
        sql += QStringLiteral("CREATE TRIGGER %1 %2 WHEN %3NOT %4 BEGIN %5 END;\n"
                              "CREATE TRIGGER %1%6 %2 WHEN %3%4 BEGIN %7 END;\n")
                   .arg(name, event, also, kHolding, put, kHeld, noted(entries));
    };
    const auto remove = [](const QString& key) {
        return QStringLiteral("DELETE FROM tblSearch WHERE rowid = %1;").arg(key);
    };
    const std::vector<Followed> tables = followed(shape);
    for (const Followed& f : tables) {
        const QString table = QString::fromLatin1(f.table);
        const QString insert = putRow(f, QStringLiteral("new."), QString()) + QLatin1Char(';');
        const QString newKey = entryKey(f.key, f.code, QStringLiteral("new."));
        const QString oldKey = entryKey(f.key, f.code, QStringLiteral("old."));
        both(table + QStringLiteral("SearchInsert"), QStringLiteral("AFTER INSERT ON ") + table, QString(), insert,
             QStringLiteral("VALUES (%1)").arg(newKey));
        both(table + QStringLiteral("SearchUpdate"), QStringLiteral("AFTER UPDATE ON ") + table, QString(),
             remove(oldKey) + QLatin1Char(' ') + insert, QStringLiteral("VALUES (%1), (%2)").arg(oldKey, newKey));
        both(table + QStringLiteral("SearchDelete"), QStringLiteral("AFTER DELETE ON ") + table, QString(),
             remove(oldKey), QStringLiteral("VALUES (%1)").arg(oldKey));
    }
    if (shape.imap) {
        // A header fetched again replaces its row under a new rowid: the old
        // row's entry goes at once, held or not. Only then: a statement on
        // the index costs even when it finds nothing, and a first sync
        // writes thousands of rows.
        const QString oldRow = QStringLiteral("FROM tblImapMessage WHERE Folder = new.Folder AND Uid = new.Uid");
        sql += QStringLiteral("CREATE TRIGGER tblImapMessageSearchBefore BEFORE INSERT ON tblImapMessage WHEN EXISTS "
                              "(SELECT 1 %1) BEGIN DELETE FROM tblSearch WHERE rowid IN (SELECT rowid * %2 + %3 %1); "
                              "END;\n")
                   .arg(oldRow)
                   .arg(kStride)
                   .arg(int(Imap));
        const QString newKey = entryKey("rowid", Imap, QStringLiteral("new."));
        const QString oldKey = entryKey("rowid", Imap, QStringLiteral("old."));
        both(
            QStringLiteral("tblImapMessageSearchInsert"), QStringLiteral("AFTER INSERT ON tblImapMessage"), QString(),
            putEntries(newKey, kImapTitle.arg(QStringLiteral("new.")), kImapBody.arg(QStringLiteral("new.")), QString())
                + QLatin1Char(';'),
            QStringLiteral("VALUES (%1)").arg(newKey));
        both(QStringLiteral("tblImapMessageSearchDelete"), QStringLiteral("AFTER DELETE ON tblImapMessage"), QString(),
             remove(oldKey), QStringLiteral("VALUES (%1)").arg(oldKey));
    }
    if (shape.kept) {
        // The contact a card belongs to is put again whenever its card or its link changes.
        const Followed& contact = tables.front();
        const auto again = [&](const QString& key) {
            return putRow(contact, QStringLiteral("tblAddress."),
                          QStringLiteral("FROM tblAddress WHERE Org_ID = %1").arg(key))
                   + QLatin1Char(';');
        };
        const auto byCard = [&](const char* row) {
            return QStringLiteral("(SELECT LocalKey FROM tblSyncMap WHERE Kind = %1.Kind AND UID = %1.UID)")
                .arg(QLatin1String(row));
        };
        const auto contactOf = [&](const QString& key) {
            return QStringLiteral("SELECT %1 WHERE %2 IS NOT NULL").arg(entryKey("", Contact, key), key);
        };
        both(QStringLiteral("tblSyncKeptSearchInsert"), QStringLiteral("AFTER INSERT ON tblSyncKept"),
             QStringLiteral("new.Kind = 'contact'"), again(byCard("new")), contactOf(byCard("new")));
        both(QStringLiteral("tblSyncKeptSearchUpdate"), QStringLiteral("AFTER UPDATE ON tblSyncKept"),
             QStringLiteral("new.Kind = 'contact'"), again(byCard("new")), contactOf(byCard("new")));
        both(QStringLiteral("tblSyncKeptSearchDelete"), QStringLiteral("AFTER DELETE ON tblSyncKept"),
             QStringLiteral("old.Kind = 'contact'"), again(byCard("old")), contactOf(byCard("old")));
        // A link without a kept card's more adds nothing to the entry the row made
        // (an export giving every contact its UID would put each entry again).
        both(QStringLiteral("tblSyncMapSearchInsert"), QStringLiteral("AFTER INSERT ON tblSyncMap"),
             QStringLiteral("new.Kind = 'contact' AND EXISTS (SELECT 1 FROM tblSyncKept WHERE Kind = new.Kind AND "
                            "UID = new.UID AND More <> '')"),
             again(QStringLiteral("new.LocalKey")), contactOf(QStringLiteral("new.LocalKey")));
        both(QStringLiteral("tblSyncMapSearchUpdate"), QStringLiteral("AFTER UPDATE ON tblSyncMap"),
             QStringLiteral("new.Kind = 'contact'"),
             again(QStringLiteral("old.LocalKey")) + QLatin1Char(' ') + again(QStringLiteral("new.LocalKey")),
             contactOf(QStringLiteral("old.LocalKey")) + QStringLiteral(" UNION ")
                 + contactOf(QStringLiteral("new.LocalKey")));
        both(QStringLiteral("tblSyncMapSearchDelete"), QStringLiteral("AFTER DELETE ON tblSyncMap"),
             QStringLiteral("old.Kind = 'contact'"), again(QStringLiteral("old.LocalKey")),
             contactOf(QStringLiteral("old.LocalKey")));
    }
    return sql;
}

bool hasTrigger(sqlite3* db, const char* name)
{
    return hasTable(db, name);
}

// Whether the store's trigger `name` is the one `sql` creates (one an
// older version wrote is not).
bool asWritten(sqlite3* db, const QString& sql, const char* name)
{
    const qsizetype at = sql.indexOf(QStringLiteral("CREATE TRIGGER %1 ").arg(QLatin1String(name)));
    const qsizetype end = sql.indexOf(QLatin1String("END;\n"), at);
    IndexStatement s(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?"));
    return at >= 0 && end > at && s.bind(1, QString::fromLatin1(name)).step()
           && s.text(0) == QStringView(sql).mid(at, end + 3 - at);
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
    return hasTable(db, "tblMailbox") || hasTable(db, "tblSearchNote") || hasTable(db, "tblImapMessage");
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

void create(sqlite3* db)
{
    const int version = holdsRecords(db) ? 0 : SearchIndex::kVersion;
    const QString sql =
        QStringLiteral(
            "DROP TABLE IF EXISTS tblSearch;\n"
            "DROP TABLE IF EXISTS tblSearchVersion;\n"
            // Folded: the text as fold() makes it, where that changes it.
            "CREATE VIRTUAL TABLE tblSearch USING fts5(Title, Body, Folded, "
            "tokenize = \"unicode61 remove_diacritics 2\", prefix = '2 3 4 5 6');\n"
            // 0 until a rebuild has put every record in.
            "CREATE TABLE tblSearchVersion (Version INTEGER NOT NULL);\n"
            "INSERT INTO tblSearchVersion VALUES (%1);\n"
            // The notes indexed, with the time their file was changed:
            // kept when the index is made anew, the one list of them.
            "CREATE TABLE IF NOT EXISTS tblSearchNote (Note_ID INTEGER PRIMARY KEY, Path TEXT NOT NULL UNIQUE, "
            "MTime INTEGER NOT NULL);\n")
            .arg(version);
    transaction(db, [&] { exec(db, sql + triggers(shapeOf(db))); });
}

void put(sqlite3* db, qint64 rowid, const QString& title, const QString& body)
{
    const QString text = title + QLatin1Char(' ') + body;
    const QString folded = SearchIndex::fold(text);
    IndexStatement(db, QStringLiteral("INSERT OR REPLACE INTO tblSearch (rowid, Title, Body, Folded) "
                                      "VALUES (?, ?, ?, ?)"))
        .bind(1, rowid)
        .bind(2, title)
        .bind(3, body)
        .bind(4, folded == text ? QString() : folded)
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
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearch WHERE rowid = ?")).bind(1, id * kStride + Note).step();
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearchNote WHERE Note_ID = ?")).bind(1, id).step();
}

// The title with the stored date it begins with written as `shown`; a mark
// begun inside the date goes on after it.
QString retitled(const QString& title, const QString& stored, const QString& shown)
{
    qsizetype i = 0, plain = 0;
    bool open = false;
    QString prefix;
    for (; i < title.size() && plain < stored.size(); ++i) {
        if (title[i] == SearchIndex::kMarkOpen) {
            open = true;
        } else if (title[i] == SearchIndex::kMarkClose) {
            open = false;
        } else {
            prefix += title[i];
            ++plain;
        }
    }
    if (stored.isEmpty() || prefix != stored)
        return title;
    if (open && i < title.size() && title[i] == SearchIndex::kMarkClose) {
        open = false;
        ++i;
    }
    return shown + (open ? QString(SearchIndex::kMarkOpen) : QString()) + title.mid(i);
}

// How well an entry matches: bm25 with every typed word weighed alike
// (FTS5's own bm25 first counts the entries of each word, every one of
// them, which a common word makes the larger part of a search), a word in
// the title four times one in the text; higher is better.
void matchQuality(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* out, int, sqlite3_value**)
{
    constexpr double k1 = 1.2, b = 0.75;
    const int phrases = api->xPhraseCount(fts);
    std::vector<double> frequency(size_t(std::max(phrases, 0)));
    // Each word's places in this entry, read from its own list (no array
    // of them all in order, which the score does not need).
    for (int phrase = 0; phrase < phrases; ++phrase) {
        Fts5PhraseIter at;
        int column = 0, offset = 0;
        if (api->xPhraseFirst(fts, phrase, &at, &column, &offset) != SQLITE_OK)
            return sqlite3_result_null(out);
        for (; column >= 0; api->xPhraseNext(fts, &at, &column, &offset))
            frequency[size_t(phrase)] += column == 0 ? 4.0 : 1.0;
    }
    sqlite3_int64 rows = 0, tokens = 0;
    int length = 0;
    api->xRowCount(fts, &rows);
    api->xColumnTotalSize(fts, -1, &tokens);
    api->xColumnSize(fts, -1, &length);
    const double average = rows > 0 && tokens > 0 ? double(tokens) / double(rows) : 1.0;
    double score = 0;
    for (const double f : frequency)
        score += f * (k1 + 1) / (f + k1 * (1 - b + b * length / average));
    sqlite3_result_double(out, score);
}

// matchQuality() as the SQL function quality(tblSearch), on this connection.
void addQuality(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(st, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
    if (!api || api->xCreateFunction(api, "quality", nullptr, matchQuality, nullptr) != SQLITE_OK)
        throw StoreError(kTrouble.arg(QStringLiteral("no ranking function")));
}

// One matching entry while the hits are chosen.
struct Ranked {
    qint64 rowid = 0;
    qint64 order = 0;  // lower first
    QDate date;
    QString dateValue;
    QString title, snippet;  // with marks, when read in the first pass
    bool read = false;
};

}  // namespace

QString SearchIndex::fold(const QString& text)
{
    // One pass over the text; most has none of these letters and comes back as it was.
    const auto plainOf = [](QChar c) -> const QLatin1StringView* {
        if (c.unicode() < u'Æ')
            return nullptr;
        for (const auto& fold : kFolds)
            if (fold.first.front() == c)
                return &fold.second;
        return nullptr;
    };
    qsizetype i = 0;
    while (i < text.size() && !plainOf(text[i]))
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    out.reserve(text.size() + 16);
    for (; i < text.size(); ++i) {
        if (const QLatin1StringView* plain = plainOf(text[i]))
            out += *plain;
        else
            out += text[i];
    }
    return out;
}

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
    if (sqlite3_db_readonly(db, "main") == 1)
        return false;
    if (version != 0 && version != kVersion)
        create(db);
    else
        follow(db);
    return storedVersion(db) != kVersion;
}

void SearchIndex::follow(sqlite3* db)
{
    if (!hasTable(db, "tblSearch") || sqlite3_db_readonly(db, "main") == 1)
        return;
    const Shape shape = shapeOf(db);
    const QString sql = triggers(shape);
    if (asWritten(db, sql, "tblAddressSearchInsertHeld")
        && shape.imap == hasTrigger(db, "tblImapMessageSearchInsertHeld")
        && (!shape.imap || asWritten(db, sql, "tblImapMessageSearchBefore"))
        && shape.kept == hasTrigger(db, "tblSyncKeptSearchInsert")
        && (!shape.kept || asWritten(db, sql, "tblSyncMapSearchInsert")))
        return;
    transaction(db, [&] { exec(db, sql); });
}

void SearchIndex::holdEntries(sqlite3* db)
{
    if (hasTable(db, "tblSearchHeld"))
        exec(db, QStringLiteral("INSERT OR IGNORE INTO tblSearchHeld (Entry) VALUES (-1)"));
}

namespace {

// Puts the entries of the held notes that `among` (a condition on Entry)
// picks, and takes those notes away.
void putHeld(sqlite3* db, const QString& among)
{
    exec(db,
         QStringLiteral("DELETE FROM tblSearch WHERE rowid IN (SELECT Entry FROM tblSearchHeld WHERE %1)").arg(among));
    // The IMAP headers too: their triggers differ, their entries are made alike.
    const Shape shape = shapeOf(db);
    std::vector<Followed> tables = followed(shape);
    if (shape.imap)
        tables.push_back({"tblImapMessage", "rowid", Imap, kImapTitle, kImapBody});
    for (const Followed& f : tables) {
        const QString table = QString::fromLatin1(f.table);
        const QString rows =
            QStringLiteral("FROM %1 WHERE %2 IN (SELECT Entry / %3 FROM tblSearchHeld WHERE Entry % %3 = %4 AND %5)")
                .arg(table, QString::fromLatin1(f.key))
                .arg(kStride)
                .arg(int(f.code))
                .arg(among);
        exec(db, putRow(f, table + QLatin1Char('.'), rows));
    }
    exec(db, QStringLiteral("DELETE FROM tblSearchHeld WHERE %1").arg(among));
}

}  // namespace

void SearchIndex::putHeldEntries(sqlite3* db)
{
    if (hasTable(db, "tblSearchHeld"))
        putHeld(db, QStringLiteral("1"));
}

void SearchIndex::leaveHeldEntries(sqlite3* db)
{
    if (hasTable(db, "tblSearchHeld"))
        exec(db, QStringLiteral("DELETE FROM tblSearchHeld WHERE Entry = -1"));
}

bool SearchIndex::putLeftEntries(sqlite3* db)
{
    if (!hasTable(db, "tblSearchHeld") || !IndexStatement(db, QStringLiteral("SELECT 1 FROM tblSearchHeld")).step())
        return false;
    // A slice a transaction: another writer waits for one slice at most.
    for (bool more = true; more;) {
        transaction(db, [&] {
            IndexStatement last(db, QStringLiteral("SELECT max(Entry) FROM (SELECT Entry FROM tblSearchHeld WHERE "
                                                   "Entry >= 0 ORDER BY Entry LIMIT %1)")
                                        .arg(kSlice));
            more = last.step() && !last.isNull(0);
            if (more)
                putHeld(db, QStringLiteral("Entry BETWEEN 0 AND %1").arg(last.integer(0)));
            else  // all that can be left: the mark of a writer that committed holding
                exec(db, QStringLiteral("DELETE FROM tblSearchHeld"));
        });
    }
    return true;
}

SearchIndex::Found SearchIndex::find(sqlite3* db, const QString& typed, const Dating& dating)
{
    Found found;
    const QString match = matchQuery(fold(typed));
    if (match.isEmpty())
        return found;
    // A word of one letter has no prefix list: each lookup of it merges the
    // lists of all the words it begins. Its hits are the first kMostHits,
    // read with their text in the one pass.
    static const QRegularExpression oneLetter(QStringLiteral("(^| )\"[^\"]\"\\*"));
    const bool letterOnly = match.contains(oneLetter);
    // One pass over the first matches, counted: beside each, how well it
    // matches (of the first kMostRanked of other kinds than appointments; a
    // word in the title counts four times one in the text), an
    // appointment's stored day and whether it repeats, and for a word of
    // one letter the text.
    const QString sql =
        QStringLiteral("SELECT s.rowid, %1, o.DateValue, EXISTS (SELECT 1 FROM tblOrginizeSeries r WHERE "
                       "r.OrgRow = o.OrgRow) FROM tblSearch s LEFT JOIN tblOrginize o ON s.rowid % ?2 = ?3 AND "
                       "o.OrgRow = s.rowid / ?2 WHERE tblSearch MATCH ?1 LIMIT ?4")
            .arg(letterOnly ? QStringLiteral("highlight(tblSearch, 0, ?5, ?6), snippet(tblSearch, 1, ?5, ?6, '...', "
                                             "12), NULL")
                            : QStringLiteral("NULL, NULL, CASE WHEN s.rowid % ?2 <> ?3 THEN "
                                             "CAST(quality(tblSearch) * -1e9 AS INTEGER) END"));
    std::optional<IndexStatement> scanning;
    try {
        scanning.emplace(db, sql);
    } catch (const StoreError&) {
        if (letterOnly)
            throw;
        addQuality(db);  // once on each connection
        scanning.emplace(db, sql);
    }
    IndexStatement& scan = *scanning;
    scan.bind(1, match)
        .bind(2, qint64(kStride))
        .bind(3, qint64(Appointment))
        .bind(4, qint64(letterOnly ? kMostHits : kMostCounted + 1));
    if (letterOnly)
        scan.bind(5, QString(kMarkOpen)).bind(6, QString(kMarkClose));
    std::array<std::vector<Ranked>, kKinds> byKind;
    qint64 scanned = 0, ranked = 0;
    while (scan.step()) {
        ++scanned;
        const qint64 rowid = scan.integer(0);
        const int code = int(rowid % kStride);
        // Past the first kMostRanked of them, the others are not ranked.
        const bool rankedHere = !letterOnly && code != Appointment && ranked++ < kMostRanked;
        Ranked r{rowid,
                 rankedHere ? scan.integer(3) : std::numeric_limits<qint64>::max(),
                 {},
                 {},
                 scan.text(1),
                 scan.text(2),
                 !scan.isNull(1)};
        if (code > Task)
            continue;  // no record makes such an entry
        if (code == Appointment && !scan.isNull(4)) {
            r.dateValue = scan.text(4);
            if (dating.parse)
                r.date = dating.parse(r.dateValue).value_or(QDate());
            if (scan.integer(5) != 0 && dating.occurrence)
                if (const std::optional<QDate> next = dating.occurrence(r.rowid / kStride))
                    r.date = *next;
            // The nearest first; of two as near, the one to come.
            r.order = r.date.isValid() && dating.today.isValid()
                          ? std::abs(dating.today.daysTo(r.date)) * 2 + (r.date < dating.today ? 1 : 0)
                          : std::numeric_limits<qint64>::max();
        }
        byKind[code == Imap ? int(Kind::Mail) : code == Task ? int(Kind::Task) : code].push_back(std::move(r));
    }
    // Counted only so far: past it the number says little, and costs as much as the lists are long.
    found.moreThan = scanned > (letterOnly ? kMostHits - 1 : kMostCounted);
    found.total = std::min<qint64>(scanned, kMostCounted);

    // Each kind takes its turn, so a common word in the mail leaves room for the contacts.
    std::array<size_t, kKinds> taken{};
    for (int picked = 0, kind = 0, idle = 0; picked < kMostHits && idle < kKinds; kind = (kind + 1) % kKinds) {
        auto& list = byKind[size_t(kind)];
        if (taken[size_t(kind)] == 0)
            std::stable_sort(list.begin(), list.end(),
                             [](const Ranked& a, const Ranked& b) { return a.order < b.order; });
        if (taken[size_t(kind)] < list.size()) {
            ++taken[size_t(kind)];
            ++picked;
            idle = 0;
        } else {
            ++idle;
        }
    }

    // The chosen entries' text with their marks, in one pass over the
    // matches up to the last chosen (a rowid in a list, not looked up one by one).
    std::unordered_map<qint64, std::pair<QString, QString>> texts;
    QStringList chosen;
    qint64 last = 0;
    for (size_t kind = 0; kind < kKinds; ++kind)
        for (size_t k = 0; k < taken[kind]; ++k)
            if (const Ranked& r = byKind[kind][k]; !r.read) {
                chosen << QString::number(r.rowid);
                last = std::max(last, r.rowid);
            }
    if (!chosen.isEmpty()) {
        IndexStatement text(db, QStringLiteral("SELECT rowid, highlight(tblSearch, 0, ?2, ?3), "
                                               "snippet(tblSearch, 1, ?2, ?3, '...', 12) FROM tblSearch "
                                               "WHERE tblSearch MATCH ?1 AND rowid <= ?4 AND +rowid IN (%1)")
                                    .arg(chosen.join(QLatin1Char(','))));
        text.bind(1, match).bind(2, QString(kMarkOpen)).bind(3, QString(kMarkClose)).bind(4, last);
        while (text.step())
            texts.emplace(text.integer(0), std::pair{text.text(1), text.text(2)});
    }
    // Where a note, a kept message or one held from IMAP is, each statement
    // made once a search and only when the store has its table.
    std::array<std::optional<IndexStatement>, kStride> where;
    std::array<bool, kStride> made{};
    const auto lookup = [&](int code, qint64 key) -> Statement* {
        if (!made[size_t(code)]) {
            made[size_t(code)] = true;
            QString sql;
            if (code == Note) {
                sql = QStringLiteral("SELECT Path FROM tblSearchNote WHERE Note_ID = ?");
            } else if (code == Mail && hasTable(db, "tblMailbox")) {
                // A store whose mail was not opened since the Sent folder came has received mail only.
                const bool sent = IndexStatement(db, QStringLiteral("SELECT 1 FROM pragma_table_info('tblMailbox') "
                                                                    "WHERE name = 'Folder'"))
                                      .step();
                sql = sent ? QStringLiteral("SELECT MailKey, Folder FROM tblMailbox WHERE rowid = ?")
                           : QStringLiteral("SELECT MailKey, 'Inbox' FROM tblMailbox WHERE rowid = ?");
            } else if (code == Imap && hasTable(db, "tblImapMessage")) {
                sql = QStringLiteral("SELECT Folder, Uid FROM tblImapMessage WHERE rowid = ?");
            }
            if (!sql.isEmpty())
                where[size_t(code)].emplace(db, sql);
        }
        std::optional<IndexStatement>& s = where[size_t(code)];
        if (!s)
            return nullptr;
        s->reset();
        return s->bind(1, key).step() ? &*s : nullptr;
    };
    for (size_t kind = 0; kind < kKinds; ++kind) {
        for (size_t k = 0; k < taken[kind]; ++k) {
            const Ranked& r = byKind[kind][k];
            SearchHit hit;
            hit.kind = Kind(kind);
            hit.key = r.rowid / kStride;
            if (r.read) {
                hit.title = r.title;
                hit.snippet = r.snippet;
            } else if (const auto t = texts.find(r.rowid); t != texts.end()) {
                std::tie(hit.title, hit.snippet) = t->second;
            } else {
                continue;
            }
            const int code = int(r.rowid % kStride);
            bool known = true;
            if (code == Appointment) {
                hit.date = r.date;
                if (r.date.isValid() && dating.text)
                    hit.title = retitled(hit.title, r.dateValue, dating.text(r.date));
            } else if (code == Contact || code == Task) {
            } else if (Statement* s = lookup(code, hit.key); !s) {
                known = false;
            } else if (code == Note) {
                hit.path = s->text(0);
            } else if (code == Mail) {
                hit.mailKey = s->text(0);
                hit.folder = s->bytes(1).toByteArray();
            } else {
                hit.imap = true;
                hit.folder = s->bytes(0).toByteArray();
                hit.mailKey = QString::number(s->integer(1));
            }
            if (known)
                found.hits.push_back(std::move(hit));
        }
    }
    return found;
}

void SearchIndex::putMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject, const QString& text)
{
    put(db, rowid * kStride + Mail, subject, sender + QLatin1Char('\n') + text);
}

void SearchIndex::removeMail(sqlite3* db, qint64 rowid)
{
    IndexStatement(db, QStringLiteral("DELETE FROM tblSearch WHERE rowid = ?")).bind(1, rowid * kStride + Mail).step();
}

void SearchIndex::putImapMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject,
                              const QString& text)
{
    put(db, rowid * kStride + Imap, subject, sender + QLatin1Char('\n') + text);
    // The entry is whole now: a note of it left for later would put less.
    if (hasTable(db, "tblSearchHeld"))
        IndexStatement(db, QStringLiteral("DELETE FROM tblSearchHeld WHERE Entry = ?"))
            .bind(1, rowid * kStride + Imap)
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
    put(db, id * kStride + Note, file.completeBaseName(), plainText);
}

void SearchIndex::rebuild(sqlite3* db, const Sources& sources, const std::function<bool(int)>& progress)
{
    qint64 total = 0, done = 0;
    const Shape shape = shapeOf(db);
    const bool hasMail = hasTable(db, "tblMailbox");
    const auto count = [&](const QString& sql) {
        IndexStatement s(db, sql);
        return s.step() ? s.integer(0) : 0;
    };
    const std::vector<Followed> tables = followed(shape);
    for (const Followed& f : tables)
        total += count(QStringLiteral("SELECT count(*) FROM %1").arg(QString::fromLatin1(f.table)));
    if (hasMail)
        total += count(QStringLiteral("SELECT count(*) FROM tblMailbox WHERE FileName <> ''"));
    if (shape.imap)
        total += count(QStringLiteral("SELECT count(*) FROM tblImapMessage"));
    const auto advance = [&](qint64 rows) {
        done += rows;
        return !progress || progress(total ? int(std::min<qint64>(100, done * 100 / total)) : 100);
    };

    // Every note is read again below, as if its file had changed.
    exec(db, QStringLiteral("DELETE FROM tblSearch; UPDATE tblSearchNote SET MTime = -1"));
    for (const Followed& f : tables) {
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
                IndexStatement(db, putRow(f, table + QLatin1Char('.'),
                                          QStringLiteral("FROM %1 WHERE %2 > ? AND %2 <= ?").arg(table, key)))
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
    // The kept messages, received and sent, and those held from IMAP: each read from its file.
    std::vector<std::tuple<Code, qint64, QString, QString, QString>> mail;
    const auto read = [&](Code code, const QString& sql) {
        IndexStatement rows(db, sql);
        while (rows.step())
            mail.emplace_back(code, rows.integer(0), rows.text(1), rows.text(2), rows.text(3));
    };
    if (hasMail)
        read(Mail, QStringLiteral("SELECT rowid, FileName, Sender, Subject FROM tblMailbox WHERE FileName <> '' "
                                  "ORDER BY rowid"));
    if (shape.imap)
        read(Imap, QStringLiteral("SELECT rowid, coalesce(BodyFile, ''), coalesce(Sender, ''), "
                                  "coalesce(Subject, '') FROM tblImapMessage ORDER BY rowid"));
    for (size_t from = 0; from < mail.size(); from += kSlice / 4) {
        const size_t to = std::min(mail.size(), from + kSlice / 4);
        transaction(db, [&] {
            for (size_t k = from; k < to; ++k) {
                const auto& [code, rowid, file, sender, subject] = mail[k];
                const QString text = sources.mailText && !file.isEmpty() ? sources.mailText(file) : QString();
                put(db, rowid * kStride + code, subject, sender + QLatin1Char('\n') + text);
            }
        });
        if (!advance(qint64(to - from)))
            return;
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
    QSet<QString> known;
    {
        IndexStatement s(db, QStringLiteral("SELECT Note_ID, Path, MTime FROM tblSearchNote"));
        while (s.step()) {
            notes.emplace_back(s.integer(0), s.text(1), s.integer(2));
            known.insert(s.text(1));
        }
    }
    // Notes copied in or written by another program: never saved here, so never indexed.
    if (!sources.noteFolder.isEmpty()) {
        const QFileInfoList files =
            QDir(sources.noteFolder)
                .entryInfoList({QStringLiteral("*.nte"), QStringLiteral("*.rtf"), QStringLiteral("*.txt")},
                               QDir::Files);
        for (const QFileInfo& file : files)
            if (!known.contains(file.absoluteFilePath()))
                notes.emplace_back(-1, file.absoluteFilePath(), -1);
    }
    // A hundred notes a transaction: reading them may take a while, and the
    // window's own writes wait for no more than that.
    for (size_t from = 0; from < notes.size(); from += kSlice / 20) {
        transaction(db, [&] {
            for (size_t k = from; k < std::min(notes.size(), from + kSlice / 20); ++k) {
                const auto& [id, path, mtime] = notes[k];
                // A file that is gone has no time and cannot be read: it is forgotten.
                if (mtimeOf(QFileInfo(path)) != mtime && !indexNoteFile(db, path, sources) && id >= 0)
                    removeNote(db, id);
            }
        });
    }
}
