#include "mail/MailStore.h"

#include "kit/Worker.h"
#include "mail/MimeMessage.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"
#include "store/StoreError.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblMailbox (
  MailKey  TEXT PRIMARY KEY,
  FileName TEXT NOT NULL,
  Sender   TEXT NOT NULL DEFAULT '',
  Subject  TEXT NOT NULL DEFAULT '',
  SendDate TEXT NOT NULL DEFAULT '',
  Size     INTEGER NOT NULL DEFAULT 0,
  Folder   TEXT NOT NULL DEFAULT 'Inbox',
  MessageId TEXT,
  InReplyTo TEXT,
  Refs      TEXT
);
-- Servers without STLS the user allowed to take the login in clear.
CREATE TABLE IF NOT EXISTS tblMailClearLogin (
  Host TEXT PRIMARY KEY
);
-- Servers that gave a secure connection on request (STLS, STARTTLS) when
-- last reached: one that no longer offers it is asked about again.
CREATE TABLE IF NOT EXISTS tblMailStartTls (
  Host TEXT PRIMARY KEY
);
-- How the check screen lists the mail, by name: 'Conversations' = '1'.
CREATE TABLE IF NOT EXISTS tblMailView (
  Name  TEXT PRIMARY KEY,
  Value TEXT NOT NULL
);
)sql";

// A store made before the Sent folder has no Folder column: its rows are all received mail.
constexpr const char* kAddFolder = "ALTER TABLE tblMailbox ADD COLUMN Folder TEXT NOT NULL DEFAULT 'Inbox'";

// What threads a message, added to older stores; NULL until its file's header is read.
constexpr const char* kAddThreading[] = {"ALTER TABLE tblMailbox ADD COLUMN MessageId TEXT",
                                         "ALTER TABLE tblMailbox ADD COLUMN InReplyTo TEXT",
                                         "ALTER TABLE tblMailbox ADD COLUMN Refs TEXT"};

// The Maildir++ subfolder of sent mail, inside the Maildir.
const QString kSentFolder = QStringLiteral(".Sent");

QString folderName(MailFolder folder)
{
    return folder == MailFolder::Sent ? QStringLiteral("Sent") : QStringLiteral("Inbox");
}

// The rows of the account the store was opened for, by the prefix of their
// keys (parameter 2): the first account's have none, and never begin with
// the control character that starts the others'.
#define kOwnRows "AND substr(MailKey, 1, length(?2)) = ?2 AND (?2 <> '' OR substr(MailKey, 1, 1) <> char(1)) "

// Every statement on the kept mail names it when it fails.
class MailStatement : public Statement {
public:
    MailStatement(sqlite3* db, const char* sql)
        : Statement(db, QString::fromUtf8(sql),
                    QStringLiteral("The kept mail (tblMailbox) could not be read or written: %1"))
    {
    }
};

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("The message file %1 could not be written: %2").arg(QDir::toNativeSeparators(path), reason);
}

// What waits to be written may come from the server faster than the disk
// takes it: beyond this much, the store waits for the writer.
constexpr qsizetype kMostWaiting = qsizetype(4) * 1024 * 1024;

// The longest a written message waits for its batch's flush.
constexpr std::chrono::milliseconds kBatch(500);

// The most a batch holds of its messages' rows and texts for the search
// before it is flushed, whatever its age: a fast server's half second of
// mail would otherwise all wait in memory for one transaction.
constexpr qsizetype kBatchBytes = qsizetype(2) * 1024 * 1024;

// Enough of a sent message to hold its header: the attachments come after it.
constexpr qint64 kHeaderBytes = qint64(256) * 1024;

}  // namespace

// The thread that writes the messages to their files and decodes their
// rows' columns, in the order taken, while the window's thread goes on
// fetching: each file made in tmp/ and moved into new/ once whole. What it
// has written it seals in batches at most kBatch apart or kBatchBytes large:
// the file system flushed to the disk once, on a thread of its own while
// the next batch is written.
class MailStore::Writer {
public:
    struct Written {
        KeptMessage row;
        QString text;  // decoded, for the search index
        QString name;  // in new/
        QString failure;
    };

