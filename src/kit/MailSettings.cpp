#include "kit/MailSettings.h"

#include <algorithm>

#include <sqlite3.h>

#include <map>

#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include "kit/AppFolder.h"
#include "kit/ConnectionSettings.h"
#include "kit/StoreAccess.h"
#include "kit/Worker.h"
#include "store/Backup.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/Statement.h"

namespace {
const QString kPassword = QStringLiteral("Password");

// The store's identity, made on first use. A store that cannot take it (a
// read-only file of an older version) goes on naming its secrets by path.
QString storeIdentity(Connection& con)
{
    sqlite3* db = con.handle();
    if (!db)
        return QString();
    sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS tblStoreId (Id TEXT NOT NULL)", nullptr, nullptr, nullptr);
    const auto read = [db] {
        QString id;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT Id FROM tblStoreId LIMIT 1", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            id = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return id;
    };
    if (QString id = read(); !id.isEmpty())
        return id;
    // One insert, only into an empty table: two programs starting at once
    // still agree on one identity.
    const QByteArray fresh = QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    sqlite3_exec(
        db,
        ("INSERT INTO tblStoreId (Id) SELECT '" + fresh + "' WHERE NOT EXISTS (SELECT 1 FROM tblStoreId)").constData(),
        nullptr, nullptr, nullptr);
    return read();
}

constexpr const char* kAttachmentTable =
    "CREATE TABLE IF NOT EXISTS tblEmailAttachments (EmailInfo INTEGER PRIMARY KEY, Form TEXT NOT NULL)";
const QString kMimeForm = QStringLiteral("mime");
const QString kAttachmentTrouble =
    QStringLiteral("The attachment form (tblEmailAttachments) could not be read or written: %1");

constexpr const char* kIncomingTable =
    "CREATE TABLE IF NOT EXISTS tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL)";
const QString kImapKind = QStringLiteral("IMAP");
const QString kIncomingTrouble =
    QStringLiteral("The kind of incoming server (tblEmailIncoming) could not be read or written: %1");

// What a table beside tblEmail holds for row `key`; empty when it holds
// nothing or cannot be read, so a store that never kept a choice (an older
// one has not even the table) goes on as it always did: uuencoded, POP3.
QString readBeside(Connection& con, const char* select, qint64 key)
{
    sqlite3_stmt* st = nullptr;
    QString value;
    if (sqlite3_prepare_v2(con.handle(), select, -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(st, 1, key);
        if (sqlite3_step(st) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    return value;
}

constexpr const char* kSignInTable =
    "CREATE TABLE IF NOT EXISTS tblEmailSignIn (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL, Provider TEXT, "
    "ClientId TEXT, AuthorizationUrl TEXT, TokenUrl TEXT, Scope TEXT)";
const QString kSignInTrouble =
    QStringLiteral("The way of signing in (tblEmailSignIn) could not be read or written: %1");
const QString kOAuthKind = QStringLiteral("OAuth2");

// The row's sign-in, when tblEmailSignIn says OAuth2.
std::optional<OAuthProvider> readSignIn(Connection& con, qint64 key)
{
    sqlite3_stmt* st = nullptr;
    std::optional<OAuthProvider> out;
    const auto text = [&st](int column) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column)));
    };
    if (sqlite3_prepare_v2(con.handle(),
                           "SELECT Kind, Provider, ClientId, AuthorizationUrl, TokenUrl, Scope FROM tblEmailSignIn "
                           "WHERE EmailInfo = ?",
                           -1, &st, nullptr)
        == SQLITE_OK) {
        sqlite3_bind_int64(st, 1, key);
        if (sqlite3_step(st) == SQLITE_ROW && text(0) == kOAuthKind)
            out = storedProvider({text(1), text(2), text(3), text(4), text(5)});
    }
    sqlite3_finalize(st);
    return out;
}

}  // namespace

OAuthProvider storedProvider(const QStringList& kept)
{
    const QString provider = kept.value(0);
    OAuthProvider p = oauthPreset(oauthProviderKind(provider));
    if (p.kind == OAuthProviderKind::Custom) {
        p.authorizationUrl = QUrl(kept.value(2));
        p.tokenUrl = QUrl(kept.value(3));
        p.scope = kept.value(4);
    }
    // The build's client ID, unless the settings name another.
    if (!kept.value(1).isEmpty())
        p.clientId = kept.value(1);
    p.clientSecret = kept.value(5);
    return p;
}

