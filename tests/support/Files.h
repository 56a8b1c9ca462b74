#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Small file helpers for tests that look at what the program left on disk.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Writes `bytes` as the file `name` in `folder`; its path, or nothing when it cannot.
inline QString fileIn(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    return writeFile(folder.filePath(name), bytes) ? folder.filePath(name) : QString();
}

// The names of the files in `folder`, hidden ones too, sorted.
inline QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

// The permission bits of a file or folder, as in 0600; -1 when it is missing.
inline int ownerGroupOther(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// The program as the user starts it (the starter TESSALY_EXE names and the
// whole program beside it), copied into `folder`: its path there.
inline QString copyProgram(const QString& folder)
{
    const QString starter = qEnvironmentVariable("TESSALY_EXE");
    const QString from = QFileInfo(starter).absolutePath();
    for (const QString& name : {QStringLiteral("tessaly"), QStringLiteral("tessaly-app")})
        if (!QFile::copy(from + QLatin1Char('/') + name, folder + QLatin1Char('/') + name))
            return {};
    return folder + QStringLiteral("/tessaly");
}