    explicit Writer(const QString& dir)
        : m_dir(dir)
        , m_folder(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        m_worker.post([this] { run(); });
    }
    ~Writer()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_worker.stop();
        m_flusher.stop();
        closeOpen(true);
        if (m_folder >= 0)
            ::close(m_folder);
        // Written but never sealed, or sealed and never committed: no row names them.
        for (const Written& w : m_written)
            QFile::remove(m_dir + QStringLiteral("/new/") + w.name);
        for (const Written& w : m_sealed)
            QFile::remove(m_dir + QStringLiteral("/new/") + w.name);
    }

    // A message's file: begun in tmp/ under `name`, written a piece at a
    // time, then moved into new/ and read for its row under `key`, or
    // dropped with nothing of it left.
    void begin(const QString& name) { post({Job::Begin, {}, name, {}}); }
    void append(const QByteArray& piece) { post({Job::Piece, {}, {}, piece}); }
    void end(const QString& key) { post({Job::End, key, {}, {}}); }
    void drop() { post({Job::Drop, {}, {}, {}}); }

    // The sealed messages, in the order added: with `all`, once every
    // message added so far is; `failure` says why a batch was not.
    std::vector<Written> take(bool all, QString& failure)
    {
        std::unique_lock lock(m_mutex);
        if (all) {
            m_sealAll = true;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return !m_sealAll; });
        }
        failure = std::exchange(m_failure, QString());
        return std::exchange(m_sealed, {});
    }

    // Whether a batch is on the disk and waits to be taken.
    bool sealed()
    {
        const std::lock_guard lock(m_mutex);
        return !m_sealed.empty();
    }

