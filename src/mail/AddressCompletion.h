#pragma once

#include <QList>
#include <QString>

class Connection;

// Recipients from the address book while the To box is typed in.
namespace AddressCompletion {

struct Match {
    QString shown;    // "First Last <address>"
    QString address;  // what goes into the box
};

// The contacts with an e-mail address whose first name, last name, whole
// name or address starts with `typed` (letter case aside), by name, at most
// `limit`. The typed text is a prefix only: % and _ are letters here.
QList<Match> matching(Connection& con, const QString& typed, int limit = 20);

// What of the box's text is being typed: the recipient after the last
// separator, trimmed.
QString typedPart(const QString& boxText);
// The box's text with that part replaced by `address`, ready for the next.
QString withCompleted(const QString& boxText, const QString& address);

}  // namespace AddressCompletion
