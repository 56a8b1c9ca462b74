#include "kit/StoreStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/Clock.h"
#include "store/Backup.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace {
constexpr QFile::Permissions kOwnerFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOwnerFolder = kOwnerFile | QFile::ExeOwner;

void ownFolder(const QString& folder, const QStringList& files)
{
    if (!QFileInfo(folder).isDir())
        return;
    QFile::setPermissions(folder, kOwnerFolder);
    const QDir dir(folder);
    for (const QString& name : dir.entryList(files, QDir::Files | QDir::Hidden))
        QFile::setPermissions(dir.filePath(name), kOwnerFile);
}

// The message about a damaged database: the file, the reason, the name it
// would be put aside under, then what the user may go on with.
QString storeDamagedText(const QString& store, const QString& problem, const QString& aside,
                         const QString& newestBackupDate)
{
    QString text = QStringLiteral("The database file %1 cannot be used: %2.\n\n"
                                  "It can be put aside as %3 (nothing is deleted) and the program can go on ")
                       .arg(QDir::toNativeSeparators(store), problem, aside);
    if (newestBackupDate.isEmpty())
        return text + QStringLiteral("with an empty database (OK). Cancel leaves the file as it is.");
    return text
           + QStringLiteral("with the newest backup, of %1 (Yes), or with an empty database (No). "
                            "Cancel leaves the file as it is.")
                 .arg(newestBackupDate);
}

// Left by a check that found the store damaged while the program ran: the
// next start checks the whole file before the login.
QString damageNote()
{
    return AppFolder::backupFolder() + QStringLiteral("/Damaged.txt");
}

}  // namespace

std::optional<DamagedStore> checkStoreAtStart()
{
    const QString store = AppFolder::databaseFile();
    if (!QFileInfo(store).isFile())
        return std::nullopt;
    const bool suspect = QFileInfo::exists(damageNote());
    const QString problem = Backup::problem(store, suspect ? Backup::Check::Full : Backup::Check::Open);
    if (problem.isEmpty()) {
        if (suspect)
            QFile::remove(damageNote());
        return std::nullopt;
    }
    // The newest copy that is itself sound (a copy taken from a file already
    // going bad would only bring the damage back) and, where one does, holds
    // records: an empty copy is offered only when no fuller one exists.
    QStringList backups = Backup::backups(AppFolder::backupFolder());
    while (!backups.isEmpty() && !Backup::problem(backups.last()).isEmpty())
        backups.removeLast();
    for (qsizetype i = backups.size() - 1; i >= 0; --i) {
        if (Backup::records(backups[i]) > 0) {
            backups = backups.mid(0, i + 1);
            break;
        }
    }
    const QString backup = backups.isEmpty() ? QString() : backups.last();
    const QDate today = Clock::today();
    QString newest;
    if (!backup.isEmpty())
        newest = Clock::dateText(QDate::fromString(QFileInfo(backup).completeBaseName().right(10), Qt::ISODate));
    return DamagedStore{store, backup, today,
                        storeDamagedText(store, problem, QFileInfo(Backup::asideName(store, today)).fileName(), newest),
                        backup.isEmpty() ? MsgButtons::OKCancel : MsgButtons::YesNoCancel};
}

void recoverStore(const DamagedStore& damaged, MsgResult answer)
{
    if (answer == MsgResult::Cancel)
        return;
    QFile::remove(damageNote());
    Backup::putAside(damaged.file, damaged.today);
    if (answer == MsgResult::Yes)
        Backup::copy(damaged.backup, damaged.file);
    // Opening creates the empty database when no backup was taken.
    Connection fresh;
    fresh.Open(damaged.file);
}

StoreCheck::~StoreCheck() = default;

void StoreCheck::start()
{
    if (std::exchange(m_started, true))
        return;
    m_worker.post(&StoreCheck::run, this, [this](const QString& problem) { emit finished(problem); });
}

void StoreCheck::wait()
{
    m_worker.finish();
}

QString StoreCheck::run()
{
    const QString store = AppFolder::databaseFile();
    if (!QFileInfo(store).isFile())
        return QString();
    const QString problem = Backup::problem(store);
    if (!problem.isEmpty()) {
        if (QDir().mkpath(AppFolder::backupFolder()))
            AtomicFile::write(damageNote(), problem.toUtf8());
        return damagedText(problem);
    }
    try {
        Backup::daily(store, AppFolder::backupFolder(), Clock::today());
    } catch (const StoreError& error) {
        return error.reason();
    }
    return QString();
}

QString StoreCheck::damagedText(const QString& problem)
{
    return QStringLiteral("The database file %1 fails its check: %2.\n\n"
                          "Nothing has been changed or deleted, and no backup was written over an older one. "
                          "When the program starts again it offers to put the file aside and go on with the "
                          "newest backup.")
        .arg(QDir::toNativeSeparators(AppFolder::databaseFile()), problem);
}

void restrictToOwner()
{
    ownFolder(AppFolder::dataFolder(), {QStringLiteral("*.mdb"), QStringLiteral("*.mdb-journal"),
                                        QStringLiteral("*.mdb-wal"), QStringLiteral("*.mdb-shm")});
    ownFolder(AppFolder::backupFolder(), {QStringLiteral("*.mdb")});
    ownFolder(AppFolder::noteFolder(), {QStringLiteral("*.nte")});
}
