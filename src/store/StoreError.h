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

// The reason of the last failure on `db` (or SQLite's `message` for it) as a
// person should read it. A full disk says so, whichever way SQLite met it: as
// "database or disk is full", or as an I/O error of a file that could not
// grow (the write-ahead log's shared memory on a full disk).
QString failureReason(sqlite3* db, const char* message = nullptr);
// Whether the last failure on `db` was the disk being full.
bool diskIsFull(sqlite3* db);
