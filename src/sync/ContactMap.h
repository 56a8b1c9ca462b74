#pragma once

#include <array>

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include "store/Contacts.h"
#include "sync/VCard.h"

// The address book's eleven fields and their place in a vCard.
namespace ContactMap {

using Field = ContactFields::Field;
using enum ContactFields::Field;
inline constexpr int FieldCount = ContactFields::Count;
// The field names of tblAddress, in the order of Field.
inline constexpr const auto& kFieldNames = ContactFields::kNames;
// The post code box takes four characters.
constexpr qsizetype kPostCodeWidth = 4;

using Contact = ContactValues;

struct Imported {
    Contact contact;
    QString uid;           // the card's UID, or one made from its content when it has none
    bool changed = false;  // a value was cut to its field's size (the card keeps it whole)
    // Which property of the card each field was read from (its index in
    // Card::props), -1 for none: where an edit of the field goes back.
    std::array<qsizetype, FieldCount> source{};
    // What the card holds that has no field (a work phone, a second e-mail,
    // a birthday, "Has a photo", the whole of a long post code), one line each.
    QStringList more;
};

// What of a card fits the address book goes into its field; the comments
// are the card's note. The card itself is kept beside the record, so what
// has no field goes back out with it.
Imported fromCard(const VCard::Card& card);

// One vCard 4.0 of the contact, ending in CR LF.
QByteArray toCard(const Contact& contact, const QString& uid);
// The same added to `out`, from the fields as the store holds them (UTF-8).
using ContactBytes = std::array<QByteArrayView, FieldCount>;
void appendCard(QByteArray& out, const ContactBytes& contact, QByteArrayView uid);

}  // namespace ContactMap
