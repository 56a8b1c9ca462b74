#pragma once

#include <QString>

#include <functional>
#include <utility>

#include "kit/MailSettings.h"
#include "kit/Secrets.h"

class Connection;
class QObject;

// Where the address book and the day planner are synced to, and what the
// last sync left to remember, in a small table of the sync's own
// (tblSyncSettings, a name and a value a row), created when first needed.
struct SyncSettings {
    SyncSettings() = default;
    SyncSettings(QString server, QString userName, QString password)
        : server(std::move(server))
        , userName(std::move(userName))
        , password(std::move(password))
    {
    }
    QString server;  // address of the CardDAV/CalDAV server, e.g. https://dav.example.org/
    QString userName;
    QString password;  // the table's: empty when it is in the keyring (readSecret "sync")
    // With OAuth2 the server takes a bearer token instead of the password:
    // the provider is kept in the table, its refresh token in the keyring
    // ("oauth sync"), and the access token is handed to the sync, never kept.
    SignInKind signIn = SignInKind::Password;
    OAuthProvider oauth;
    QString accessToken;
};

namespace SyncStore {
// The name of the password among the store's secrets (kit/MailSettings.h).
extern const QString kSecret;
// The refresh token of an OAuth2 sign-in among them.
extern const QString kOAuthSecret;
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
