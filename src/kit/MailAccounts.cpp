#include "kit/MailAccounts.h"

#include <sqlite3.h>

#include <QDir>

#include <algorithm>

#include "kit/StoreAccess.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace {
// The accounts beside the first, and every account's identities (the first's under 0).
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblEmailAccount (
  Account  INTEGER PRIMARY KEY AUTOINCREMENT,
  Name     TEXT NOT NULL DEFAULT '',
  SMTP     TEXT NOT NULL DEFAULT '',
  YourEmail TEXT NOT NULL DEFAULT '',
  Remote   TEXT NOT NULL DEFAULT '',
  UserName TEXT NOT NULL DEFAULT '',
  Password TEXT NOT NULL DEFAULT '',
  Attachments TEXT NOT NULL DEFAULT 'uuencode',
  Incoming TEXT NOT NULL DEFAULT 'POP3',
  SignIn   TEXT NOT NULL DEFAULT 'password',
  Provider TEXT, ClientId TEXT, AuthorizationUrl TEXT, TokenUrl TEXT, Scope TEXT, ClientSecret TEXT
);
CREATE TABLE IF NOT EXISTS tblEmailIdentity (
  Identity  INTEGER PRIMARY KEY,
  Account   INTEGER NOT NULL,
  Name      TEXT NOT NULL DEFAULT '',
  Address   TEXT NOT NULL DEFAULT '',
  Signature TEXT NOT NULL DEFAULT ''
);
)sql";

const QString kTrouble = QStringLiteral("The mail accounts (tblEmailAccount) could not be read or written: %1");

class AccountStatement : public Statement {
public:
    AccountStatement(Connection& con, const char* sql)
        : Statement(con.handle(), QString::fromUtf8(sql), kTrouble)
    {
    }
};

void makeTables(Connection& con)
{
    char* error = nullptr;
    if (sqlite3_exec(con.handle(), kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error);
        sqlite3_free(error);
        throw StoreError(kTrouble.arg(reason));
    }
}

bool hasTable(Connection& con, const char* name)
{
    AccountStatement s(con, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    return s.bind(1, QString::fromLatin1(name)).step();
}

void readIdentities(Connection& con, MailAccount& account)
{
    if (hasTable(con, "tblEmailIdentity")) {
        AccountStatement s(con,
                           "SELECT Name, Address, Signature FROM tblEmailIdentity WHERE Account = ? ORDER BY Identity");
        s.bind(1, account.key);
        while (s.step())
            account.identities.append({s.text(0), s.text(1), s.text(2)});
    }
    const QString own = account.settings.yourEmail;
    const bool named = std::any_of(account.identities.cbegin(), account.identities.cend(), [&](const MailIdentity& i) {
        return i.address.compare(own, Qt::CaseInsensitive) == 0;
    });
    if (!named)
        account.identities.prepend({QString(), own, QString()});
}

void removeFromMailTables(Connection& con, const QString& prefix)
{
    sqlite3* db = con.handle();
    const QString upper = prefix.left(prefix.size() - 1) + QChar(prefix.back().unicode() + 1);
    if (hasTable(con, "tblMailbox")) {
        AccountStatement rows(con, "SELECT rowid FROM tblMailbox WHERE MailKey >= ? AND MailKey < ?");
        rows.bind(1, prefix).bind(2, upper);
        QList<qint64> gone;
        while (rows.step())
            gone << rows.integer(0);
        for (qint64 row : gone)
            SearchIndex::removeMail(db, row);
        AccountStatement(con, "DELETE FROM tblMailbox WHERE MailKey >= ? AND MailKey < ?")
            .bind(1, prefix)
            .bind(2, upper)
            .step();
    }
    // The IMAP folders are named as the server spells them, in bytes; their
    // messages leave the search through the table's own trigger.
    const std::pair<const char*, const char*> held[] = {
        {"tblImapMessage", "DELETE FROM tblImapMessage WHERE Folder >= ? AND Folder < ?"},
        {"tblImapFolder", "DELETE FROM tblImapFolder WHERE Folder >= ? AND Folder < ?"}};
    for (const auto& [table, sql] : held)
        if (hasTable(con, table))
            AccountStatement(con, sql).bind(1, prefix.toUtf8()).bind(2, upper.toUtf8()).step();
}
}  // namespace

