#include "store/Connection.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/RecordsChanged.h"
#include "store/Schema.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace {
// Every row this connection writes (triggers' rows too) goes to the
// program's notice; a refused write's rows go too, and a listener that
// reads again finds them as they were.
void noteRow(void* db, int, const char*, const char* table, sqlite3_int64 key)
{
    RecordsChanged::instance().noteRow(table, key, static_cast<const sqlite3*>(db));
}

QString cannotOpen(const QString& path, const QString& reason)
{
    return QStringLiteral("The database file %1 could not be opened: %2.").arg(QDir::toNativeSeparators(path), reason);
}
}  // namespace

Connection::Connection() = default;

Connection::~Connection()
{
    Close();
}

void Connection::Open(const QString& path)
{
    Close();
    m_retry = path;
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists())
        throw StoreError(cannotOpen(
            path, QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.filePath()))));
    if (!folder.isDir())
        throw StoreError(cannotOpen(
            path, QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(folder.filePath()))));
    const bool isNew = !file.exists();

    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = failureReason(db);
        sqlite3_close(db);
        throw StoreError(cannotOpen(path, reason));
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_extended_result_codes(db, 1);
    try {
        // Reading the schema is the first access to the file, so a file that is
        // not a database is caught here rather than at the first query.
        Schema::create(db);
        // The index and its triggers exist from the first write on; filling
        // an old store's index is the program's start's business.
        SearchIndex::prepare(db);
    } catch (const StoreError& e) {
        sqlite3_close(db);
        throw StoreError(cannotOpen(path, e.reason()));
    }
    if (isNew)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    // A write-ahead log: a save appends to the log and syncs only at a
    // checkpoint, and readers never wait for a writer. Every committed row
    // still survives the process being killed; only a power cut can take
    // the last commits. The log files take the file's own owner-only mode.
    // A folder where the log cannot be made leaves the ordinary journal.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    // Pages kept in memory, up to 8 MB: a count over 100,000 rows walks an
    // index of 2 MB, which in SQLite's default 2 MB is read again from the
    // file on every count.
    sqlite3_exec(db, "PRAGMA cache_size=-8192", nullptr, nullptr, nullptr);
    sqlite3_update_hook(db, noteRow, db);
    m_db = db;
    m_path = path;
    m_retry.clear();
}

void Connection::Close()
{
    m_retry.clear();
    m_prepared.clear();
    if (m_db) {
        // Other screens may still hold the file open, so the last close may
        // not be this one: the log is copied into the file now, so that a
        // copy of the file alone holds every committed row.
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

sqlite3* Connection::handle()
{
    if (!m_db && !m_retry.isEmpty())
        Open(QString(m_retry));  // a copy: Open() starts by forgetting it
    if (!m_db)
        throw StoreError(QStringLiteral("The database is not open."));
    return m_db;
}

Statement& Connection::prepared(const QString& sql)
{
    sqlite3* db = handle();
    std::unique_ptr<Statement>& kept = m_prepared[sql];
    if (!kept)
        kept = std::make_unique<Statement>(db, sql);
    else
        kept->clear();
    return *kept;
}
