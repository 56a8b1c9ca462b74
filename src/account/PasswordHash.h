#pragma once

#include <QString>
#include <QVariant>

// The account password is kept only as a salted Argon2id hash.
QString hashPassword(const QString& password);

// True when `typed`, exactly as typed, is the password behind `stored`.
// A missing value matches nothing.
bool verifyPassword(const QString& typed, const QVariant& stored);
