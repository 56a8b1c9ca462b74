#include "account/PasswordHash.h"

#include <sodium.h>

#include <stdexcept>

#include "store/Recordset.h"

namespace {
void initSodium()
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}
}  // namespace

QString hashPassword(const QString& password)
{
    initSodium();
    const QByteArray utf8 = password.toUtf8();
    char hashed[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hashed, utf8.constData(), quint64(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw std::runtime_error("out of memory while hashing the password");
    return QString::fromLatin1(hashed);
}

bool verifyPassword(const QString& typed, const QVariant& stored)
{
    if (stored.isNull())
        return false;
    initSodium();
    const QByteArray hashed = stored.toString().toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hashed.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

bool accountMatches(const Recordset& rst, const QString& userName, const QString& password)
{
    const QVariant stored = rst.Fields(QStringLiteral("UserName"));
    return !stored.isNull() && userName == stored.toString()
           && verifyPassword(password, rst.Fields(QStringLiteral("Password")));
}
