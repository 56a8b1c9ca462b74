#pragma once

#include <QString>

#include <functional>

#include "kit/Secrets.h"

class Connection;
class QObject;

// Where the address book and the day planner are synced to, and what the
// last sync left to remember, in a small table of the sync's own
// (tblSyncSettings, a name and a value a row), created when first needed.
struct SyncSettings {
    QString server;  // address of the CardDAV/CalDAV server, e.g. https://dav.example.org/
    QString userName;
    QString password;  // the table's: empty when it is in the keyring (readSecret "sync")
};

namespace SyncStore {
// The name of the password among the store's secrets (kit/MailSettings.h).
extern const QString kSecret;
// Both throw StoreError. The password lives in the keyring when there is
// one (a clear one left in the table moves there), else in the table; a
// keyring that exists is never bypassed. `done` tells where it went.
SyncSettings readSettings(Connection& con);
void writeSettings(Connection& con, const SyncSettings& settings, QObject* context,
                   std::function<void(const Secrets::Answer&)> done);
void keepPassword(Connection& con, const QString& password, QObject* context,
                  std::function<void(const Secrets::Answer&)> done);
// The sync's own state (collection addresses, sync tokens).
QString value(Connection& con, const QString& name);
void setValue(Connection& con, const QString& name, const QString& value);
}  // namespace SyncStore
