#include "store/Contacts.h"

#include "store/Connection.h"
#include "store/KeyedRows.h"
#include "store/Recordset.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace {
const QString kTable = QStringLiteral("tblAddress");

const KeyedRows& rows()
{
    static const KeyedRows rows(QLatin1StringView("tblAddress"), QLatin1StringView("Org_ID"), ContactFields::kNames);
    return rows;
}
}  // namespace

QueryPages Contacts::pages(Connection& con, const QStringList& columns, const QString& field, const QString& value)
{
    return QueryPages(con, kTable, columns, field, value);
}

void Contacts::open(Recordset& rs, Connection& con, const QVariant& key)
{
    rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE Org_ID = ?"), {key});
}

void Contacts::openByFirstName(Recordset& rs, Connection& con, const QString& firstName)
{
    rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE FirstName = ?"), {firstName});
}

ContactValues Contacts::read(const Recordset& rs)
{
    // A missing value cannot be stored by this program, but a row written by
    // anything else still shows whole rather than half of it over the last contact.
    ContactValues contact;
    for (std::size_t i = 0; i < contact.size(); ++i)
        contact[i] = rs.Fields(ContactFields::kNames[i]).toString();
    return contact;
}

void Contacts::save(Connection& con, const std::optional<qint64>& key, const ContactValues& typed)
{
    ContactValues contact;
    for (std::size_t i = 0; i < contact.size(); ++i)
        contact[i] = typed[i].trimmed();
    con.handle();  // a store that cannot be opened is said as such, not as a refused write
    refusedAs(QStringLiteral("The record in tblAddress"), [&] {
        if (key)
            change(con, *key, contact);
        else
            add(con, contact);
    });
}

void Contacts::erase(Connection& con, qint64 key)
{
    con.handle();
    refusedAs(QStringLiteral("The deletion in tblAddress"), [&] { remove(con, key); });
}

qint64 Contacts::add(Connection& con, const ContactValues& contact)
{
    return rows().add(con, contact);
}

void Contacts::change(Connection& con, qint64 key, const ContactValues& contact)
{
    rows().change(con, key, contact);
}

bool Contacts::remove(Connection& con, qint64 key)
{
    return rows().remove(con, key);
}

std::optional<ContactValues> Contacts::byKey(Connection& con, qint64 key)
{
    return rows().byKey<std::tuple_size_v<ContactValues>>(con, key);
}

QString Contacts::moreOnCard(Connection& con, qint64 key)
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

QList<Contacts::Named> Contacts::withAddressStarting(Connection& con, const QString& prefix, int limit)
{
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
    QList<Named> out;
    while (st.step())
        out << Named{st.text(0), st.text(1), st.text(2)};
    return out;
}
