#include "kit/AppFolder.h"

#include <QCoreApplication>

namespace {
QString& overridden()
{
    static QString folder;
    return folder;
}
}  // namespace

QString AppFolder::path()
{
    return overridden().isEmpty() ? QCoreApplication::applicationDirPath() : overridden();
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
