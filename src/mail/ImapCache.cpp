#include "mail/ImapCache.h"

#include "kit/AtomicFile.h"
#include "mail/MimeMessage.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <optional>

namespace {

// A cache made before modification sequences were kept: each folder reads as having none.
const char* const kAddModSeq = "ALTER TABLE tblImapFolder ADD COLUMN HighestModSeq INTEGER NOT NULL DEFAULT 0";
// A cache made before the threading ids were kept: its rows get them from the header held.
constexpr const char* kAddThreading[] = {"ALTER TABLE tblImapMessage ADD COLUMN MessageId TEXT",
                                         "ALTER TABLE tblImapMessage ADD COLUMN InReplyTo TEXT",
                                         "ALTER TABLE tblImapMessage ADD COLUMN Refs TEXT"};

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblImapFolder (
  Folder BLOB PRIMARY KEY,
  Delimiter BLOB,
  Selectable INTEGER NOT NULL DEFAULT 1,
  UidValidity INTEGER NOT NULL DEFAULT 0,
  HighestModSeq INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS tblImapMessage (
  Folder BLOB NOT NULL,
  Uid INTEGER NOT NULL,
  Flags TEXT NOT NULL DEFAULT '',
  Size INTEGER NOT NULL DEFAULT 0,
  Sender TEXT,
  Subject TEXT,
  SendDate TEXT,
  Header BLOB,
  BodyFile TEXT,
  MessageId TEXT,
  InReplyTo TEXT,
  Refs TEXT,
  PRIMARY KEY (Folder, Uid)
);
)sql";

// Every statement on the held IMAP mail names it when it fails.
class CacheStatement : public Statement {
public:
    CacheStatement(sqlite3* db, const char* sql)
        : Statement(db, QString::fromUtf8(sql),
                    QStringLiteral("The IMAP mail held here (tblImapMessage) could not be read or written: %1"))
    {
    }
};

// Headers written by one statement, each in so many columns.
constexpr size_t kRowsAStatement = 200;
constexpr int kColumns = 11;

QString joined(const QByteArrayList& flags)
{
    return QString::fromLatin1(flags.join(' '));
}

QByteArrayList flagList(QByteArrayView joined)
{
    if (joined.isEmpty())  // most held messages: read from a folder of thousands at each sync
        return {};
    QByteArrayList flags = joined.toByteArray().split(' ');
    flags.removeAll(QByteArray());
    return flags;
}

// A message fetched into a file of its own goes where it is kept: on the
// disk, then renamed, then its folder on the disk. Empty, or why not.
QString moveInto(const QString& from, const QString& to)
{
    QString failure;
    const int fd = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0 || ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()))
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    const int folder = ::open(QFile::encodeName(QFileInfo(to).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (failure.isEmpty() && (folder < 0 || ::fsync(folder) != 0))
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (folder >= 0)
        ::close(folder);
    if (!failure.isEmpty())
        QFile::remove(from);
    return failure;
}

// Header and the start of the text of a message of any size, for the search.
QByteArray startOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(SearchIndex::kIndexedBytes) : QByteArray();
}

