#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

struct sqlite3;

// One full-text index over contacts, appointments, notes and mail, in a
// table of its own (tblSearch) beside the store's tables. Contacts (with
// what their kept card holds beyond the boxes), appointments and the
// headers of mail held from IMAP follow their tables through triggers, so
// every write (a screen, an import, a sync) updates the index in its own
// transaction; the text of mail and notes is put in by the code that keeps
// them. Each entry's rowid is its record's key times eight plus what it is,
// so an entry is found and replaced by its key alone.
namespace SearchIndex {

enum class Kind { Contact = 0, Appointment = 1, Note = 2, Mail = 3, Task = 4 };
inline constexpr int kKinds = 5;

// Around the matched words in SearchHit::title and SearchHit::snippet.
inline constexpr QChar kMarkOpen = QChar(0x02);
inline constexpr QChar kMarkClose = QChar(0x03);
// Raised when the way entries are made changes: an older index is rebuilt.
inline constexpr int kVersion = 4;
// How much of a message the index reads, whatever its size: its header
// and the first of its text.
inline constexpr qsizetype kIndexedBytes = qsizetype(256) * 1024;
// What one search returns at most.
inline constexpr int kMostHits = 50;

// One hit, with all its screen needs to open it.
struct SearchHit {
    Kind kind = Kind::Contact;
    qint64 key = 0;   // Org_ID, OrgRow, the note's Note_ID, the message's row
    QString title;    // with marks
    QString snippet;  // with marks
    QString path;     // of a note
    QDate date;       // of an appointment: the occurrence the title names
    // Of a message: its MailKey in tblMailbox and the folder ("Inbox",
    // "Sent"); held from IMAP: its UID and the server's folder name.
    QString mailKey;
    QByteArray folder;
    bool imap = false;
};

// The typed text as an FTS5 query that never fails to parse: every word a
// quoted string matched as a prefix, the words ANDed, a "quoted phrase"
// kept whole. Empty when nothing in the text can match.
QString matchQuery(const QString& typed);

// Letters the tokenizer keeps as they are (ł, ø, ß, æ, þ and the like) as
// the plain letters a person types for them; the index holds this form
// beside the text, and the typed words are read in it.
QString fold(const QString& text);

// Creates the index and its triggers when missing, or afresh (empty) when
// its version is old. True when it must be filled by rebuild(). A store
// that cannot be written is left as it is.
bool prepare(sqlite3* db);
// Makes the triggers again when a table the index follows was made since
// (the IMAP messages, the kept cards): called by whoever makes one.
void follow(sqlite3* db);

// A write of many rows in one transaction (an import, a sync) holds the
// entries of the rows it writes and puts them at its end, one statement a
// table: FTS5 writes what it has gathered whenever a statement or a
// savepoint begins, so row by row each row became a piece of index of its
// own, merged again later. holdEntries() after BEGIN; putHeldEntries()
// before COMMIT (a rollback takes both back). A writer that must not wait
// for them (the IMAP cache, on the window's thread) commits without
// putting (leaveHeldEntries() before COMMIT): its entries are left for
// putLeftEntries(), or the next writer that puts its own, or the store's
// next prepare(); other writers meanwhile put theirs at once.
void holdEntries(sqlite3* db);
void putHeldEntries(sqlite3* db);
void leaveHeldEntries(sqlite3* db);
// Puts the entries left for later (and those of a writer that committed
// holding them), a few thousand a transaction; false when there were none.
// Never on the window's thread: on a first sync of thousands of messages
// it takes a good part of a second.
bool putLeftEntries(sqlite3* db);

// How the hits of appointments are dated: the day a stored DateValue
// names, the occurrence of a repeating row to name instead (none: its
// first), and how a date is written in a title. Without them an
// appointment keeps its stored date.
struct Dating {
    QDate today;
    std::function<std::optional<QDate>(const QString& dateValue)> parse;
    std::function<std::optional<QDate>(qint64 row)> occurrence;
    std::function<QString(QDate)> text;
};

struct Found {
    std::vector<SearchHit> hits;  // at most kMostHits, grouped by kind in Kind's order
    qint64 total = 0;             // the entries that match, counted up to a thousand
    bool moreThan = false;        // and more: the count stopped at `total`
};
// Of the first thousand matches in the index's order (fifty for a word of
// one letter), the appointments nearest today first, the rest best matched
// first (bm25, every typed word weighed alike); each kind takes its turn
// until kMostHits are chosen. Throws StoreError.
Found find(sqlite3* db, const QString& typed, const Dating& dating = {});
inline std::vector<SearchHit> search(sqlite3* db, const QString& typed, const Dating& dating = {})
{
    return find(db, typed, dating).hits;
}

// What the index cannot read from the store itself.
struct Sources {
    // The text of a kept message, from its FileName (or BodyFile) in the Maildir.
    std::function<QString(const QString& fileName)> mailText;
    // The plain text of the note file; a null string when it cannot be read.
    std::function<QString(const QString& path)> noteText;
    // Where the notes are kept: files there that no save put in are read too.
    QString noteFolder;
};
// Fills the index from every table, in slices (each its own transaction,
// so the window's writes wait at most one slice), telling `progress` the
// share done (0-100) after each; when it answers false the fill ends there
// and the index stays marked unfilled. Then the version is set. Throws
// StoreError.
void rebuild(sqlite3* db, const Sources& sources, const std::function<bool(int)>& progress = {});
// Indexes again the notes whose files changed since they were indexed,
// forgets those whose files are gone, and reads the note folder's files
// not yet indexed.
void refreshNotes(sqlite3* db, const Sources& sources);

// A kept message, inside the caller's transaction.
void putMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject, const QString& text);
void removeMail(sqlite3* db, qint64 rowid);
// A message held from IMAP whose body was fetched (its headers are followed
// by triggers), by its tblImapMessage rowid.
void putImapMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject, const QString& text);
// A saved note, by its path.
void putNote(sqlite3* db, const QString& path, const QString& plainText);

}  // namespace SearchIndex
