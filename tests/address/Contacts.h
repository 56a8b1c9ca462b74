#pragma once

#include <QStringList>
#include <QVariantMap>

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

// The stored contacts, each as its eleven fields in table order.
inline QList<QStringList> storedContacts(const QString& dbPath)
{
    QList<QStringList> result;
    for (const QVariantMap& row : Db::rows(dbPath, QStringLiteral("tblAddress"))) {
        QStringList values;
        for (const QString& field : kContactFields)
            values << row.value(field).toString();
        result << values;
    }
    return result;
}

inline QList<qint64> storedKeys(const QString& dbPath)
{
    QList<qint64> keys;
    for (const QVariantMap& row : Db::rows(dbPath, QStringLiteral("tblAddress")))
        keys << row.value(QStringLiteral("Org_ID")).toLongLong();
    return keys;
}
