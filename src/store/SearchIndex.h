#pragma once

#include <functional>
#include <vector>

#include <QString>

struct sqlite3;

// One full-text index over contacts, appointments, notes and mail, in a
// table of its own (tblSearch) beside the store's tables. Contacts and
// appointments follow their tables through triggers, so every write (a
// screen, an import, a sync) updates the index in its own transaction;
// mail and notes are put in by the code that keeps them. Each entry's rowid
// is its record's key times four plus its kind, so an entry is found and
// replaced by its key alone.
namespace SearchIndex {

enum class Kind { Contact = 0, Appointment = 1, Note = 2, Mail = 3 };

// Around the matched words in SearchHit::title and SearchHit::snippet.
inline constexpr QChar kMarkOpen = QChar(0x02);
inline constexpr QChar kMarkClose = QChar(0x03);
// Raised when the way entries are made changes: an older index is rebuilt.
inline constexpr int kVersion = 2;
// What one search returns at most.
inline constexpr int kMostHits = 50;

struct SearchHit {
    Kind kind = Kind::Contact;
    qint64 key = 0;   // Org_ID, OrgRow, the note's Note_ID, tblMailbox's rowid
    QString title;    // with marks
    QString snippet;  // with marks
    QString path;     // of a note
};

// The typed text as an FTS5 query that never fails to parse: every word a
// quoted string matched as a prefix, the words ANDed, a "quoted phrase"
// kept whole. Empty when nothing in the text can match.
QString matchQuery(const QString& typed);

// Creates the index and its triggers when missing, or afresh (empty) when
// its version is old. True when it must be filled by rebuild(). A store
// that cannot be written is left as it is.
bool prepare(sqlite3* db);

// The first kMostHits entries matching the typed text, grouped by kind in
// Kind's order. Throws StoreError.
std::vector<SearchHit> search(sqlite3* db, const QString& typed);

// What the index cannot read from the store itself.
struct Sources {
    // The text of a kept message, from its tblMailbox FileName.
    std::function<QString(const QString& fileName)> mailText;
    // The plain text of the note file; a null string when it cannot be read.
    std::function<QString(const QString& path)> noteText;
};
// Fills the index from every table, in slices (each its own transaction,
// so the window's writes wait at most one slice), telling `progress` the
// share done (0-100) after each; when it answers false the fill ends there
// and the index stays marked unfilled. Then the version is set. Throws
// StoreError.
void rebuild(sqlite3* db, const Sources& sources, const std::function<bool(int)>& progress = {});
// Indexes again the notes whose files changed since they were indexed,
// and forgets those whose files are gone.
void refreshNotes(sqlite3* db, const Sources& sources);

// A kept message, inside the caller's transaction.
void putMail(sqlite3* db, qint64 rowid, const QString& sender, const QString& subject, const QString& text);
void removeMail(sqlite3* db, qint64 rowid);
// A saved note, by its path.
void putNote(sqlite3* db, const QString& path, const QString& plainText);

}  // namespace SearchIndex
