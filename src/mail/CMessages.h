#pragma once

#include "mail/CMessage.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

// The fetched messages in the order they were added, optionally keyed by a
// string that is unique without regard to letter case. Positions count from 1.
class CMessages {
public:
    enum Error : qint32 {
        DuplicateKey = 1,  // Add with a key already present
        UnknownKey = 2,    // Item or Remove with a key not present
        BadPosition = 3,   // Item or Remove outside 1 to Count
    };

    // An empty key adds the message without one. A key already present
    // raises MailError DuplicateKey and adds nothing.
    void Add(const std::shared_ptr<CMessage>& oMessage, const QString& sKey = QString());

    std::shared_ptr<CMessage> Item(int position) const;
    std::shared_ptr<CMessage> Item(const QString& key) const;
    int Count() const { return int(m_col.size()); }
    void Remove(int position);
    void Remove(const QString& key);

    bool Contains(const QString& key) const;
    // The key the item at `position` was added under; empty when none.
    QString Key(int position) const;

    // Iteration in insertion order.
    using const_iterator = std::vector<std::shared_ptr<CMessage>>::const_iterator;
    const_iterator begin() const { return m_col.cbegin(); }
    const_iterator end() const { return m_col.cend(); }

private:
    static QString fold(const QString& key) { return key.toCaseFolded(); }
    qsizetype checkedIndex(int position) const;

    std::vector<std::shared_ptr<CMessage>> m_col;
    std::vector<QString> m_keys;
    QHash<QString, std::shared_ptr<CMessage>> m_byKey;
};
