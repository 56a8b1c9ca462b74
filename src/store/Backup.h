#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Copies of the database file kept beside it, and the health check that
// decides whether the file can still be trusted.
namespace Backup {

// How many daily copies are kept.
constexpr int kKept = 7;

// Why the database file at `path` cannot be used (it cannot be opened, it
// fails SQLite's quick check, or it lacks the program's tables); empty when
// it is sound. The file is only read.
QString problem(const QString& path);

// Copies the database `from` into the new file `to` with SQLite's online
// backup, readable by the owner only. The copy is written beside `to` first
// and renamed over it when complete. Throws StoreError.
void copy(const QString& from, const QString& to);

// The backups in `folder`, oldest first.
QStringList backups(const QString& folder);

// Once a day: copies `store` into `folder` as the copy of `today` (unless
// that exists) and removes the oldest copies beyond kKept. Returns the path
// of the copy written, or an empty string when there already was one.
// Throws StoreError.
QString daily(const QString& store, const QString& folder, QDate today);

// The name, beside `store`, that putAside() would give it today.
QString asideName(const QString& store, QDate today);

// Renames the damaged file `store` (and its journal) to a name carrying
// `today` that no file has yet; returns the new path. Throws StoreError.
QString putAside(const QString& store, QDate today);

}  // namespace Backup
