#include "kit/MailSettings.h"

#include "kit/StoreAccess.h"
#include "store/Recordset.h"

std::optional<MailSettings> readMailSettings(Connection& con)
{
    std::optional<MailSettings> last;
    Recordset rst;
    storeGuard([&] {
        rst.Open(con, QStringLiteral("tblEmail"));
        for (; !rst.isEOF(); rst.MoveNext()) {
            MailSettings s;
            s.key = rst.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
            s.smtp = rst.Fields(QStringLiteral("SMTP")).toString();
            s.yourEmail = rst.Fields(QStringLiteral("YourEmail")).toString();
            s.remote = rst.Fields(QStringLiteral("Remote")).toString();
            s.userName = rst.Fields(QStringLiteral("UserName")).toString();
            s.password = rst.Fields(QStringLiteral("Password")).toString();
            last = s;
        }
    });
    rst.Close();
    return last;
}
