#include "kit/AppFolder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString& overridden()
{
    static QString folder;
    return folder;
}

AppFolder::Facts gatherFacts()
{
    AppFolder::Facts facts;
    facts.programFolder = QCoreApplication::applicationDirPath();
    facts.programFolderWritable = ::access(QFile::encodeName(facts.programFolder).constData(), W_OK) == 0;
    const QString share = QDir::cleanPath(facts.programFolder + QStringLiteral("/" TESSALY_SHARE_FROM_BIN));
    if (QFileInfo(share + QStringLiteral("/help.doc")).isFile())
        facts.installedShare = share;
    facts.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    facts.home = QDir::homePath();
    return facts;
}

// An installed program ships no Data folder of the user's; make it, private,
// so that the first start finds it and asks for the account.
void prepare(const AppFolder::Choice& choice)
{
    if (choice.portable)
        return;
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString& folder : {choice.root, choice.root + QStringLiteral("/Data")}) {
        if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
            QFile::setPermissions(folder, ownerOnly);
    }
}

const AppFolder::Choice& decided()
{
    static const AppFolder::Choice choice = [] {
        AppFolder::Choice c = AppFolder::choose(gatherFacts());
        prepare(c);
        return c;
    }();
    return choice;
}
}  // namespace

AppFolder::Choice AppFolder::choose(const Facts& facts)
{
    // An installation is never portable: run by root, or from a prefix in the
    // home folder, its bin folder is writable, and Data/ does not belong there.
    if (facts.installedShare.isEmpty() && facts.programFolderWritable)
        return {facts.programFolder, facts.programFolder + QStringLiteral("/Data"), true};
    // Relative values of XDG_DATA_HOME are invalid and ignored, as the base
    // directory rules say.
    const QString dataHome =
        QDir::isAbsolutePath(facts.xdgDataHome) ? facts.xdgDataHome : facts.home + QStringLiteral("/.local/share");
    const QString shipped =
        facts.installedShare.isEmpty() ? facts.programFolder + QStringLiteral("/Data") : facts.installedShare;
    return {QDir::cleanPath(dataHome + QStringLiteral("/tessaly")), shipped, false};
}

QString AppFolder::path()
{
    return overridden().isEmpty() ? decided().root : overridden();
}

void AppFolder::setPath(const QString& folder)
{
    overridden() = folder;
}

QString AppFolder::dataFolder()
{
    return path() + QStringLiteral("/Data");
}

QString AppFolder::noteFolder()
{
    return path() + QStringLiteral("/Note");
}

QString AppFolder::databaseFile()
{
    return dataFolder() + QStringLiteral("/Tessaly.mdb");
}

QString AppFolder::markerFile()
{
    return dataFolder() + QStringLiteral("/Pass.dat");
}

QString AppFolder::backupFolder()
{
    return dataFolder() + QStringLiteral("/Backup");
}

QString AppFolder::reminderFile()
{
    return dataFolder() + QStringLiteral("/Reminded.dat");
}

QString AppFolder::shippedFolder()
{
    return overridden().isEmpty() ? decided().shipped : dataFolder();
}

QString AppFolder::helpFile()
{
    return shippedFolder() + QStringLiteral("/help.doc");
}

QString AppFolder::descriptionFile()
{
    return shippedFolder() + QStringLiteral("/description.txt");
}
