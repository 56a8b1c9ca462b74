#pragma once

#include <QString>

#include <optional>

class Connection;

// Where the address book and the day planner are synced to, and what the
// last sync left to remember, in a small table of the sync's own
// (tblSyncSettings, a name and a value a row), created when first needed.
struct SyncSettings {
    QString server;  // address of the CardDAV/CalDAV server, e.g. https://dav.example.org/
    QString userName;
    QString password;
};

namespace SyncStore {
// Both throw StoreError.
// A password given is used instead of the stored one.
SyncSettings readSettings(Connection& con, const std::optional<QString>& password = {});
void writeSettings(Connection& con, const SyncSettings& settings);
// The password alone: the one place it is read and written.
QString readPassword(Connection& con);
void writePassword(Connection& con, const QString& password);
// The sync's own state (collection addresses, sync tokens).
QString value(Connection& con, const QString& name);
void setValue(Connection& con, const QString& name, const QString& value);
}  // namespace SyncStore
