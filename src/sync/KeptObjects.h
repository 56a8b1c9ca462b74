#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What was read of a record, kept beside its row: the card or the events of
// one UID exactly as they came from a file or a server, and the values the
// record's fields took from them then. Writing the record again starts from
// that object and replaces only what was changed here since, a three-way
// comparison of the values then, the values now and the object, so what has
// no field here (a photo, a birthday, alarms, repeats, ...) goes back as it
// came, and a value cut to its field's size goes back whole until the user
// changes it. Export and upload write through these same functions.
struct KeptObject {
    QByteArray object;  // empty: the record was made here (or read before objects were kept)
    QStringList base;   // the fields' values when the object was read, in the table's order
};

struct WrittenObject {
    QByteArray bytes;
    // The kept object could not be read (a damaged row): the record was
    // written from its fields alone, as one made here.
    bool damaged = false;
};

// The contact's card (fields in tblAddress order): the kept card with the
// changed properties replaced, in its own version; without one, a new 4.0 card.
WrittenObject cardFor(const QStringList& values, const QString& uid, const KeptObject& kept);

class SyncRecords;
// The card that goes out for the contact, a file's or a server's: cardFor()
// with the card kept for the UID. After a server took it, keep() what was sent.
WrittenObject outgoingCard(SyncRecords& rows, const QString& uid, const QStringList& values);
