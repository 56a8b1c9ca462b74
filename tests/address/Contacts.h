#pragma once

#include <QStringList>

#include "support/Fixture.h"

// The eleven stored fields of a contact, in table order.
inline const QStringList kContactFields = {"FirstName", "LastName", "HomeAddress", "Suburb",     "PostCode", "Email",
                                           "HomePhone", "Mobile",   "ICQ",         "WebAddress", "Comments"};

// Writes a contact straight into the file, the fields in table order;
// missing ones are empty.
inline void insertContact(const QString& dbPath, const QStringList& values)
{
    QStringList quoted;
    for (int i = 0; i < kContactFields.size(); ++i) {
        QString v = i < values.size() ? values[i] : QString();
        quoted << QLatin1Char('\'') + v.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    }
    Db::exec(dbPath, QStringLiteral("INSERT INTO tblAddress (%1) VALUES (%2)")
                         .arg(kContactFields.join(QStringLiteral(", ")), quoted.join(QStringLiteral(", "))));
}