QStringList providerToKeep(const OAuthProvider& provider)
{
    const bool custom = provider.kind == OAuthProviderKind::Custom;
    return {oauthProviderName(provider.kind),
            provider.clientId == oauthPreset(provider.kind).clientId ? QString() : provider.clientId,
            custom ? provider.authorizationUrl.toString() : QString(),
            custom ? provider.tokenUrl.toString() : QString(),
            custom ? provider.scope : QString(),
            provider.clientSecret};
}

namespace {
QString legacyKey(const Connection& con, const QString& name)
{
    return QStringLiteral("%1 (%2)").arg(name, con.path());
}
}  // namespace

QString secretKey(Connection& con, const QString& name)
{
    const QString id = storeIdentity(con);
    return id.isEmpty() ? legacyKey(con, name) : QStringLiteral("%1 (store %2)").arg(name, id);
}

void readSecret(Connection& con, const QString& name, QObject* context, const Secrets::Done& done)
{
    const QString key = secretKey(con, name);
    const QString legacy = legacyKey(con, name);
    Secrets::read(key, context, [=](const Secrets::Answer& answer) {
        if (answer.outcome != Secrets::Outcome::Missing || key == legacy)
            return done(answer);
        Secrets::read(legacy, context, [=](const Secrets::Answer& old) {
            if (old.outcome != Secrets::Outcome::Done)
                return done(answer);
            // Finished even when the one who asked has gone.
            Secrets::write(key, old.text, QCoreApplication::instance(), [legacy](const Secrets::Answer& moved) {
                if (moved.outcome == Secrets::Outcome::Done)
                    Secrets::remove(legacy);
            });
            done(old);
        });
    });
}

Secrets::Answer readSecretNow(Connection& con, const QString& name)
{
    QObject context;
    QEventLoop loop;
    Secrets::Answer out;
    readSecret(con, name, &context, [&](const Secrets::Answer& a) {
        out = a;
        loop.quit();
    });
    loop.exec();
    return out;
}

void scrubBackups(const QString& table, const QString& blank)
{
    const QString folder = AppFolder::backupFolder();
    Worker::forProgram().post([folder, table, blank] {
        const QStringList failures = Backup::scrub(folder, table, blank);
        if (!failures.isEmpty())
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [failures] { reportStoreError(StoreError(failures.join(QLatin1Char('\n')))); }, Qt::QueuedConnection);
    });
}

void keepSecret(Connection& con, const QString& name, const QString& value, QObject* context,
                std::function<QString()> keepInColumn, std::function<void(const Secrets::Answer&)> done)
{
    // The column's failure, if any, goes to `done`: the kit shows nothing itself.
    auto inColumn = [keepInColumn = std::move(keepInColumn), done] {
        const QString why = keepInColumn();
        done(why.isEmpty() ? Secrets::Answer{Secrets::Outcome::NoKeyring, {}}
                           : Secrets::Answer{Secrets::Outcome::Failed, why});
    };
    if (!Secrets::exists())
        return inColumn();
    Secrets::write(secretKey(con, name), value, context,
                   [inColumn = std::move(inColumn), done = std::move(done)](const Secrets::Answer& answer) {
                       if (answer.outcome == Secrets::Outcome::NoKeyring)
                           return inColumn();
                       done(answer);
                   });
}

QString mailSecret(qint64 key)
{
    return QStringLiteral("mail %1").arg(key);
}

namespace {
void scrubMailBackups(qint64 key)
{
    scrubBackups(QStringLiteral("tblEmail"),
                 QStringLiteral("UPDATE tblEmail SET Password = '' WHERE EmailInfo = %1").arg(key));
}

// The column of row `key`, on a connection of its own: the screen that
// asked may be gone when the keyring answers.
QString setMailColumn(const QString& store, qint64 key, const QString& password)
{
    try {
        Connection con;
        Recordset rs;
        con.Open(store);
        // What the update frees is zeroed: the old password stays in no page.
        sqlite3_exec(con.handle(), "PRAGMA secure_delete=ON", nullptr, nullptr, nullptr);
        rs.Open(con, QStringLiteral("SELECT * FROM tblEmail WHERE EmailInfo = ?"), {key});
        if (!rs.isEOF()) {
            rs.Fields(kPassword) = password;
            rs.Update();
        }
    } catch (const StoreError& error) {
        return error.reason();
    }
    return QString();
}
}  // namespace

