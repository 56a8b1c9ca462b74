#include "sync/SyncSettings.h"

#include <QCoreApplication>
#include <QUrl>

#include <sqlite3.h>

#include "kit/MailSettings.h"
#include "kit/Secrets.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

[[noreturn]] void fail(sqlite3* db)
{
    throw StoreError(failureReason(db));
}

sqlite3* prepared(Connection& con)
{
    sqlite3* db = con.handle();
    if (sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS tblSyncSettings (Name TEXT PRIMARY KEY, Value TEXT NOT NULL)",
                     nullptr, nullptr, nullptr)
        != SQLITE_OK)
        fail(db);
    return db;
}

}  // namespace

QString SyncStore::value(Connection& con, const QString& name)
{
    sqlite3* db = prepared(con);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT Value FROM tblSyncSettings WHERE Name = ?", -1, &st, nullptr) != SQLITE_OK)
        fail(db);
    const QByteArray key = name.toUtf8();
    sqlite3_bind_text(st, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    QString out =
        rc == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) : QString();
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(db);
    return out;
}

void SyncStore::setValue(Connection& con, const QString& name, const QString& value)
{
    sqlite3* db = prepared(con);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO tblSyncSettings (Name, Value) VALUES (?, ?)", -1, &st, nullptr)
        != SQLITE_OK)
        fail(db);
    const QByteArray key = name.toUtf8(), text = value.toUtf8();
    sqlite3_bind_text(st, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        fail(db);
}

const QString SyncStore::kSecret = QStringLiteral("sync");
const QString SyncStore::kOAuthSecret = QStringLiteral("oauth sync");

namespace {
// The column is empty once the keyring holds the password: so are the backups.
void scrubSyncBackups()
{
    scrubBackups(QStringLiteral("tblSyncSettings"),
                 QStringLiteral("UPDATE tblSyncSettings SET Value = '' WHERE Name = 'Password'"));
}
}  // namespace

void SyncStore::keepPassword(Connection& con, const QString& password, QObject* context,
                             std::function<void(const Secrets::Answer&)> done)
{
    const QString store = con.path();
    const auto inTable = [store, password] {
        try {
            Connection own;
            own.Open(store);
            setValue(own, QStringLiteral("Password"), password);
        } catch (const StoreError& error) {
            return error.reason();
        }
        return QString();
    };
    if (Secrets::exists() || password.isEmpty())
        setValue(con, QStringLiteral("Password"), QString());
    if (password.isEmpty()) {
        Secrets::remove(secretKey(con, kSecret));
        return done({Secrets::Outcome::Done, {}});
    }
    keepSecret(con, kSecret, password, context, inTable, [done = std::move(done)](const Secrets::Answer& answer) {
        if (answer.outcome == Secrets::Outcome::Done)
            scrubSyncBackups();
        done(answer);
    });
}

SyncSettings SyncStore::readSettings(Connection& con)
{
    SyncSettings s{value(con, QStringLiteral("Server")), value(con, QStringLiteral("UserName")),
                   value(con, QStringLiteral("Password"))};
    if (value(con, QStringLiteral("SignIn")) == QLatin1String("OAuth2")) {
        s.signIn = SignInKind::OAuth2;
        s.oauth = oauthPreset(oauthProviderKind(value(con, QStringLiteral("Provider"))), OAuthUse::Sync);
        if (s.oauth.kind == OAuthProviderKind::Custom) {
            s.oauth.authorizationUrl = QUrl(value(con, QStringLiteral("AuthorizationUrl")));
            s.oauth.tokenUrl = QUrl(value(con, QStringLiteral("TokenUrl")));
            s.oauth.scope = value(con, QStringLiteral("Scope"));
        }
        if (const QString id = value(con, QStringLiteral("ClientId")); !id.isEmpty())
            s.oauth.clientId = id;
        s.oauth.clientSecret = value(con, QStringLiteral("ClientSecret"));
    }
    if (!s.password.isEmpty() && Secrets::exists()) {
        const QString store = con.path();
        keepSecret(
            con, kSecret, s.password, QCoreApplication::instance(), [] { return QString(); },
            [store](const Secrets::Answer& a) {
                if (a.outcome != Secrets::Outcome::Done)
                    return;
                Connection own;
                if (storeGuard([&] {
                        own.Open(store);
                        sqlite3_exec(own.handle(), "PRAGMA secure_delete=ON", nullptr, nullptr, nullptr);
                        setValue(own, QStringLiteral("Password"), QString());
                    }))
                    scrubSyncBackups();
            });
    }
    return s;
}

void SyncStore::writeSettings(Connection& con, const SyncSettings& settings, QObject* context,
                              std::function<void(const Secrets::Answer&)> done)
{
    setValue(con, QStringLiteral("Server"), settings.server.trimmed());
    setValue(con, QStringLiteral("UserName"), settings.userName.trimmed());
    const bool oauth = settings.signIn == SignInKind::OAuth2;
    const OAuthProvider& p = settings.oauth;
    const bool custom = oauth && p.kind == OAuthProviderKind::Custom;
    setValue(con, QStringLiteral("SignIn"), oauth ? QStringLiteral("OAuth2") : QStringLiteral("password"));
    setValue(con, QStringLiteral("Provider"), oauth ? oauthProviderName(p.kind) : QString());
    setValue(con, QStringLiteral("ClientId"),
             oauth && p.clientId != oauthPreset(p.kind, OAuthUse::Sync).clientId ? p.clientId : QString());
    setValue(con, QStringLiteral("AuthorizationUrl"), custom ? p.authorizationUrl.toString() : QString());
    setValue(con, QStringLiteral("TokenUrl"), custom ? p.tokenUrl.toString() : QString());
    setValue(con, QStringLiteral("Scope"), custom ? p.scope : QString());
    setValue(con, QStringLiteral("ClientSecret"), oauth ? p.clientSecret : QString());
    keepPassword(con, settings.password, context, std::move(done));
}
