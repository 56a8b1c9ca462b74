#include "mail/CMessages.h"

#include "mail/MailError.h"

#include <algorithm>

namespace {
const QString kSource = QStringLiteral("CMessages");
}

void CMessages::Add(const std::shared_ptr<CMessage>& oMessage, const QString& sKey)
{
    if (!sKey.isEmpty()) {
        const QString folded = fold(sKey);
        if (m_byKey.contains(folded))
            throw MailError(DuplicateKey, kSource, QStringLiteral("Key already present: ") + sKey);
        m_byKey.insert(folded, oMessage);
    }
    m_col.push_back(oMessage);
    m_keys.push_back(sKey);
}

qsizetype CMessages::checkedIndex(int position) const
{
    if (position < 1 || position > Count())
        throw MailError(BadPosition, kSource, QStringLiteral("No item at position ") + QString::number(position));
    return position - 1;
}

std::shared_ptr<CMessage> CMessages::Item(int position) const
{
    return m_col[checkedIndex(position)];
}

std::shared_ptr<CMessage> CMessages::Item(const QString& key) const
{
    const auto it = m_byKey.constFind(fold(key));
    if (key.isEmpty() || it == m_byKey.cend())
        throw MailError(UnknownKey, kSource, QStringLiteral("No item with key ") + key);
    return it.value();
}

void CMessages::Remove(int position)
{
    const qsizetype i = checkedIndex(position);
    if (!m_keys[i].isEmpty())
        m_byKey.remove(fold(m_keys[i]));
    m_col.erase(m_col.begin() + i);
    m_keys.erase(m_keys.begin() + i);
}

void CMessages::Remove(const QString& key)
{
    const QString folded = fold(key);
    const auto it = std::find_if(m_keys.cbegin(), m_keys.cend(),
                                 [&](const QString& k) { return !k.isEmpty() && fold(k) == folded; });
    if (key.isEmpty() || it == m_keys.cend())
        throw MailError(UnknownKey, kSource, QStringLiteral("No item with key ") + key);
    Remove(int(it - m_keys.cbegin()) + 1);
}

bool CMessages::Contains(const QString& key) const
{
    return !key.isEmpty() && m_byKey.contains(fold(key));
}

QString CMessages::Key(int position) const
{
    return m_keys[checkedIndex(position)];
}
