#include "store/Backup.h"

#include <sqlite3.h>
#include <stdio.h>

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include "store/Schema.h"
#include "store/StoreError.h"

namespace {

const QString kPrefix = QStringLiteral("Tessaly-");
const QString kSuffix = QStringLiteral(".mdb");
// The file itself, its rollback journal, and its write-ahead log with the log's index.
const QString kCompanions[] = {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")};
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
// A copy being taken and copies being scrubbed wait for each other: a copy
// begun before a password left the store is scrubbed after it is in place.
QMutex copying;

// How long a check waits for another connection of the program (a write, or
// the log being replayed after a crash) before it reads.
constexpr int kBusyWaitMs = 10000;

// A handle that closes itself.
struct Db {
    sqlite3* db = nullptr;
    ~Db() { sqlite3_close_v2(db); }
    QString error() const { return failureReason(db); }
};

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Steps through every row `sql` gives; the error, or empty when all were read.
QString readAll(const Db& d, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        return d.error();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE ? QString() : d.error();
}

// Whether the last failure was another connection holding the file past the
// wait, or a full disk (where a reader cannot even map the log's index):
// that says nothing about the file, so the check gives no verdict.
bool noVerdict(const Db& d)
{
    const int rc = sqlite3_errcode(d.db) & 0xff;
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED || diskIsFull(d.db);
}

QDateTime lastChange(const QString& store)
{
    // A committed write is in the file, or in its log until the checkpoint.
    QDateTime last = QFileInfo(store).lastModified();
    const QFileInfo log(store + QStringLiteral("-wal"));
    if (log.size() > 0)
        last = std::max(last, log.lastModified());
    return last;
}

}  // namespace

QString Backup::problem(const QString& path, Check check)
{
    Db d;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return d.error();
    sqlite3_busy_timeout(d.db, kBusyWaitMs);
    // The schema is read first: a file that cannot be read says why, and only
    // one that reads and lacks the tables is called so (a file cut to nothing
    // is a valid empty database, but not ours any more).
    if (QString why = readAll(d, "SELECT * FROM sqlite_master"); !why.isEmpty())
        return noVerdict(d) ? QString() : why;
    if (!Schema::hasAllTables(d.db))
        return QStringLiteral("the tables of the program are missing");
    if (QString why = readAll(d, "SELECT * FROM tblPass"); !why.isEmpty() || check == Check::Open)
        return noVerdict(d) ? QString() : why;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK)
        return d.error();
    QStringList faults;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const QString line = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        if (line != QLatin1String("ok"))
            faults << line;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return noVerdict(d) ? QString() : d.error();
    return faults.join(QStringLiteral("; "));
}

qint64 Backup::records(const QString& path)
{
    Db d;
    sqlite3_stmt* stmt = nullptr;
    const bool ok =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(d.db,
                              "SELECT (SELECT count(*) FROM tblPass) + (SELECT count(*) FROM tblEmail)"
                              " + (SELECT count(*) FROM tblAddress) + (SELECT count(*) FROM tblOrginize)",
                              -1, &stmt, nullptr)
               == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW;
    const qint64 n = ok ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return n;
}

void Backup::copy(const QString& from, const QString& to)
{
    const QString part = to + QStringLiteral(".part");
    const QDateTime started = QDateTime::currentDateTime();
    const QMutexLocker lock(&copying);  // until the copy is in place
    auto fail = [&](const QString& reason) {
        QFile::remove(part);
        return StoreError(QStringLiteral("The database could not be copied to %1: %2.").arg(native(to), reason));
    };
    // Created empty and owner-only first, so the copy is never readable by others.
    QFile::remove(part);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnly))
        throw fail(file.errorString());
    file.close();
    {
        Db source, target;
        if (sqlite3_open_v2(QFile::encodeName(from).constData(), &source.db, SQLITE_OPEN_READONLY, nullptr)
            != SQLITE_OK)
            throw fail(source.error());
        sqlite3_busy_timeout(source.db, 5000);
        sqlite3_stmt* stmt = nullptr;
        const QByteArray name = QFile::encodeName(part);
        if (sqlite3_prepare_v2(source.db, "VACUUM INTO ?", -1, &stmt, nullptr) != SQLITE_OK)
            throw fail(source.error());
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw fail(source.error());
        // The copy is one file on its own, without a log beside it.
        if (sqlite3_open_v2(name.constData(), &target.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
            || sqlite3_exec(target.db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw fail(target.error());
    }
    // The copy holds what the store held when it started: dated so, a write
    // made meanwhile still counts as a change since.
    if (QFile done(part); done.open(QIODevice::ReadWrite))
        done.setFileTime(started, QFileDevice::FileModificationTime);
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(to).constData()) != 0)
        throw fail(QStringLiteral("the finished copy could not be renamed"));
}