private:
    struct Job {
        enum Kind { Begin, Piece, End, Drop } kind;
        QString key;
        QString name;
        QByteArray raw;
    };

    void post(Job job)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_waitingBytes < kMostWaiting; });
        m_waitingBytes += job.raw.size();
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
    }

    // The message whose file is being written (on the writer's thread).
    struct Open {
        int fd = -1;
        QString tmp;
        Written done;
        QByteArray start;  // its first SearchIndex::kIndexedBytes: its row's columns are read from it too
    };

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            // One flush at a time: what is written meanwhile waits for the next.
            const bool due = !m_written.empty() && !m_flushing
                             && (m_writtenBytes >= kBatchBytes || m_batchAge.hasExpired(kBatch.count())
                                 || (m_sealAll && m_jobs.empty()));
            if (m_stopping)
                return;
            if (due) {
                m_flushing = true;
                m_writtenBytes = 0;
                m_flusher.post([this, batch = std::exchange(m_written, {})]() mutable {
                    const QString failure = seal(batch);
                    const std::lock_guard lock(m_mutex);
                    std::move(batch.begin(), batch.end(), std::back_inserter(m_sealed));
                    if (m_failure.isEmpty())
                        m_failure = failure;
                    m_flushing = false;
                    m_changed.notify_all();
                });
            } else if (!m_jobs.empty()) {
                Job job = std::move(m_jobs.front());
                m_jobs.pop_front();
                lock.unlock();
                std::optional<Written> w = write(job);
                lock.lock();
                m_waitingBytes -= job.raw.size();
                if (w) {
                    if (m_written.empty())
                        m_batchAge.start();
                    m_writtenBytes += heldBytes(*w);
                    m_written.push_back(std::move(*w));
                }
            } else if (m_sealAll && m_written.empty() && !m_flushing) {
                m_sealAll = false;  // all added is sealed
            } else if (m_written.empty() || m_flushing) {
                m_changed.wait(lock);
                continue;
            } else {
                m_changed.wait_for(lock, kBatch - std::chrono::milliseconds(m_batchAge.elapsed()));
                continue;
            }
            m_changed.notify_all();
        }
    }

    // A step of the open file; a whole message gives its row's columns.
    std::optional<Written> write(const Job& job)
    {
        switch (job.kind) {
        case Job::Begin:
            closeOpen(true);
            m_open.tmp = m_dir + QStringLiteral("/tmp/") + job.name;
            m_open.done = {{}, {}, job.name, {}};
            m_open.fd =
                ::open(QFile::encodeName(m_open.tmp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (m_open.fd < 0)
                m_open.done.failure = cannotWrite(m_open.tmp, systemReason());
            return std::nullopt;
        case Job::Piece:
            writePiece(job.raw);
            return std::nullopt;
        case Job::Drop:
            closeOpen(true);
            return std::nullopt;
        case Job::End:
            break;
        }
        Written w = std::move(m_open.done);
        const qint64 size = w.row.size;
        w.row.key = job.key;
        const QByteArray path = QFile::encodeName(m_open.tmp);
        if (m_open.fd >= 0 && ::close(std::exchange(m_open.fd, -1)) != 0 && w.failure.isEmpty())
            w.failure = cannotWrite(m_open.tmp, systemReason());
        if (w.failure.isEmpty()
            && ::rename(path.constData(), QFile::encodeName(m_dir + QStringLiteral("/new/") + w.name).constData()) != 0)
            w.failure = cannotWrite(m_open.tmp, QStringLiteral("it cannot be moved to new/: %1").arg(systemReason()));
        const QByteArray start = std::exchange(m_open.start, QByteArray());
        m_open = Open();
        if (!w.failure.isEmpty()) {
            ::unlink(path.constData());
            return w;
        }
        // Read once, for the list's columns and the search index's text:
        // only its start, so a message of any size costs a bounded decoding.
        MimeMessage decoded = decodeMime(start);
        // The size in octets, as servers and other readers give it, not in characters.
        w.row = {job.key, decoded.from,      decoded.subject,   decoded.date,
                 size,    decoded.messageId, decoded.inReplyTo, decoded.references};
        w.text = std::move(decoded.text);
        return w;
    }

    void writePiece(const QByteArray& piece)
    {
        Written& w = m_open.done;
        if (m_open.start.size() < SearchIndex::kIndexedBytes)
            m_open.start.append(piece.first(std::min(piece.size(), SearchIndex::kIndexedBytes - m_open.start.size())));
        w.row.size += piece.size();
        const char* data = piece.constData();
        for (qsizetype left = piece.size(); left > 0 && w.failure.isEmpty();) {
            const ssize_t n = ::write(m_open.fd, data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                w.failure = cannotWrite(m_open.tmp, n < 0 ? systemReason() : QStringLiteral("nothing was written"));
            data += n;
            left -= n;
        }
    }

    // What a written message holds until its row is committed: its texts.
    static qsizetype heldBytes(const Written& w)
    {
        const KeptMessage& r = w.row;
        qsizetype chars = w.text.size() + w.name.size() + r.key.size() + r.from.size() + r.subject.size()
                          + r.date.size() + r.messageId.size() + r.inReplyTo.size();
        for (const QString& id : r.references)
            chars += id.size();
        return chars * qsizetype(sizeof(QChar));
    }

    // A message never ended leaves nothing behind.
    void closeOpen(bool remove)
    {
        if (m_open.fd >= 0)
            ::close(std::exchange(m_open.fd, -1));
        if (remove && !m_open.tmp.isEmpty())
            ::unlink(QFile::encodeName(m_open.tmp).constData());
        m_open = Open();
    }

    // One flush of the file system for the files, their names and the
    // folder: the batch's messages are on the disk before a row names them.
    QString seal(const std::vector<Written>& batch)
    {
        QString failure;
        for (const Written& w : batch) {
            if (failure.isEmpty())
                failure = w.failure;
        }
        if ((m_folder < 0 || ::syncfs(m_folder) != 0) && failure.isEmpty())
            failure = cannotWrite(m_dir, systemReason());
        return failure;
    }

    const QString m_dir;
    const int m_folder;  // open from the start, so the flush reports every failure since
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    Open m_open;
    qsizetype m_waitingBytes = 0;
    std::vector<Written> m_written;  // in tmp/, not sealed yet
    qsizetype m_writtenBytes = 0;    // what they hold in memory
    QElapsedTimer m_batchAge;        // since the first of them was written
    bool m_sealAll = false;
    bool m_flushing = false;        // a batch is on its way to the disk
    std::vector<Written> m_sealed;  // not taken yet
    QString m_failure;
    bool m_stopping = false;
    // The flush of a batch runs beside the writing of the next.
    Worker m_flusher;
    Worker m_worker;  // last: it starts once the rest is there
};

MailStore::MailStore() = default;

MailStore::~MailStore()
{
    try {
        commit();
    } catch (const StoreError&) {
        // None of the batch is kept; what is left of its files goes at the next opening.
    }
}

QList<KeptMessage> MailStore::commit()
{
    return commit(true);
}

QList<KeptMessage> MailStore::commitWritten()
{
    return commit(false);
}

bool MailStore::batchWaiting() const
{
    return m_writer && m_writer->sealed();
}

QList<KeptMessage> MailStore::commit(bool all)
{
    // A message never ended by now never will be.
    if (all)
        dropMessage();
    if (!m_writer || m_taken.isEmpty())
        return {};
    QString failure;
    const std::vector<Writer::Written> batch = m_writer->take(all, failure);
    for (const Writer::Written& w : batch)
        m_taken.remove(w.row.key);
    if (m_taken.isEmpty())
        m_contains.reset();
    const auto discard = [&] {
        for (const Writer::Written& w : batch) {
            QFile::remove(accountDir() + QStringLiteral("/new/") + w.name);
            QFile::remove(accountDir() + QStringLiteral("/tmp/") + w.name);
        }
    };
    if (!failure.isEmpty()) {
        discard();
        throw StoreError(failure);
    }
    if (batch.empty())
        return {};
    QList<KeptMessage> kept;
    sqlite3* db = m_con->handle();
    try {
        MailStatement(db, "BEGIN IMMEDIATE").step();
        MailStatement insert(
            db, "INSERT INTO tblMailbox (MailKey, FileName, Sender, Subject, SendDate, Size, MessageId, InReplyTo, "
                "Refs) VALUES (?,?,?,?,?,?,?,?,?)");
        for (const Writer::Written& w : batch) {
            insert.reset();
            insert.bind(1, m_prefix + w.row.key)
                .bind(2, m_sub + QStringLiteral("new/") + w.name)
                .bind(3, w.row.from)
                .bind(4, w.row.subject)
                .bind(5, w.row.date)
                .bind(6, w.row.size)
                .bind(7, w.row.messageId)
                .bind(8, w.row.inReplyTo)
                .bind(9, w.row.references.join(u' '))
                .step();
            SearchIndex::putMail(db, sqlite3_last_insert_rowid(db), w.row.from, w.row.subject, w.text);
            kept.append(w.row);
        }
        insert.reset();
        MailStatement(db, "COMMIT").step();
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        discard();
        throw;
    }
    // The pages the batch wrote (its texts for the search, mostly) are not
    // read again by the check: they leave the connection's cache rather than
    // fill it to its limit over a large mailbox.
    sqlite3_db_release_memory(db);
    return kept;
}

// What a crash left: files in tmp/, and files in new/ whose row was never
// committed. Files this process names are on their way (a check or a send
// running in the other mail window) and stay.
void MailStore::removeStrays()
{
    QSet<QString> known;
    MailStatement s(m_con->handle(), "SELECT FileName FROM tblMailbox");
    while (s.step())
        known.insert(s.text(0));
    for (const QString& sub : {QStringLiteral("tmp/"), QStringLiteral("new/"), kSentFolder + QStringLiteral("/tmp/"),
                               kSentFolder + QStringLiteral("/new/")}) {
        QDir dir(accountDir() + QLatin1Char('/') + sub);
        for (const QString& name : dir.entryList(QDir::Files)) {
            if (!known.contains(m_sub + sub + name) && !name.contains(m_process))
                dir.remove(name);
        }
    }
}

void MailStore::open(Connection& con, const QString& maildir, const QString& account, const QString& keyPrefix)
{
    sqlite3* db = con.handle();
    char* error = nullptr;
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error);
        sqlite3_free(error);
        throw StoreError(QStringLiteral("The kept mail (tblMailbox) could not be set up: %1").arg(reason));
    }
    if (sqlite3_exec(db, "SELECT Folder FROM tblMailbox LIMIT 0", nullptr, nullptr, nullptr) != SQLITE_OK)
        MailStatement(db, kAddFolder).step();
    if (sqlite3_exec(db, "SELECT MessageId FROM tblMailbox LIMIT 0", nullptr, nullptr, nullptr) != SQLITE_OK)
        for (const char* add : kAddThreading)
            MailStatement(db, add).step();
    const QString base = account.isEmpty() ? maildir : maildir + QLatin1Char('/') + account.chopped(1);
    for (const QString& folder : {QString(), QLatin1Char('/') + kSentFolder}) {
        for (const char* sub : {"", "/tmp", "/new", "/cur"}) {
            const QString path = base + folder + QLatin1String(sub);
            if (!QDir().mkpath(path))
                throw StoreError(cannotWrite(path, QStringLiteral("the folder cannot be made")));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    // What tells other Maildir readers that .Sent is a folder of this Maildir.
    QFile marker(base + QLatin1Char('/') + kSentFolder + QStringLiteral("/maildirfolder"));
    if (!marker.exists())
        marker.open(QIODevice::WriteOnly);
    m_con = &con;
    m_dir = maildir;
    m_sub = account;
    m_prefix = keyPrefix;
    m_process = QStringLiteral(".P%1Q").arg(QCoreApplication::applicationPid());
    m_host = QLatin1Char('.') + QSysInfo::machineHostName().remove(QLatin1Char('/')).remove(QLatin1Char(':'));
    removeStrays();
    readThreading();
}

// Rows kept before the threading columns were: their files' headers read once.
void MailStore::readThreading()
{
    sqlite3* db = m_con->handle();
    std::vector<std::pair<qint64, QString>> unread;
    MailStatement s(db, "SELECT rowid, FileName FROM tblMailbox WHERE MessageId IS NULL AND FileName <> ''");
    while (s.step())
        unread.emplace_back(s.integer(0), s.text(1));
    if (unread.empty())
        return;
    try {
        MailStatement(db, "BEGIN IMMEDIATE").step();
        MailStatement update(db, "UPDATE tblMailbox SET MessageId = ?, InReplyTo = ?, Refs = ? WHERE rowid = ?");
        for (const auto& [row, name] : unread) {
            QFile file(m_dir + QLatin1Char('/') + name);
            const MimeMessage header =
                decodeMimeHeader(file.open(QIODevice::ReadOnly) ? file.read(kHeaderBytes) : QByteArray());
            update.reset();
            update.bind(1, header.messageId)
                .bind(2, header.inReplyTo)
                .bind(3, header.references.join(u' '))
                .bind(4, row)
                .step();
        }
        update.reset();
        MailStatement(db, "COMMIT").step();
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

QList<KeptMessage> MailStore::messages(MailFolder folder) const
{
    QList<KeptMessage> out;
    MailStatement s(m_con->handle(),
                    "SELECT MailKey, Sender, Subject, SendDate, Size, MessageId, InReplyTo, Refs FROM tblMailbox "
                    "WHERE FileName <> '' AND Folder = ? " kOwnRows "ORDER BY rowid");
    s.bind(1, folderName(folder)).bind(2, m_prefix);
    while (s.step())
        out.append({s.text(0).mid(m_prefix.size()), s.text(1), s.text(2), s.text(3), s.integer(4), s.text(5), s.text(6),
                    s.text(7).split(u' ', Qt::SkipEmptyParts)});
    return out;
}

QSet<QString> MailStore::keys() const
{
    QSet<QString> out;
    MailStatement s(m_con->handle(), "SELECT MailKey FROM tblMailbox WHERE 1 " kOwnRows);
    s.bind(2, m_prefix);
    while (s.step())
        out.insert(s.text(0).mid(m_prefix.size()));
    return out;
}

bool MailStore::contains(const QString& key) const
{
    if (!m_contains)
        m_contains = std::make_unique<MailStatement>(m_con->handle(), "SELECT 1 FROM tblMailbox WHERE MailKey = ?");
    m_contains->reset();
    const bool found = m_contains->bind(1, m_prefix + key).step();
    m_contains->reset();
    return found;
}

QString MailStore::fileOf(const QString& key) const
{
    MailStatement s(m_con->handle(), "SELECT FileName FROM tblMailbox WHERE MailKey = ?");
    return s.bind(1, m_prefix + key).step() && !s.text(0).isEmpty() ? m_dir + QLatin1Char('/') + s.text(0) : QString();
}

bool MailStore::keep(const QString& key, const QByteArray& raw)
{
    if (m_taken.contains(key) || contains(key))
        return false;
    beginMessage();
    appendMessage(raw);
    return endMessage(key);
}

void MailStore::beginMessage()
{
    dropMessage();
    if (!m_writer)
        m_writer = std::make_unique<Writer>(accountDir());
    // A Maildir name no other writer makes: time, process, a counter, host.
    m_writer->begin(QString::number(QDateTime::currentMSecsSinceEpoch()) + m_process + QString::number(++m_written)
                    + m_host);
    m_incoming = true;
}

void MailStore::appendMessage(const QByteArray& piece)
{
    if (m_incoming && !piece.isEmpty())
        m_writer->append(piece);
}

bool MailStore::endMessage(const QString& key)
{
    if (!m_incoming)
        return false;
    if (m_taken.contains(key) || contains(key)) {
        dropMessage();
        return false;
    }
    m_incoming = false;
    m_taken.insert(key);
    m_writer->end(key);
    return true;
}

void MailStore::dropMessage()
{
    if (std::exchange(m_incoming, false))
        m_writer->drop();
}

SentCopy::~SentCopy()
{
    if (!m_file.fileName().isEmpty())
        m_file.remove();
}

void SentCopy::append(const QByteArray& bytes)
{
    if (m_failure.isEmpty() && m_file.write(bytes) != bytes.size())
        m_failure = cannotWrite(m_file.fileName(), m_file.errorString());
    m_written += bytes.size();
    // A large copy goes to the disk while the message is sent: keeping it
    // then waits for its last few megabytes, not for all of it. (This only
    // starts the writing; keepSent's fsync still makes sure of it.)
    constexpr qint64 kWriteBehind = qint64(8) << 20;
    if (m_failure.isEmpty() && m_written - m_sentToDisk >= kWriteBehind && m_file.flush()) {
        ::sync_file_range(m_file.handle(), m_sentToDisk, m_written - m_sentToDisk, SYNC_FILE_RANGE_WRITE);
        m_sentToDisk = m_written;
    }
}

std::unique_ptr<SentCopy> MailStore::beginSent()
{
    auto copy = std::make_unique<SentCopy>();
    copy->m_name =
        QString::number(QDateTime::currentMSecsSinceEpoch()) + m_process + QString::number(++m_written) + m_host;
    copy->m_file.setFileName(accountDir() + QLatin1Char('/') + kSentFolder + QStringLiteral("/tmp/") + copy->m_name);
    if (!copy->m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw StoreError(cannotWrite(copy->m_file.fileName(), copy->m_file.errorString()));
    return copy;
}

KeptMessage MailStore::keepSent(SentCopy& copy, const QString& text)
{
    const QString tmp = copy.m_file.fileName();
    const QString fileName = m_sub + kSentFolder + QStringLiteral("/new/") + copy.m_name;
    const QString path = m_dir + QLatin1Char('/') + fileName;
    if (copy.m_failure.isEmpty() && (!copy.m_file.flush() || ::fsync(copy.m_file.handle()) != 0))
        copy.m_failure = cannotWrite(tmp, systemReason());
    copy.m_file.close();
    if (copy.m_failure.isEmpty()
        && ::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0)
        copy.m_failure = cannotWrite(tmp, QStringLiteral("it cannot be moved to new/: %1").arg(systemReason()));
    if (!copy.m_failure.isEmpty())
        throw StoreError(copy.m_failure);
    copy.m_file.setFileName(path);  // removed with the copy, unless its row is in
    const int folder =
        ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    if (!synced)
        throw StoreError(cannotWrite(path, systemReason()));

    QFile file(path);
    const QByteArray raw = file.open(QIODevice::ReadOnly) ? file.read(kHeaderBytes) : QByteArray();
    const MimeMessage header = decodeMimeHeader(raw);
    KeptMessage row{QStringLiteral("Sent ") + copy.m_name,
                    header.from,
                    header.subject,
                    header.date,
                    QFileInfo(path).size(),
                    header.messageId,
                    header.inReplyTo,
                    header.references};
    MailStatement(m_con->handle(),
                  "INSERT INTO tblMailbox (MailKey, FileName, Sender, Subject, SendDate, Size, Folder, MessageId, "
                  "InReplyTo, Refs) VALUES (?,?,?,?,?,?,'Sent',?,?,?)")
        .bind(1, m_prefix + row.key)
        .bind(2, fileName)
        .bind(3, row.from)
        .bind(4, row.subject)
        .bind(5, row.date)
        .bind(6, row.size)
        .bind(7, row.messageId)
        .bind(8, row.inReplyTo)
        .bind(9, row.references.join(u' '))
        .step();
    // Found by the search as received mail is, by its text.
    SearchIndex::putMail(m_con->handle(), sqlite3_last_insert_rowid(m_con->handle()), row.from, row.subject, text);
    copy.m_file.setFileName(QString());
    return row;
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
    MailStatement s(m_con->handle(), "SELECT MailKey FROM tblMailbox WHERE FileName = '' " kOwnRows);
    s.bind(2, m_prefix);
    while (s.step())
        if (!listed.contains(s.text(0).mid(m_prefix.size())))
            gone << s.text(0);
    for (const QString& key : gone)
        MailStatement(m_con->handle(), "DELETE FROM tblMailbox WHERE MailKey = ?").bind(1, key).step();
}

bool MailStore::mayLogInClear(const QString& host) const
{
    return MailStatement(m_con->handle(), "SELECT 1 FROM tblMailClearLogin WHERE Host = ?")
        .bind(1, host.toLower())
        .step();
}

void MailStore::allowLoginInClear(const QString& host)
{
    MailStatement(m_con->handle(), "INSERT OR IGNORE INTO tblMailClearLogin (Host) VALUES (?)")
        .bind(1, host.toLower())
        .step();
    // Allowed knowing that the server no longer offers a secure connection.
    MailStatement(m_con->handle(), "DELETE FROM tblMailStartTls WHERE Host = ?").bind(1, host.toLower()).step();
}

bool MailStore::showsConversations() const
{
    MailStatement s(m_con->handle(), "SELECT Value FROM tblMailView WHERE Name = 'Conversations'");
    return s.step() && s.text(0) == QLatin1String("1");
}

void MailStore::showConversations(bool shown)
{
    MailStatement(m_con->handle(), "INSERT OR REPLACE INTO tblMailView (Name, Value) VALUES ('Conversations', ?)")
        .bind(1, shown ? QStringLiteral("1") : QStringLiteral("0"))
        .step();
}

bool MailStore::offeredStartTls(const QString& host) const
{
    return MailStatement(m_con->handle(), "SELECT 1 FROM tblMailStartTls WHERE Host = ?")
        .bind(1, host.toLower())
        .step();
}

void MailStore::noteStartTls(const QString& host)
{
    MailStatement(m_con->handle(), "INSERT OR IGNORE INTO tblMailStartTls (Host) VALUES (?)")
        .bind(1, host.toLower())
        .step();
}

void MailStore::remove(const QString& key)
{
    const QString path = fileOf(key);
    // The row stays without its file, so the next check does not fetch the
    // message again from the server, where it stays.
    MailStatement(m_con->handle(), "UPDATE tblMailbox SET FileName = '' WHERE MailKey = ?")
        .bind(1, m_prefix + key)
        .step();
    MailStatement row(m_con->handle(), "SELECT rowid FROM tblMailbox WHERE MailKey = ?");
    if (row.bind(1, m_prefix + key).step())
        SearchIndex::removeMail(m_con->handle(), row.integer(0));
    if (!path.isEmpty())
        QFile::remove(path);
}
