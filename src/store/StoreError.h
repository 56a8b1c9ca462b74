#pragma once

#include <stdexcept>
#include <string>

#include <QString>

struct sqlite3;

// Every failure of the record store surfaces as this one type, carrying a
// sentence a person can read in a message box.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& reason)
        : std::runtime_error(reason.toStdString())
    {
    }
    QString reason() const { return QString::fromStdString(what()); }
};

// Runs `write`; a refusal throws StoreError saying "<what> could not be
// written: <reason>." (as a record set's write does), so the user is told
// which table refused.
template <class Write>
auto refusedAs(const QString& what, Write write) -> decltype(write())
{
    try {
        return write();
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("%1 could not be written: %2.").arg(what, e.reason()));
    }
}

// The reason of the last failure on `db` (or SQLite's `message` for it) as a
// person should read it. A full disk says so, whichever way SQLite met it: as
// "database or disk is full", or as an I/O error of a file that could not
// grow (the write-ahead log's shared memory on a full disk).
QString failureReason(sqlite3* db, const char* message = nullptr);
// Whether the last failure on `db` was the disk being full.
bool diskIsFull(sqlite3* db);
