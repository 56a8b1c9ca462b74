#include "store/StoreError.h"

#include <sqlite3.h>

#include <cerrno>

QString failureReason(sqlite3* db, const char* message)
{
    if (!db)
        return QStringLiteral("out of memory");
    const int code = sqlite3_extended_errcode(db);
    const int error = sqlite3_system_errno(db);
    if ((code & 0xff) == SQLITE_FULL || ((code & 0xff) == SQLITE_IOERR && (error == ENOSPC || error == EDQUOT)))
        return QStringLiteral("the disk is full");
    return QString::fromUtf8(message ? message : sqlite3_errmsg(db));
}
