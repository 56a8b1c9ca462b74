#pragma once

#include <array>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "store/ContactFields.h"
#include "store/QueryPages.h"

class Connection;
class Recordset;

// A contact's values, indexed by ContactFields::Field: the one shape of a
// contact in memory, for the address book's screens and the vCard exchange.
using ContactValues = std::array<QString, ContactFields::Count>;

// The one place that reads and writes tblAddress: for the screens that show
// contacts (the address book's and the recipient picker's lists, the record
// a screen edits, the completion of typed addresses) and, row by row, for the
// vCard import and the sync. Failures throw StoreError.
namespace Contacts {

// The contacts' `columns` in the order they were added, read a page at a
// time; with `field`, only those whose `field` equals `value`.
QueryPages pages(Connection& con, const QStringList& columns, const QString& field = QString(),
                 const QString& value = QString());

// Opens `rs` on the contact with `key`: none when it is gone. With a null
// key, on no row but with the fields, ready for AddNew.
void open(Recordset& rs, Connection& con, const QVariant& key);
// On the contacts with this first name, the first added first.
void openByFirstName(Recordset& rs, Connection& con, const QString& firstName);

// The current row of `rs`; a field without a value reads as empty text.
ContactValues read(const Recordset& rs);
// Stores what a screen typed, each value trimmed: a new contact without a
// key, else over the contact `key`. A refusal is told as "The record in
// tblAddress could not be written: <reason>."
void save(Connection& con, const std::optional<qint64>& key, const ContactValues& typed);
// Deletes the contact `key` for a screen; a refusal is told as "The
// deletion in tblAddress could not be written: <reason>."
void erase(Connection& con, qint64 key);

// A whole row by its key (Org_ID), its values stored as given, each write
// one statement on the connection (see KeyedRows): for the import and the sync.
qint64 add(Connection& con, const ContactValues& contact);
// No row `key`, nothing written.
void change(Connection& con, qint64 key, const ContactValues& contact);
// False when there was no row `key`.
bool remove(Connection& con, qint64 key);
std::optional<ContactValues> byKey(Connection& con, qint64 key);

// What the card a contact was read from holds beyond the address book's
// fields (a work phone, a birthday, a photo), kept beside it by the import;
// empty for a contact typed here or read before cards were kept.
QString moreOnCard(Connection& con, qint64 key);

struct Named {
    QString firstName, lastName, email;
};
// Up to `limit` contacts with an address whose first name, last name, both
// or address begins with `prefix` (case aside), by name.
QList<Named> withAddressStarting(Connection& con, const QString& prefix, int limit);

}  // namespace Contacts
