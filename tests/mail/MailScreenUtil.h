#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTableWidget>
#include <QTest>

#include "support/Fixture.h"

// Writes one row of e-mail settings straight into the file.
inline void storeMailSettings(const QString &dbPath, const QString &smtp, const QString &sender,
                              const QString &remote = QString(), const QString &user = QString(),
                              const QString &password = QString())
{
    QStringList quoted;
    for (QString v : {smtp, sender, remote, user, password})
        quoted << QLatin1Char('\'') + v.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    Db::exec(dbPath, QStringLiteral("INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName, Password) VALUES (%1)")
                         .arg(quoted.join(QStringLiteral(", "))));
}

// How many descriptors of this process have `path` open: a screen's
// database connection is one of them.
inline int openHandles(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            ++count;
    return count;
}

inline void clickCell(QTableWidget *grid, int row, int col)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, col));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}
