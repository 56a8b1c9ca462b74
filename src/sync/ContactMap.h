#pragma once

#include <array>

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>

#include "store/ContactFields.h"
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

using Contact = std::array<QString, FieldCount>;

struct Imported {
    Contact contact;
    QString uid;           // the card's UID, or one made from its content when it has none
    bool changed = false;  // something did not fit its field and went elsewhere or was left out
};

// What of a card fits the address book goes into its field; what does not
// (a second e-mail, a work phone, a long post code, ...) becomes a line of
// the comments, so nothing is lost without the import saying so.
Imported fromCard(const VCard::Card& card);

// One vCard 4.0 of the contact, ending in CR LF.
QByteArray toCard(const Contact& contact, const QString& uid);
// The same added to `out`, from the fields as the store holds them (UTF-8).
using ContactBytes = std::array<QByteArrayView, FieldCount>;
void appendCard(QByteArray& out, const ContactBytes& contact, QByteArrayView uid);

}  // namespace ContactMap
