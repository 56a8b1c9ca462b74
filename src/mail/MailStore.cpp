#include "mail/MailStore.h"

#include "mail/MailTexts.h"
#include "mail/MimeMessage.h"
#include "store/Connection.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblMailbox (
  MailKey  TEXT PRIMARY KEY,
  FileName TEXT NOT NULL,
  Sender   TEXT NOT NULL DEFAULT '',
  Subject  TEXT NOT NULL DEFAULT '',
  SendDate TEXT NOT NULL DEFAULT '',
  Size     INTEGER NOT NULL DEFAULT 0
);
)sql";

// Every statement on the kept mail names it when it fails.
class MailStatement : public Statement {
public:
    MailStatement(sqlite3* db, const char* sql)
        : Statement(db, QString::fromUtf8(sql),
                    QStringLiteral("The kept mail (tblMailbox) could not be read or written: %1"))
    {
    }
};

[[noreturn]] void fileFailure(const QString& path, const QString& reason)
{
    throw StoreError(QStringLiteral("The message file %1 could not be written: %2").arg(path, reason));
}

}  // namespace

MailStore::~MailStore()
{
    try {
        commit();
    } catch (const StoreError&) {
        // The rows of the open batch are lost; their files go at the next opening.
    }
}

void MailStore::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_con->handle(), sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error);
        sqlite3_free(error);
        throw StoreError(QStringLiteral("The kept mail (tblMailbox) could not be written: %1").arg(reason));
    }
}

void MailStore::commit()
{
    if (!m_batch.isValid() || !m_con)
        return;
    m_batch.invalidate();
    // The files of the batch reach the disk before the rows that name them:
    // one flush of the file system rather than one per message.
    const int folder = ::open(QFile::encodeName(m_dir).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::syncfs(folder);
        ::close(folder);
    }
    exec("COMMIT");
}

// What a crash left: files in tmp/, and files in new/ whose row was never committed.
void MailStore::removeStrays()
{
    QSet<QString> known;
    MailStatement s(m_con->handle(), "SELECT FileName FROM tblMailbox");
    while (s.step())
        known.insert(s.text(0));
    for (const char* sub : {"tmp", "new"}) {
        QDir dir(m_dir + QLatin1Char('/') + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files)) {
            if (!known.contains(QLatin1String(sub) + QLatin1Char('/') + name))
                dir.remove(name);
        }
    }
}

void MailStore::open(Connection& con, const QString& maildir)
{
    sqlite3* db = con.handle();
    char* error = nullptr;
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error);
        sqlite3_free(error);
        throw StoreError(QStringLiteral("The kept mail (tblMailbox) could not be set up: %1").arg(reason));
    }
    for (const char* sub : {"", "/tmp", "/new", "/cur"}) {
        const QString path = maildir + QLatin1String(sub);
        if (!QDir().mkpath(path))
            fileFailure(path, QStringLiteral("the folder cannot be made"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    m_con = &con;
    m_dir = maildir;
    removeStrays();
}

QList<KeptMessage> MailStore::messages() const
{
    QList<KeptMessage> out;
    MailStatement s(
        m_con->handle(),
        "SELECT MailKey, Sender, Subject, SendDate, Size FROM tblMailbox WHERE FileName <> '' ORDER BY rowid");
    while (s.step())
        out.append({s.text(0), s.text(1), s.text(2), s.text(3), s.integer(4)});
    return out;
}

QSet<QString> MailStore::keys() const
{
    QSet<QString> out;
    MailStatement s(m_con->handle(), "SELECT MailKey FROM tblMailbox");
    while (s.step())
        out.insert(s.text(0));
    return out;
}

bool MailStore::contains(const QString& key) const
{
    MailStatement s(m_con->handle(), "SELECT 1 FROM tblMailbox WHERE MailKey = ?");
    return s.bind(1, key).step();
}

QString MailStore::fileOf(const QString& key) const
{
    MailStatement s(m_con->handle(), "SELECT FileName FROM tblMailbox WHERE MailKey = ?");
    return s.bind(1, key).step() && !s.text(0).isEmpty() ? m_dir + QLatin1Char('/') + s.text(0) : QString();
}

std::optional<KeptMessage> MailStore::keep(const QString& key, const QByteArray& raw)
{
    if (contains(key))
        return std::nullopt;
    // A Maildir name no other writer makes: time, process, a counter, host.
    const QString name = QStringLiteral("%1.P%2Q%3.%4")
                             .arg(QDateTime::currentMSecsSinceEpoch())
                             .arg(QCoreApplication::applicationPid())
                             .arg(++m_written)
                             .arg(QSysInfo::machineHostName().remove(QLatin1Char('/')).remove(QLatin1Char(':')));
    const QString tmp = m_dir + QStringLiteral("/tmp/") + name;
    const QString relative = QStringLiteral("new/") + name;
    {
        QFile file(tmp);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
            fileFailure(tmp, file.errorString());
        if (file.write(raw) != raw.size() || !file.flush()) {
            const QString reason = file.errorString();
            file.remove();
            fileFailure(tmp, reason);
        }
    }
    if (!QFile::rename(tmp, m_dir + QLatin1Char('/') + relative)) {
        QFile::remove(tmp);
        fileFailure(tmp, QStringLiteral("it cannot be moved to new/"));
    }
    const MimeMessage mime = decodeMime(raw);
    KeptMessage kept{key, mime.from, mime.subject, mime.date, MailTexts::decodeWireText(raw).size()};
    if (!m_batch.isValid()) {
        exec("BEGIN IMMEDIATE");
        m_batch.start();
    }
    try {
        MailStatement(
            m_con->handle(),
            "INSERT INTO tblMailbox (MailKey, FileName, Sender, Subject, SendDate, Size) VALUES (?,?,?,?,?,?)")
            .bind(1, key)
            .bind(2, relative)
            .bind(3, kept.from)
            .bind(4, kept.subject)
            .bind(5, kept.date)
            .bind(6, kept.size)
            .step();
    } catch (const StoreError&) {
        QFile::remove(m_dir + QLatin1Char('/') + relative);
        m_batch.invalidate();
        sqlite3_exec(m_con->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (m_batch.hasExpired(500))
        commit();
    return kept;
}

QByteArray MailStore::raw(const QString& key) const
{
    if (!m_con)
        return {};
    QFile file(fileOf(key));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void MailStore::forgetRemoved(const QSet<QString>& listed)
{
    commit();
    QStringList gone;
    MailStatement s(m_con->handle(), "SELECT MailKey FROM tblMailbox WHERE FileName = ''");
    while (s.step())
        if (!listed.contains(s.text(0)))
            gone << s.text(0);
    for (const QString& key : gone)
        MailStatement(m_con->handle(), "DELETE FROM tblMailbox WHERE MailKey = ?").bind(1, key).step();
}

void MailStore::remove(const QString& key)
{
    commit();
    const QString path = fileOf(key);
    // The row stays without its file, so the next check does not fetch the
    // message again from the server, where it stays.
    MailStatement(m_con->handle(), "UPDATE tblMailbox SET FileName = '' WHERE MailKey = ?").bind(1, key).step();
    if (!path.isEmpty())
        QFile::remove(path);
}