QString MailIdentity::from() const
{
    if (name.isEmpty())
        return address;
    // A name with a character that means something in an address line goes quoted.
    static const QString special = QStringLiteral("()<>[]:;@\\,.\"");
    const bool quoted = std::any_of(name.cbegin(), name.cend(), [](QChar c) { return special.contains(c); });
    QString shown = name;
    if (quoted)
        shown =
            QLatin1Char('"')
            + shown.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""))
            + QLatin1Char('"');
    return QStringLiteral("%1 <%2>").arg(shown, address);
}

QString MailAccounts::mailFolder(qint64 key)
{
    return key == 0 ? QString() : QStringLiteral("Accounts/%1/").arg(key);
}

QString MailAccounts::mailKeyPrefix(qint64 key)
{
    return key == 0 ? QString() : QStringLiteral("\x01%1\x01").arg(key);
}

std::pair<qint64, QString> MailAccounts::splitMailKey(const QString& stored)
{
    if (!stored.startsWith(QChar(1)))
        return {0, stored};
    const qsizetype end = stored.indexOf(QChar(1), 1);
    bool ok = false;
    const qint64 key = end > 1 ? stored.mid(1, end - 1).toLongLong(&ok) : 0;
    return ok ? std::pair{key, stored.mid(end + 1)} : std::pair{qint64(0), stored};
}

QList<MailAccount> MailAccounts::read(Connection& con, const std::function<void(const StoreError&)>& report)
{
    QList<MailAccount> out;
    if (!con.isOpen())
        return out;
    if (const std::optional<MailSettings> first = readMailSettings(con, report)) {
        MailAccount account;
        account.name = first->yourEmail;
        account.settings = *first;
        out << account;
    }
    storeGuard(
        [&] {
            if (hasTable(con, "tblEmailAccount")) {
                AccountStatement s(con,
                                   "SELECT Account, Name, SMTP, YourEmail, Remote, UserName, Password, Attachments, "
                                   "Incoming, SignIn, Provider, ClientId, AuthorizationUrl, TokenUrl, Scope, "
                                   "ClientSecret FROM tblEmailAccount ORDER BY Account");
                while (s.step()) {
                    MailAccount a;
                    a.key = s.integer(0);
                    a.name = s.text(1);
                    MailSettings& m = a.settings;
                    m.key = m.account = a.key;
                    m.smtp = s.text(2);
                    m.yourEmail = s.text(3);
                    m.remote = s.text(4);
                    m.userName = s.text(5);
                    m.password = s.text(6);
                    m.mimeAttachments = s.text(7) == QLatin1String("mime");
                    m.incoming = s.text(8) == QLatin1String("IMAP") ? IncomingKind::Imap : IncomingKind::Pop3;
                    if (s.text(9) == QLatin1String("OAuth2")) {
                        m.signIn = SignInKind::OAuth2;
                        m.oauth =
                            storedProvider({s.text(10), s.text(11), s.text(12), s.text(13), s.text(14), s.text(15)});
                    }
                    if (a.name.isEmpty())
                        a.name = m.yourEmail;
                    out << a;
                }
            }
            for (MailAccount& a : out)
                readIdentities(con, a);
        },
        report);
    return out;
}

std::optional<MailAccount> MailAccounts::find(Connection& con, qint64 key,
                                              const std::function<void(const StoreError&)>& report)
{
    for (const MailAccount& a : read(con, report))
        if (a.key == key)
            return a;
    return std::nullopt;
}

