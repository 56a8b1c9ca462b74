#include "sync/SyncSettings.h"

#include <sqlite3.h>

#include "kit/MailSettings.h"
#include "kit/Secrets.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

[[noreturn]] void fail(sqlite3* db)
{
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(db)));
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

// The password lives in the desktop's keyring when one answers (a clear one
// left in the table moves there), else in the table.
QString SyncStore::readPassword(Connection& con)
{
    QString stored = value(con, QStringLiteral("Password"));
    if (!stored.isEmpty()) {
        if (Secrets::write(secretKey(con, QStringLiteral("sync")), stored))
            setValue(con, QStringLiteral("Password"), QString());
        return stored;
    }
    return Secrets::read(secretKey(con, QStringLiteral("sync"))).value_or(QString());
}

void SyncStore::writePassword(Connection& con, const QString& password)
{
    const bool inKeyring = Secrets::write(secretKey(con, QStringLiteral("sync")), password);
    setValue(con, QStringLiteral("Password"), inKeyring ? QString() : password);
}

SyncSettings SyncStore::readSettings(Connection& con, const std::optional<QString>& password)
{
    return {value(con, QStringLiteral("Server")), value(con, QStringLiteral("UserName")),
            password ? *password : readPassword(con)};
}

void SyncStore::writeSettings(Connection& con, const SyncSettings& settings)
{
    setValue(con, QStringLiteral("Server"), settings.server.trimmed());
    setValue(con, QStringLiteral("UserName"), settings.userName.trimmed());
    writePassword(con, settings.password);
}
