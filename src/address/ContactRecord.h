#pragma once

#include <array>

#include <QString>

#include "store/ContactFields.h"

class Connection;
class Recordset;

// A contact's fields, in the order of tblAddress (Contact::Email, ...).
using Contact = ContactFields::Field;
constexpr int kContactFieldCount = ContactFields::Count;

// A contact's values, indexed by Contact.
struct ContactValues {
    std::array<QString, kContactFieldCount> values;
    QString& operator[](Contact field) { return values[std::size_t(field)]; }
    const QString& operator[](Contact field) const { return values[std::size_t(field)]; }
};

// The current row of `rs`; a field without a value reads as empty text.
ContactValues readContact(const Recordset& rs);
// Assigns every field of the current row of `rs`, each value trimmed.
void writeContact(Recordset& rs, const ContactValues& contact);

// What the card a contact was read from holds beyond the address book's
// fields (a work phone, a birthday, a photo), kept beside it by the import;
// empty for a contact typed here or read before cards were kept.
QString moreOnCard(Connection& con, qint64 key);