qint64 MailAccounts::save(Connection& con, const MailAccount& account, bool adding)
{
    makeTables(con);
    qint64 key = account.key;
    AccountStatement(con, "SAVEPOINT account").step();
    try {
        if (adding || key != 0) {
            const MailSettings& m = account.settings;
            const bool oauth = m.signIn == SignInKind::OAuth2;
            const QStringList kept = oauth ? providerToKeep(m.oauth) : QStringList();
            AccountStatement s(con, adding ? "INSERT INTO tblEmailAccount (Name, SMTP, YourEmail, Remote, UserName, "
                                             "Attachments, Incoming, SignIn, Provider, ClientId, AuthorizationUrl, "
                                             "TokenUrl, Scope, ClientSecret) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                                           : "UPDATE tblEmailAccount SET Name = ?, SMTP = ?, YourEmail = ?, "
                                             "Remote = ?, UserName = ?, Attachments = ?, Incoming = ?, SignIn = ?, "
                                             "Provider = ?, ClientId = ?, AuthorizationUrl = ?, TokenUrl = ?, "
                                             "Scope = ?, ClientSecret = ? WHERE Account = ?");
            s.bind(1, account.name)
                .bind(2, m.smtp)
                .bind(3, m.yourEmail)
                .bind(4, m.remote)
                .bind(5, m.userName)
                .bind(6, m.mimeAttachments ? QStringLiteral("mime") : QStringLiteral("uuencode"))
                .bind(7, m.incoming == IncomingKind::Imap ? QStringLiteral("IMAP") : QStringLiteral("POP3"))
                .bind(8, oauth ? QStringLiteral("OAuth2") : QStringLiteral("password"));
            for (int i = 0; i < 6; ++i)
                s.bind(9 + i, kept.value(i));
            if (!adding)
                s.bind(15, key);
            s.step();
            if (adding)
                key = sqlite3_last_insert_rowid(con.handle());
        }
        AccountStatement(con, "DELETE FROM tblEmailIdentity WHERE Account = ?").bind(1, key).step();
        AccountStatement insert(con,
                                "INSERT INTO tblEmailIdentity (Account, Name, Address, Signature) VALUES (?,?,?,?)");
        for (const MailIdentity& i : account.identities) {
            // The account's own address without a name or signature is implied.
            if (i.address.trimmed().isEmpty()
                || (i.name.isEmpty() && i.signature.isEmpty()
                    && i.address.compare(account.settings.yourEmail, Qt::CaseInsensitive) == 0))
                continue;
            insert.reset();
            insert.bind(1, key).bind(2, i.name.trimmed()).bind(3, i.address.trimmed()).bind(4, i.signature).step();
        }
        AccountStatement(con, "RELEASE account").step();
    } catch (const StoreError&) {
        sqlite3_exec(con.handle(), "ROLLBACK TO account; RELEASE account", nullptr, nullptr, nullptr);
        throw;
    }
    return key;
}

void MailAccounts::keepPassword(Connection& con, const MailSettings& settings, const QString& password,
                                QObject* context, std::function<void(const Secrets::Answer&)> done)
{
    if (settings.account == 0)
        return keepMailPassword(con, settings.key, password, context, std::move(done));
    const QString store = con.path();
    const qint64 key = settings.account;
    keepSecret(
        con, mailSecret(settings), password, context,
        [store, key, password] {
            try {
                Connection own;
                own.Open(store);
                AccountStatement(own, "UPDATE tblEmailAccount SET Password = ? WHERE Account = ?")
                    .bind(1, password)
                    .bind(2, key)
                    .step();
            } catch (const StoreError& error) {
                return error.reason();
            }
            return QString();
        },
        std::move(done));
}

void MailAccounts::remove(Connection& con, qint64 key, const QString& maildir)
{
    if (key == 0)
        return;
    makeTables(con);
    MailSettings settings;
    settings.key = settings.account = key;
    // The names are made before the rows go: the store's identity is read from it.
    const QStringList secrets{secretKey(con, mailSecret(settings)), secretKey(con, oauthSecret(settings))};
    AccountStatement(con, "SAVEPOINT removeAccount").step();
    try {
        AccountStatement(con, "DELETE FROM tblEmailAccount WHERE Account = ?").bind(1, key).step();
        AccountStatement(con, "DELETE FROM tblEmailIdentity WHERE Account = ?").bind(1, key).step();
        removeFromMailTables(con, mailKeyPrefix(key));
        AccountStatement(con, "RELEASE removeAccount").step();
    } catch (const StoreError&) {
        sqlite3_exec(con.handle(), "ROLLBACK TO removeAccount; RELEASE removeAccount", nullptr, nullptr, nullptr);
        throw;
    }
    QDir(maildir + QLatin1Char('/') + mailFolder(key)).removeRecursively();
    for (const QString& secret : secrets)
        Secrets::remove(secret);
}

std::pair<qint64, int> MailAccounts::answeringIdentity(const QList<MailAccount>& accounts,
                                                       const QStringList& recipients, qint64 fetchedFor)
{
    for (const QString& to : recipients)
        for (const MailAccount& a : accounts)
            for (int i = 0; i < a.identities.size(); ++i)
                if (!to.isEmpty() && a.identities[i].address.compare(to.trimmed(), Qt::CaseInsensitive) == 0)
                    return {a.key, i};
    return {fetchedFor, 0};
}
