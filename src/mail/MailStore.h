#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

class Connection;

// The messages kept on this computer: each one a file of a Maildir
// (`Data/Mail/` with tmp/, new/ and cur/; written in tmp/, then renamed),
// and a row of tblMailbox under its key (the server's UIDL, or the
// Message-ID where the server has no UIDL) with the columns the list shows,
// so the list opens without reading a message. Failures throw StoreError.
struct KeptMessage {
    QString key;
    QString from;
    QString subject;
    QString date;
    qint64 size = 0;  // characters of the message text
};

class MailStore {
public:
    MailStore() = default;
    MailStore(const MailStore&) = delete;
    MailStore& operator=(const MailStore&) = delete;
    ~MailStore();
    // Creates the table and the folders when they are missing.
    void open(Connection& con, const QString& maildir);
    bool isOpen() const { return m_con != nullptr; }

    QList<KeptMessage> messages() const;  // in the order kept
    // Of the messages kept and of those removed: neither is fetched again.
    QSet<QString> keys() const;
    bool contains(const QString& key) const;
    // Writes the message and its row; nothing when the key is kept already.
    // Rows are committed together, at most half a second apart (a commit
    // waits for the disk, and a check keeps messages by the thousand);
    // commit() ends the batch, at the end of each check.
    std::optional<KeptMessage> keep(const QString& key, const QByteArray& raw);
    void commit();
    // The message as fetched; empty when its file is gone.
    QByteArray raw(const QString& key) const;
    // The file goes; the key is remembered.
    void remove(const QString& key);
    // Forgets the keys of removed messages that the server no longer lists.
    void forgetRemoved(const QSet<QString>& listed);

private:
    QString fileOf(const QString& key) const;
    void exec(const char* sql);
    void removeStrays();

    Connection* m_con = nullptr;
    QString m_dir;
    int m_written = 0;
    QElapsedTimer m_batch;  // valid while a batch is open
};
