#include "store/StoreError.h"

#include <sqlite3.h>

#include <cerrno>

bool diskIsFull(sqlite3* db)
{
    const int code = sqlite3_extended_errcode(db) & 0xff;
    const int error = sqlite3_system_errno(db);
    return code == SQLITE_FULL || (code == SQLITE_IOERR && (error == ENOSPC || error == EDQUOT));
}

QString failureReason(sqlite3* db, const char* message)
{
    if (!db)
        return QStringLiteral("out of memory");
    if (diskIsFull(db))
        return QStringLiteral("the disk is full");
    return QString::fromUtf8(message ? message : sqlite3_errmsg(db));
}
