#include "mail/AddressCompletion.h"

#include "store/Contacts.h"

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
    for (const Contacts::Named& contact : Contacts::withAddressStarting(con, prefix, limit)) {
        const QString name = (contact.firstName + u' ' + contact.lastName).trimmed();
        const QString address = contact.email.trimmed();
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
