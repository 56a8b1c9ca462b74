#pragma once

#include <QString>
#include <QVariant>

// The account password is kept only as a salted Argon2id hash.
QString hashPassword(const QString& password);

// True when `typed`, exactly as typed, is the password behind `stored`.
// A missing value matches nothing.
bool verifyPassword(const QString& typed, const QVariant& stored);

class Recordset;
// True when the typed pair is the account on the current row of `rst`:
// letter case counts and nothing typed is trimmed.
bool accountMatches(const Recordset& rst, const QString& userName, const QString& password);
