#include "kit/MailSettings.h"

#include <QList>

#include "kit/Secrets.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"
#include "store/Recordset.h"

namespace {
const QString kPassword = QStringLiteral("Password");

QString mailKey(const Connection& con, qint64 row)
{
    return secretKey(con, QStringLiteral("mail %1").arg(row));
}
}  // namespace

QString secretKey(const Connection& con, const QString& name)
{
    return QStringLiteral("%1 (%2)").arg(name, con.path());
}

std::optional<MailSettings> readMailSettings(Connection& con, const std::function<void(const StoreError&)>& report)
{
    QList<MailSettings> rows;
    Recordset rst;
    storeGuard(
        [&] {
            rst.Open(con, QStringLiteral("tblEmail"));
            for (; !rst.isEOF(); rst.MoveNext()) {
                MailSettings s;
                s.key = rst.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
                s.smtp = rst.Fields(QStringLiteral("SMTP")).toString();
                s.yourEmail = rst.Fields(QStringLiteral("YourEmail")).toString();
                s.remote = rst.Fields(QStringLiteral("Remote")).toString();
                s.userName = rst.Fields(QStringLiteral("UserName")).toString();
                s.password = rst.Fields(kPassword).toString();
                rows << s;
            }
        },
        report);
    rst.Close();
    if (rows.isEmpty() || !Secrets::available())
        return rows.isEmpty() ? std::nullopt : std::optional(rows.last());

    for (const MailSettings& s : rows) {
        if (s.password.isEmpty() || !Secrets::write(mailKey(con, s.key), s.password))
            continue;
        storeGuard(
            [&] {
                rst.Open(con, QStringLiteral("SELECT * FROM tblEmail WHERE EmailInfo = ?"), {s.key});
                rst.Fields(kPassword) = QString();
                rst.Update();
            },
            report);
        rst.Close();
    }
    MailSettings last = rows.last();
    if (last.password.isEmpty())
        last.password = Secrets::read(mailKey(con, last.key)).value_or(QString());
    return last;
}

bool saveMailRow(Connection& con, Recordset& rs, const QString& password)
{
    const bool keyring = Secrets::available();
    rs.Fields(kPassword) = keyring ? QString() : password;
    rs.Update();  // a new row has its key from here on
    const qint64 row = rs.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
    if (!keyring || Secrets::write(mailKey(con, row), password))
        return keyring;
    rs.Fields(kPassword) = password;  // the keyring refused after all: the column, as without one
    rs.Update();
    return false;
}