std::optional<MailSettings> readMailSettings(Connection& con, const std::function<void(const StoreError&)>& report)
{
    QList<MailSettings> rows;
    Recordset rst;
    storeGuard(
        [&] {
            rst.Open(con, QStringLiteral("tblEmail"));
            for (; !rst.isEOF(); rst.MoveNext()) {
                MailSettings s;
                s.key = rst.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
                s.smtp = rst.Fields(QStringLiteral("SMTP")).toString();
                s.yourEmail = rst.Fields(QStringLiteral("YourEmail")).toString();
                s.remote = rst.Fields(QStringLiteral("Remote")).toString();
                s.userName = rst.Fields(QStringLiteral("UserName")).toString();
                s.password = rst.Fields(kPassword).toString();
                rows << s;
            }
        },
        report);
    rst.Close();
    if (rows.isEmpty())
        return std::nullopt;
    rows.last().mimeAttachments =
        readBeside(con, "SELECT Form FROM tblEmailAttachments WHERE EmailInfo = ?", rows.last().key) == kMimeForm;
    if (readBeside(con, "SELECT Kind FROM tblEmailIncoming WHERE EmailInfo = ?", rows.last().key) == kImapKind)
        rows.last().incoming = IncomingKind::Imap;
    if (const std::optional<OAuthProvider> oauth = readSignIn(con, rows.last().key)) {
        rows.last().signIn = SignInKind::OAuth2;
        rows.last().oauth = *oauth;
        // A column newer than the table in older stores.
        rows.last().oauth.clientSecret =
            readBeside(con, "SELECT ClientSecret FROM tblEmailSignIn WHERE EmailInfo = ?", rows.last().key);
    }
    // Passwords left in clear move to the keyring; each column is emptied
    // once the keyring has taken its password.
    if (Secrets::exists()) {
        const QString store = con.path();
        for (const MailSettings& s : rows) {
            if (s.password.isEmpty())
                continue;
            Secrets::write(secretKey(con, mailSecret(s.key)), s.password, QCoreApplication::instance(),
                           [store, key = s.key](const Secrets::Answer& answer) {
                               // A column that cannot be emptied now is tried again at the next reading.
                               if (answer.outcome == Secrets::Outcome::Done
                                   && setMailColumn(store, key, QString()).isEmpty())
                                   scrubMailBackups(key);
                           });
        }
    }
    return rows.last();
}

void saveMailRow(Connection& con, Recordset& rs, const QString& password, QObject* context,
                 std::function<void(const Secrets::Answer&)> done)
{
    // The column is written by keepMailPassword alone, and only without a keyring.
    rs.Fields(kPassword) = QString();
    rs.Update();  // a new row has its key from here on
    const qint64 row = rs.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
    if (password.isEmpty()) {
        Secrets::remove(secretKey(con, mailSecret(row)));
        return done({Secrets::Outcome::Done, {}});
    }
    keepMailPassword(con, row, password, context, std::move(done));
}

void keepMailPassword(Connection& con, qint64 key, const QString& password, QObject* context,
                      std::function<void(const Secrets::Answer&)> done)
{
    const QString store = con.path();
    keepSecret(
        con, mailSecret(key), password, context, [store, key, password] { return setMailColumn(store, key, password); },
        [key, done = std::move(done)](const Secrets::Answer& answer) {
            // The column was emptied before the keyring took it (saveMailRow).
            if (answer.outcome == Secrets::Outcome::Done)
                scrubMailBackups(key);
            done(answer);
        });
}

void saveAttachmentForm(Connection& con, qint64 key, bool mimeAttachments)
{
    Statement(con.handle(), QString::fromLatin1(kAttachmentTable), kAttachmentTrouble).step();
    Statement(con.handle(),
              QStringLiteral("INSERT OR REPLACE INTO tblEmailAttachments (EmailInfo, Form) VALUES (?, ?)"),
              kAttachmentTrouble)
        .bind(1, key)
        .bind(2, mimeAttachments ? kMimeForm : QStringLiteral("uuencode"))
        .step();
}

int messageLimitMB(Connection& con)
{
    bool ok = false;
    const int kept = readBeside(con, "SELECT Megabytes FROM tblEmailMessageLimit WHERE Id = ?", 1).toInt(&ok);
    return ok && kept >= 1 && kept <= kMostMessageLimitMB ? kept : kDefaultMessageLimitMB;
}

qsizetype messageLimitOctets(Connection& con)
{
    return qsizetype(messageLimitMB(con)) * 1024 * 1024;
}

