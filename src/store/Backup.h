#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Copies of the database file kept beside it, and the health check that
// decides whether the file can still be trusted.
namespace Backup {

// How many daily copies are kept.
constexpr int kKept = 7;

// How far problem() looks: Open opens the file, finds the program's tables
// and reads the account (what the login needs, in a few milliseconds at any
// size); Full adds SQLite's quick check of every page.
enum class Check { Open, Full };

// Why the database file at `path` cannot be used (it cannot be opened, it
// lacks the program's tables, its account cannot be read, or, with Full, it
// fails SQLite's quick check); empty when it is sound, and when another
// connection held it past a wait of some seconds (busy is not damaged). The
// file is only read.
QString problem(const QString& path, Check check = Check::Full);

// How many records the database at `path` holds in the program's tables;
// -1 when it cannot be read.
qint64 records(const QString& path);

// Copies the database `from` into the new file `to`, readable by the owner
// only. The copy is written afresh (VACUUM INTO), so it holds the records
// and nothing of what the store's free space still keeps of older values.
// It is written beside `to` first and renamed over it when complete.
// Throws StoreError.
void copy(const QString& from, const QString& to);

// Applies `blank` (an UPDATE of `table`; nothing when a copy has no such
// table) to every copy in `folder` and rewrites each so that no page keeps
// the bytes it blanked. Each copy keeps its date. Returns, per copy that
// could not be so changed (one that is read-only), the sentence saying so.
QStringList scrub(const QString& folder, const QString& table, const QString& blank);

// The backups in `folder`, oldest first.
QStringList backups(const QString& folder);

// Once a day: copies `store` into `folder` as the copy of `today` and
// removes the oldest copies beyond kKept. Today's copy is taken again when
// the store has changed since it was taken, unless the store now holds fewer
// records than the copy (a copy is never replaced by an emptier one: the
// first day's copy of the empty store made at setup does not stay the only
// one, and an emptied store never overwrites the copy that could restore it).
// Returns the path of the copy written, or an empty string when none was.
// Throws StoreError.
QString daily(const QString& store, const QString& folder, QDate today);

// The name, beside `store`, that putAside() would give it today.
QString asideName(const QString& store, QDate today);

// Renames the damaged file `store` (and its journal) to a name carrying
// `today` that no file has yet; returns the new path. Throws StoreError.
QString putAside(const QString& store, QDate today);

}  // namespace Backup