QStringList Backup::backups(const QString& folder)
{
    QStringList paths;
    // The date in the name sorts the copies by age.
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({kPrefix + QStringLiteral("\?\?\?\?-\?\?-\?\?") + kSuffix}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

QStringList Backup::scrub(const QString& folder, const QString& table, const QString& blank)
{
    const QMutexLocker lock(&copying);
    QStringList failures;
    for (const QString& path : backups(folder)) {
        const QDateTime taken = QFileInfo(path).lastModified();
        QString why;
        {
            Db d;
            if (sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db, SQLITE_OPEN_READWRITE, nullptr)
                != SQLITE_OK) {
                why = d.error();
            } else {
                sqlite3_busy_timeout(d.db, 5000);
                const QByteArray has = "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '"
                                       + table.toUtf8().replace('\'', "''") + "'";
                sqlite3_stmt* stmt = nullptr;
                const bool present = sqlite3_prepare_v2(d.db, has.constData(), -1, &stmt, nullptr) == SQLITE_OK
                                     && sqlite3_step(stmt) == SQLITE_ROW;
                sqlite3_finalize(stmt);
                // secure_delete zeroes what the update frees; VACUUM then
                // leaves no free page and no slack in any page.
                const auto run = [&](const QByteArray& sql) {
                    if (why.isEmpty() && sqlite3_exec(d.db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                        why = d.error();
                };
                run("PRAGMA secure_delete=ON");
                if (present)
                    run(blank.toUtf8());
                run("VACUUM");
            }
        }
        if (!why.isEmpty()) {
            failures << QStringLiteral("The backup %1 still holds a password that has moved to the keyring: %2.")
                            .arg(native(path), why);
            continue;
        }
        // Dated as before: it still holds the store as it was then.
        if (QFile done(path); done.open(QIODevice::ReadWrite))
            done.setFileTime(taken, QFileDevice::FileModificationTime);
    }
    return failures;
}

QString Backup::daily(const QString& store, const QString& folder, QDate today)
{
    if (!QDir().mkpath(folder))
        throw StoreError(QStringLiteral("The folder %1 could not be created.").arg(native(folder)));
    QFile::setPermissions(folder, kOwnerOnly | QFile::ExeOwner);
    QString target = QDir(folder).filePath(kPrefix + today.toString(Qt::ISODate) + kSuffix);
    const QFileInfo taken(target);
    if (taken.exists() && (lastChange(store) <= taken.lastModified() || records(store) < records(target)))
        return QString();
    copy(store, target);
    QStringList all = backups(folder);
    while (all.size() > kKept)
        QFile::remove(all.takeFirst());
    return target;
}

QString Backup::asideName(const QString& store, QDate today)
{
    const QFileInfo info(store);
    const QString stem =
        info.dir().filePath(info.completeBaseName() + QStringLiteral("-damaged-") + today.toString(Qt::ISODate));
    QString target = stem + kSuffix;
    const auto taken = [](const QString& name) {
        for (const QString& suffix : kCompanions)
            if (QFileInfo::exists(name + suffix))
                return true;
        return false;
    };
    for (int n = 2; taken(target); ++n)
        target = stem + QStringLiteral("-%1").arg(n) + kSuffix;
    return target;
}

QString Backup::putAside(const QString& store, QDate today)
{
    QString target = asideName(store, today);
    if (!QFile::rename(store, target))
        throw StoreError(QStringLiteral("The damaged database %1 could not be renamed.").arg(native(store)));
    // A journal or log left by a crash belongs to the damaged file; it must
    // not be played into the one that replaces it.
    for (const QString& suffix : kCompanions)
        if (!suffix.isEmpty() && QFileInfo::exists(store + suffix))
            QFile::rename(store + suffix, target + suffix);
    return target;
}
