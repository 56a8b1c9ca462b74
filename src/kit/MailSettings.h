#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "kit/OAuth2.h"
#include "kit/Secrets.h"

class Connection;
class QObject;
class Recordset;
class StoreError;

// The e-mail settings: one row of tblEmail. The settings screens may have
// left more than one row behind; the last one is what every screen uses.
//
// The mailbox password lives in the desktop's keyring when there is one, and
// the row's Password column then holds nothing; without a keyring the column
// holds it, as it always did. A password found in its column while a keyring
// exists moves there. A keyring that exists is never bypassed: when it
// refuses, the password is not kept, and the next use asks for it.
// Where mail is fetched from: a POP3 mailbox (what every older setting is) or
// an IMAP account, whose folders stay on the server.
enum class IncomingKind { Pop3, Imap };
// How the mailbox user signs in: with the password, or through OAuth2 (the
// only way Google and Microsoft accounts still take).
enum class SignInKind { Password, OAuth2 };

struct MailSettings {
    qint64 key = 0;      // EmailInfo; for an account beside the first, its key (as `account`)
    qint64 account = 0;  // 0: the first account (tblEmail); else the account's key in tblEmailAccount (MailAccounts)
    QString smtp;        // outgoing server
    QString yourEmail;   // the sender's address
    QString remote;      // POP3 server
    QString userName;    // mailbox user name, also the SMTP login
    QString password;    // the column's: empty when it is in the keyring (readSecret "mail <key>")
    // Files go as MIME parts rather than uuencoded in the text. Kept beside
    // the row, in tblEmailAttachments: tblEmail keeps its own columns.
    bool mimeAttachments = false;
    // Kept beside the row too, in tblEmailIncoming.
    IncomingKind incoming = IncomingKind::Pop3;
    // Kept beside the row too, in tblEmailSignIn; a store without it signs in with the password.
    SignInKind signIn = SignInKind::Password;
    OAuthProvider oauth;  // with OAuth2: the provider, its client ID (a preset's endpoints and scope)
};

// Keeps row `key`'s choice of attachment form. Throws StoreError.
void saveAttachmentForm(Connection& con, qint64 key, bool mimeAttachments);

// The most one fetched message may hold, in MB, for every account, POP3
// and IMAP alike: kept in a table of its own (tblEmailMessageLimit, one
// row); a store that never kept one takes the default.
constexpr int kDefaultMessageLimitMB = 64;
constexpr int kMostMessageLimitMB = 1024;
int messageLimitMB(Connection& con);
qsizetype messageLimitOctets(Connection& con);
// Throws StoreError.
void saveMessageLimit(Connection& con, int megabytes);

// Keeps row `key`'s kind of incoming server ("POP3" or "IMAP"). Throws StoreError.
void saveIncomingKind(Connection& con, qint64 key, IncomingKind kind);

// A provider as the settings keep it: name, client ID (empty: the build's),
// and for a custom one its authorization and token endpoints and scope.
OAuthProvider storedProvider(const QStringList& kept);
QStringList providerToKeep(const OAuthProvider& provider);

// Keeps row `key`'s way of signing in: for a preset provider its kind and
// client ID, for a custom one its endpoints and scope too. Throws StoreError.
void saveSignIn(Connection& con, qint64 key, SignInKind kind, const OAuthProvider& provider);

// The OAuth2 sign-in of the account `settings` (made once a run, per store
// and row): its refresh token is read from the keyring (the secret
// oauthSecret(key)) at the first request and kept there as it changes;
// without a keyring it lives for this run only. Never in the store.
OAuthSignIn& accountSignIn(Connection& con, const MailSettings& settings);
// The same for any sign-in whose refresh token is the keyring's `secret`
// (a secretKey()) and whose user is `account`.
OAuthSignIn& keptSignIn(const QString& secret, const QString& account, const OAuthProvider& provider);
QString oauthSecret(qint64 key);
// The names of an account's refresh token and password among the store's
// secrets: the first account's by its tblEmail row, as ever; the others'
// by the account ("oauth account 2", "mail account 2").
QString oauthSecret(const MailSettings& settings);
QString mailSecret(const MailSettings& settings);

// The last row of tblEmail, or nothing when there is none. Each store
// failure goes to `report` (the screen's reportStoreError); one in the read
// also gives nothing.
std::optional<MailSettings> readMailSettings(Connection& con, const std::function<void(const StoreError&)>& report);

// The name of the mailbox password of row `key` among the store's secrets.
QString mailSecret(qint64 key);

// Keeps `password` as row `key`'s: in the keyring, or, without one, in the
// column. `done` tells where it went, on `context`'s thread.
void keepMailPassword(Connection& con, qint64 key, const QString& password, QObject* context,
                      std::function<void(const Secrets::Answer&)> done);

// Saves the row `rs` stands on (Update) with `password` as its mailbox
// password, which goes to the keyring when there is one. `done` tells, on
// `context`'s thread, where it went. Throws StoreError as Update does.
void saveMailRow(Connection& con, Recordset& rs, const QString& password, QObject* context,
                 std::function<void(const Secrets::Answer&)> done);

// The keyring entry of the secret `name` ("mail 3", "sync") of the database
// `con` has open: named by an identity written once into the store
// (tblStoreId), not by where the file lies, so a moved or copied folder, or a
// restored backup, finds its secrets, and two stores never share one.
QString secretKey(Connection& con, const QString& name);
// Reads such a secret. An entry of an older version, named by the file's
// path, is found once and stored again under the identity.
void readSecret(Connection& con, const QString& name, QObject* context, const Secrets::Done& done);
Secrets::Answer readSecretNow(Connection& con, const QString& name);  // the command line's
// Once the keyring holds a password its column held: the copies in the
// backup folder are rewritten without it (`blank`, an UPDATE of `table`),
// on a thread of the pool. A copy that cannot be rewritten is reported
// (reportStoreError) on the application's thread.
void scrubBackups(const QString& table, const QString& blank);
// Stores it, or, without a keyring, writes the column through `keepInColumn`
// (called on `context`'s thread), as before keyrings. `keepInColumn` returns
// why it failed (empty when done); `done` hears it as Failed.
void keepSecret(Connection& con, const QString& name, const QString& value, QObject* context,
                std::function<QString()> keepInColumn, std::function<void(const Secrets::Answer&)> done);
