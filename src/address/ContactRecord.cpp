#include "address/ContactRecord.h"

#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/Statement.h"
#include "store/StoreError.h"

ContactValues readContact(const Recordset& rs)
{
    // A missing value cannot be stored by this program, but a row written by
    // anything else still shows whole rather than half of it over the last contact.
    ContactValues contact;
    for (std::size_t i = 0; i < contact.values.size(); ++i)
        contact.values[i] = rs.Fields(ContactFields::kNames[i]).toString();
    return contact;
}

void writeContact(Recordset& rs, const ContactValues& contact)
{
    for (std::size_t i = 0; i < contact.values.size(); ++i)
        rs.Fields(ContactFields::kNames[i]) = contact.values[i].trimmed();
}

QString moreOnCard(Connection& con, qint64 key)
{
    try {
        Statement more(
            con.handle(),
            QStringLiteral("SELECT k.More FROM tblSyncMap m JOIN tblSyncKept k ON k.Kind = m.Kind AND k.UID = m.UID "
                           "WHERE m.Kind = 'contact' AND m.LocalKey = ?"));
        more.bind(1, key);
        return more.step() ? more.text(0) : QString();
    } catch (const StoreError&) {
        return {};  // nothing was ever imported: there is no such table
    }
}
