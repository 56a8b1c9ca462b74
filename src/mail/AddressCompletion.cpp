#include "mail/AddressCompletion.h"

#include "store/Connection.h"
#include "store/Statement.h"

namespace AddressCompletion {

namespace {

// The separator the box puts between recipients, and the ones it reads.
const QString kSeparator = QStringLiteral("; ");

qsizetype partStart(const QString& boxText)
{
    const qsizetype at = std::max(boxText.lastIndexOf(u';'), boxText.lastIndexOf(u','));
    return at < 0 ? 0 : at + 1;
}

}  // namespace

QList<Match> matching(Connection& con, const QString& typed, int limit)
{
    QList<Match> out;
    const QString prefix = typed.trimmed();
    if (prefix.isEmpty())
        return out;
    QString pattern = prefix;
    pattern.replace(u'\\', QLatin1String("\\\\"))
        .replace(u'%', QLatin1String("\\%"))
        .replace(u'_', QLatin1String("\\_"));
    Statement st(con.handle(),
                 QStringLiteral("SELECT FirstName, LastName, Email FROM tblAddress WHERE Email <> '' AND ("
                                "FirstName LIKE ?1 ESCAPE '\\' OR LastName LIKE ?1 ESCAPE '\\' OR Email LIKE ?1 ESCAPE "
                                "'\\' OR (FirstName || ' ' || LastName) LIKE ?1 ESCAPE '\\') "
                                "ORDER BY FirstName, LastName, Email LIMIT ?2"));
    st.bind(1, pattern + u'%').bind(2, qint64(limit));
    while (st.step()) {
        const QString name = (st.text(0) + u' ' + st.text(1)).trimmed();
        const QString address = st.text(2).trimmed();
        out << Match{name.isEmpty() ? address : name + QLatin1String(" <") + address + u'>', address};
    }
    return out;
}

QString typedPart(const QString& boxText)
{
    return boxText.mid(partStart(boxText)).trimmed();
}

QString withCompleted(const QString& boxText, const QString& address)
{
    const QString before = boxText.left(partStart(boxText)).trimmed();
    return before.isEmpty() ? address : before.chopped(1).trimmed() + kSeparator + address;
}

}  // namespace AddressCompletion
