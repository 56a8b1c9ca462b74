#include "mail/CMessages.h"

#include "mail/MailError.h"

#include <algorithm>

namespace {
const QString kSource = QStringLiteral("CMessages");
}

void CMessages::Add(const std::shared_ptr<CMessage> &oMessage, const QString &sKey)
{
    if (!sKey.isEmpty()) {
        const QString folded = fold(sKey);
        if (mByKey.contains(folded))
            throw MailError(DuplicateKey, kSource, QStringLiteral("Key already present: ") + sKey);
        mByKey.insert(folded, oMessage);
    }
    mCol.push_back(oMessage);
    mKeys.push_back(sKey);
}

qsizetype CMessages::checkedIndex(int position) const
{
    if (position < 1 || position > Count())
        throw MailError(BadPosition, kSource,
                        QStringLiteral("No item at position ") + QString::number(position));
    return position - 1;
}

std::shared_ptr<CMessage> CMessages::Item(int position) const
{
    return mCol[checkedIndex(position)];
}

std::shared_ptr<CMessage> CMessages::Item(const QString &key) const
{
    const auto it = mByKey.constFind(fold(key));
    if (key.isEmpty() || it == mByKey.cend())
        throw MailError(UnknownKey, kSource, QStringLiteral("No item with key ") + key);
    return it.value();
}

void CMessages::Remove(int position)
{
    const qsizetype i = checkedIndex(position);
    if (!mKeys[i].isEmpty())
        mByKey.remove(fold(mKeys[i]));
    mCol.erase(mCol.begin() + i);
    mKeys.erase(mKeys.begin() + i);
}

void CMessages::Remove(const QString &key)
{
    const QString folded = fold(key);
    const auto it = std::find_if(mKeys.cbegin(), mKeys.cend(), [&](const QString &k) {
        return !k.isEmpty() && fold(k) == folded;
    });
    if (key.isEmpty() || it == mKeys.cend())
        throw MailError(UnknownKey, kSource, QStringLiteral("No item with key ") + key);
    Remove(int(it - mKeys.cbegin()) + 1);
}

bool CMessages::Contains(const QString &key) const
{
    return !key.isEmpty() && mByKey.contains(fold(key));
}

QString CMessages::Key(int position) const
{
    return mKeys[checkedIndex(position)];
}
