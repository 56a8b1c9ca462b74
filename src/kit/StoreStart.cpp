#include "kit/StoreStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "store/Backup.h"
#include "store/Connection.h"

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

}  // namespace

std::optional<DamagedStore> checkStoreAtStart()
{
    const QString store = AppFolder::databaseFile();
    if (!QFileInfo(store).isFile())
        return std::nullopt;
    const QString problem = Backup::problem(store);
    if (problem.isEmpty()) {
        Backup::daily(store, AppFolder::backupFolder(), Clock::today());
        return std::nullopt;
    }
    // The newest copy that is itself sound: a copy taken from a file already
    // going bad would only bring the damage back.
    QStringList backups = Backup::backups(AppFolder::backupFolder());
    while (!backups.isEmpty() && !Backup::problem(backups.last()).isEmpty())
        backups.removeLast();
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
    Backup::putAside(damaged.file, damaged.today);
    if (answer == MsgResult::Yes)
        Backup::copy(damaged.backup, damaged.file);
    // Opening creates the empty database when no backup was taken.
    Connection fresh;
    fresh.Open(damaged.file);
}

void restrictToOwner()
{
    ownFolder(AppFolder::dataFolder(), {QStringLiteral("*.mdb"), QStringLiteral("*.mdb-journal"),
                                        QStringLiteral("*.mdb-wal"), QStringLiteral("*.mdb-shm")});
    ownFolder(AppFolder::backupFolder(), {QStringLiteral("*.mdb")});
    ownFolder(AppFolder::noteFolder(), {QStringLiteral("*.nte")});
}