// The columns added and every held row's ids read from its header, in one
// transaction: a cache is either as before or whole. Headers held from
// before hold the Message-ID alone, so an answer fetched later still finds
// the message it answers; what they answer themselves is not known.
void addThreading(sqlite3* db)
{
    try {
        CacheStatement(db, "BEGIN IMMEDIATE").step();
        for (const char* add : kAddThreading)
            CacheStatement(db, add).step();
        CacheStatement held(db, "SELECT rowid, Header FROM tblImapMessage");
        CacheStatement update(db, "UPDATE tblImapMessage SET MessageId = ?, InReplyTo = ?, Refs = ? WHERE rowid = ?");
        while (held.step()) {
            const MimeMessage ids = decodeMimeHeader(held.bytes(1).toByteArray());
            update.reset();
            update.bind(1, ids.messageId)
                .bind(2, ids.inReplyTo)
                .bind(3, ids.references.join(u' '))
                .bind(4, held.integer(0))
                .step();
        }
        update.reset();
        held.reset();
        CacheStatement(db, "COMMIT").step();
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace

void ImapCache::open(Connection& con, const QString& maildir, const QString& account, const QByteArray& folderPrefix)
{
    char* error = nullptr;
    if (sqlite3_exec(con.handle(), kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error);
        sqlite3_free(error);
        throw StoreError(QStringLiteral("The IMAP mail held here could not be set up: %1").arg(reason));
    }
    if (sqlite3_exec(con.handle(), "SELECT HighestModSeq FROM tblImapFolder LIMIT 0", nullptr, nullptr, nullptr)
        != SQLITE_OK)
        CacheStatement(con.handle(), kAddModSeq).step();
    if (sqlite3_exec(con.handle(), "SELECT MessageId FROM tblImapMessage LIMIT 0", nullptr, nullptr, nullptr)
        != SQLITE_OK)
        addThreading(con.handle());
    SearchIndex::follow(con.handle());
    const QString cur = maildir + QLatin1Char('/') + account + QStringLiteral("cur");
    if (!QDir().mkpath(cur))
        throw StoreError(QStringLiteral("The folder %1 could not be made.").arg(cur));
    m_con = &con;
    m_dir = maildir;
    m_sub = account;
    m_prefix = folderPrefix;
}

// The folder goes into the name as a hash of its name: in hex, as the
// cache once named bodies, a name of about 110 bytes made one too long for
// the file system. Bodies kept under such names are still found, as every
// row names its file.
QString ImapCache::bodyFile(const QByteArray& folder, quint32 uidValidity, quint32 uid) const
{
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).left(16);
    return m_sub + QStringLiteral("cur/imap-%1-%2-%3").arg(QString::fromLatin1(hash.toHex())).arg(uidValidity).arg(uid);
}

// Rows changed by this connection, and SQLite's count of what other
// connections committed.
std::pair<qint64, qint64> ImapCache::storeStamp() const
{
    CacheStatement version(m_con->handle(), "PRAGMA data_version");
    version.step();
    return {sqlite3_total_changes64(m_con->handle()), version.integer(0)};
}

ImapPlan ImapCache::plan(const QByteArray& folder) const
{
    const std::pair<qint64, qint64> stamp = storeStamp();
    if (m_last.stamp == stamp && m_last.plan.folder == folder)
        return m_last.plan;
    ImapPlan p;
    p.folder = folder;
    CacheStatement v(m_con->handle(), "SELECT UidValidity, HighestModSeq FROM tblImapFolder WHERE Folder = ?");
    v.bind(1, m_prefix + folder);
    if (v.step()) {
        p.knownUidValidity = quint32(v.integer(0));
        p.knownModSeq = quint64(v.integer(1));
    }
    CacheStatement held(m_con->handle(), "SELECT Uid, Flags FROM tblImapMessage WHERE Folder = ? ORDER BY Uid");
    held.bind(1, m_prefix + folder);
    while (held.step()) {
        p.lastKnownUid = quint32(held.integer(0));
        p.heldFlags.insert(p.lastKnownUid, flagList(held.bytes(1)));
    }
    m_last = {p, stamp};
    return p;
}

void ImapCache::apply(const ImapPlan& plan, const ImapResult& r)
{
    sqlite3* db = m_con->handle();
    // The body is on the disk before any row names it.
    QString newBody;
    QByteArray indexed;  // what the search reads of it
    if ((r.body || !r.bodyFile.isEmpty()) && plan.bodyUid != 0 && !r.uidValidityChanged) {
        newBody = bodyFile(plan.folder, r.uidValidity, plan.bodyUid);
        const QString path = m_dir + QLatin1Char('/') + newBody;
        const QString failure = r.body ? AtomicFile::write(path, *r.body) : moveInto(r.bodyFile, path);
        if (!failure.isEmpty())
            throw StoreError(QStringLiteral("The message could not be kept: %1").arg(failure));
        // Only its start, as for a message written to a file as it came: a bounded cost for any size.
        indexed = r.body ? r.body->first(std::min(r.body->size(), SearchIndex::kIndexedBytes)) : startOf(path);
    }
    QStringList goneFiles;
    const auto drop = [&](const char* where, const QByteArray& folder, qint64 uid) {
        CacheStatement files(db, where);
        files.bind(1, m_prefix + folder).bind(2, uid);
        while (files.step()) {
            if (!files.isNull(0))
                goneFiles << files.text(0);
        }
    };
    try {
        CacheStatement(db, "BEGIN IMMEDIATE").step();
        // The new headers' search entries are left for later, off the
        // window's thread (SearchIndex::putLeftEntries): on a first sync
        // they cost more than all the rest.
        if (!r.headers.empty())
            SearchIndex::holdEntries(db);
        if (!r.folders.empty()) {
            QSet<QByteArray> listed;
            CacheStatement upsert(db, "INSERT INTO tblImapFolder (Folder, Delimiter, Selectable) VALUES (?,?,?) "
                                      "ON CONFLICT (Folder) DO UPDATE SET Delimiter = excluded.Delimiter, "
                                      "Selectable = excluded.Selectable WHERE Delimiter IS NOT excluded.Delimiter "
                                      "OR Selectable IS NOT excluded.Selectable");
            for (const ImapFolder& f : r.folders) {
                listed.insert(f.name);
                upsert.reset();
                upsert.bind(1, m_prefix + f.name).bind(2, f.delimiter).bind(3, qint64(f.selectable)).step();
            }
            // A folder the server no longer lists goes with what was held of it.
            for (const ImapFolder& held : folders()) {
                if (listed.contains(held.name))
                    continue;
                drop("SELECT BodyFile FROM tblImapMessage WHERE Folder = ? AND Uid >= ?", held.name, 0);
                CacheStatement gone(db, "DELETE FROM tblImapMessage WHERE Folder = ?");
                gone.bind(1, m_prefix + held.name).step();
                CacheStatement(db, "DELETE FROM tblImapFolder WHERE Folder = ?").bind(1, m_prefix + held.name).step();
            }
        }
        CacheStatement folder(db, "INSERT INTO tblImapFolder (Folder, UidValidity, HighestModSeq) VALUES (?,?,?) "
                                  "ON CONFLICT (Folder) DO UPDATE SET UidValidity = excluded.UidValidity, "
                                  "HighestModSeq = excluded.HighestModSeq WHERE UidValidity IS NOT "
                                  "excluded.UidValidity OR HighestModSeq IS NOT excluded.HighestModSeq");
        folder.bind(1, m_prefix + plan.folder).bind(2, qint64(r.uidValidity)).bind(3, qint64(r.highestModSeq)).step();
        // The session gives the flags of every message the plan held that is
        // still there, and none under another UIDVALIDITY: what it does not
        // name is gone. Only flags that changed are written, compared with
        // what the plan read: a sync with nothing new reads and touches no row.
        CacheStatement flags(db, "UPDATE tblImapMessage SET Flags = ? WHERE Folder = ? AND Uid = ?");
        for (auto held = plan.heldFlags.cbegin(); held != plan.heldFlags.cend() && !r.heldAsBefore; ++held) {
            const qint64 uid = held.key();
            const auto now = r.knownFlags.find(held.key());
            if (now != r.knownFlags.end()) {
                if (now->second == held.value())
                    continue;
                flags.reset();
                flags.bind(1, joined(now->second)).bind(2, m_prefix + plan.folder).bind(3, uid).step();
            } else {
                drop("SELECT BodyFile FROM tblImapMessage WHERE Folder = ? AND Uid = ?", plan.folder, uid);
                CacheStatement gone(db, "DELETE FROM tblImapMessage WHERE Folder = ? AND Uid = ?");
                gone.bind(1, m_prefix + plan.folder).bind(2, uid).step();
            }
        }
        // Many rows a statement: the search index flushes what it gathered
        // at the end of each statement, which row by row made it write ten
        // thousand little pieces for a first sync. A statement is made
        // once for each number of rows (the whole and the last).
        std::optional<CacheStatement> insert;
        size_t prepared = 0;
        for (size_t from = 0; from < r.headers.size(); from += kRowsAStatement) {
            const size_t rows = std::min(kRowsAStatement, r.headers.size() - from);
            if (rows != prepared) {
                QByteArray sql = "INSERT OR REPLACE INTO tblImapMessage (Folder, Uid, Flags, Size, Sender, Subject, "
                                 "SendDate, Header, MessageId, InReplyTo, Refs) VALUES (?,?,?,?,?,?,?,?,?,?,?)";
                for (size_t i = 1; i < rows; ++i)
                    sql += ",(?,?,?,?,?,?,?,?,?,?,?)";
                insert.emplace(db, sql.constData());
                prepared = rows;
            } else {
                insert->reset();
            }
            for (size_t i = 0; i < rows; ++i) {
                const ImapHeader& h = r.headers[from + i];
                const ImapShown& shown = h.shown;
                const int at = int(i) * kColumns;
                insert->bind(at + 1, m_prefix + plan.folder)
                    .bind(at + 2, qint64(h.uid))
                    .bind(at + 3, joined(h.flags))
                    .bind(at + 4, qint64(h.size))
                    .bind(at + 5, shown.from)
                    .bind(at + 6, shown.subject)
                    .bind(at + 7, shown.date)
                    .bind(at + 8, h.fields)
                    .bind(at + 9, shown.messageId)
                    .bind(at + 10, shown.inReplyTo)
                    .bind(at + 11, shown.references.join(u' '));
            }
            insert->step();
        }
        if (!newBody.isEmpty()) {
            // A body kept before under the folder's name in hex goes for the new one.
            drop("SELECT BodyFile FROM tblImapMessage WHERE Folder = ? AND Uid = ?", plan.folder, plan.bodyUid);
            goneFiles.removeAll(newBody);
            CacheStatement body(db, "UPDATE tblImapMessage SET BodyFile = ? WHERE Folder = ? AND Uid = ?");
            body.bind(1, newBody).bind(2, m_prefix + plan.folder).bind(3, qint64(plan.bodyUid)).step();
            // The text fetched is found by the search beside the headers.
            CacheStatement row(db, "SELECT rowid, Sender, Subject FROM tblImapMessage WHERE Folder = ? AND Uid = ?");
            if (row.bind(1, m_prefix + plan.folder).bind(2, qint64(plan.bodyUid)).step())
                SearchIndex::putImapMail(db, row.integer(0), row.text(1), row.text(2), decodeMime(indexed).text);
        }
        if (!r.headers.empty())
            SearchIndex::leaveHeldEntries(db);
        CacheStatement(db, "COMMIT").step();
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    for (const QString& file : goneFiles)
        QFile::remove(m_dir + QLatin1Char('/') + file);
}

std::vector<ImapFolder> ImapCache::folders() const
{
    std::vector<ImapFolder> out;
    CacheStatement s(m_con->handle(), "SELECT Folder, Delimiter, Selectable FROM tblImapFolder ORDER BY Folder");
    while (s.step()) {
        // Each account sees its own folders: the first those without a prefix.
        const QByteArray name = s.bytes(0).toByteArray();
        if (m_prefix.isEmpty() ? !name.startsWith('\x01') : name.startsWith(m_prefix))
            out.push_back({name.mid(m_prefix.size()), s.bytes(1).toByteArray(), s.integer(2) != 0});
    }
    return out;
}

std::vector<ImapCachedMessage> ImapCache::messages(const QByteArray& folder) const
{
    std::vector<ImapCachedMessage> out;
    CacheStatement s(m_con->handle(), "SELECT Uid, Flags, Size, Sender, Subject, SendDate, BodyFile IS NOT NULL, "
                                      "MessageId, InReplyTo, Refs FROM tblImapMessage WHERE Folder = ? ORDER BY Uid");
    s.bind(1, m_prefix + folder);
    while (s.step()) {
        out.push_back({quint32(s.integer(0)), flagList(s.bytes(1)), s.integer(2), s.text(3), s.text(4), s.text(5),
                       s.integer(6) != 0, s.text(7), s.text(8), s.text(9).split(u' ', Qt::SkipEmptyParts)});
    }
    return out;
}

std::optional<QByteArrayList> ImapCache::flags(const QByteArray& folder, quint32 uid) const
{
    CacheStatement s(m_con->handle(), "SELECT Flags FROM tblImapMessage WHERE Folder = ? AND Uid = ?");
    s.bind(1, m_prefix + folder).bind(2, qint64(uid));
    if (!s.step())
        return std::nullopt;
    return flagList(s.bytes(0));
}

QByteArray ImapCache::body(const QByteArray& folder, quint32 uid) const
{
    CacheStatement s(m_con->handle(), "SELECT BodyFile FROM tblImapMessage WHERE Folder = ? AND Uid = ?");
    s.bind(1, m_prefix + folder).bind(2, qint64(uid));
    if (!s.step() || s.isNull(0))
        return {};
    QFile file(m_dir + QLatin1Char('/') + s.text(0));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