void saveMessageLimit(Connection& con, int megabytes)
{
    const QString trouble =
        QStringLiteral("The largest message to fetch (tblEmailMessageLimit) could not be written: %1");
    Statement(con.handle(),
              QStringLiteral("CREATE TABLE IF NOT EXISTS tblEmailMessageLimit "
                             "(Id INTEGER PRIMARY KEY CHECK (Id = 1), Megabytes INTEGER NOT NULL)"),
              trouble)
        .step();
    Statement(con.handle(), QStringLiteral("INSERT OR REPLACE INTO tblEmailMessageLimit (Id, Megabytes) VALUES (1, ?)"),
              trouble)
        .bind(1, qint64(std::clamp(megabytes, 1, kMostMessageLimitMB)))
        .step();
}

void saveIncomingKind(Connection& con, qint64 key, IncomingKind kind)
{
    Statement(con.handle(), QString::fromLatin1(kIncomingTable), kIncomingTrouble).step();
    Statement(con.handle(), QStringLiteral("INSERT OR REPLACE INTO tblEmailIncoming (EmailInfo, Kind) VALUES (?, ?)"),
              kIncomingTrouble)
        .bind(1, key)
        .bind(2, kind == IncomingKind::Imap ? kImapKind : QStringLiteral("POP3"))
        .step();
}

void saveSignIn(Connection& con, qint64 key, SignInKind kind, const OAuthProvider& provider)
{
    Statement(con.handle(), QString::fromLatin1(kSignInTable), kSignInTrouble).step();
    // Older stores' table lacks the client secret; where it has one this
    // fails and changes nothing.
    sqlite3_exec(con.handle(), "ALTER TABLE tblEmailSignIn ADD COLUMN ClientSecret TEXT", nullptr, nullptr, nullptr);
    const bool oauth = kind == SignInKind::OAuth2;
    const QStringList kept = oauth ? providerToKeep(provider) : QStringList();
    Statement(con.handle(),
              QStringLiteral("INSERT OR REPLACE INTO tblEmailSignIn (EmailInfo, Kind, Provider, ClientId, "
                             "AuthorizationUrl, TokenUrl, Scope, ClientSecret) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
              kSignInTrouble)
        .bind(1, key)
        .bind(2, kind == SignInKind::OAuth2 ? kOAuthKind : QStringLiteral("password"))
        .bind(3, kept.value(0))
        .bind(4, kept.value(1))
        .bind(5, kept.value(2))
        .bind(6, kept.value(3))
        .bind(7, kept.value(4))
        .bind(8, kept.value(5))
        .step();
}

QString oauthSecret(qint64 key)
{
    return QStringLiteral("oauth %1").arg(key);
}

QString oauthSecret(const MailSettings& settings)
{
    return settings.account == 0 ? oauthSecret(settings.key) : QStringLiteral("oauth account %1").arg(settings.account);
}

QString mailSecret(const MailSettings& settings)
{
    return settings.account == 0 ? mailSecret(settings.key) : QStringLiteral("mail account %1").arg(settings.account);
}

OAuthSignIn& keptSignIn(const QString& secret, const QString& account, const OAuthProvider& p)
{
    static std::map<QString, QPointer<OAuthSignIn>> made;
    // A changed provider or account is another sign-in.
    const QString id = QStringList{secret,
                                   account,
                                   oauthProviderName(p.kind),
                                   p.clientId,
                                   p.authorizationUrl.toString(),
                                   p.tokenUrl.toString(),
                                   p.scope}
                           .join(QLatin1Char('\n'));
    QPointer<OAuthSignIn>& signIn = made[id];
    if (signIn)
        return *signIn;
    signIn = new OAuthSignIn(p, account, connectionSettings(), QCoreApplication::instance());
    signIn->loadWith([secret, context = signIn.data()](const std::function<void(const QString&)>& done) {
        Secrets::read(secret, context, [done](const Secrets::Answer& a) {
            done(a.outcome == Secrets::Outcome::Done ? a.text : QString());
        });
    });
    QObject::connect(signIn, &OAuthSignIn::refreshTokenChanged, signIn, [secret](const QString& token) {
        if (token.isEmpty())
            return Secrets::remove(secret);
        // Without a keyring (or when it refuses) the engine holds it for this run.
        Secrets::write(secret, token, QCoreApplication::instance(), [](const Secrets::Answer&) {});
    });
    return *signIn;
}

OAuthSignIn& accountSignIn(Connection& con, const MailSettings& settings)
{
    return keptSignIn(secretKey(con, oauthSecret(settings)), settings.userName, settings.oauth);
}
