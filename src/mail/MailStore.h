#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class Connection;
class Statement;

// The messages kept on this computer: each one a file of a Maildir
// (`Data/Mail/` with tmp/, new/ and cur/; written in tmp/, then renamed),
// and a row of tblMailbox under its key (the server's UIDL, or the
// Message-ID where the server has no UIDL) with the columns the list shows,
// so the list opens without reading a message. What was sent is kept beside
// it in the Maildir's folder `.Sent/`, a row each marked as such. Failures
// throw StoreError.
enum class MailFolder { Inbox, Sent };

struct KeptMessage {
    QString key;
    QString from;
    QString subject;
    QString date;
    qint64 size = 0;  // octets of the message
    // What threads it into conversations (ids without angle brackets).
    QString messageId, inReplyTo;
    QStringList references;
};

// The copy of a message on its way out, written into the Sent folder's tmp/
// as it goes; MailStore::keepSent() moves it into the folder once the server
// has taken the message. A copy never kept is removed.
class SentCopy {
public:
    ~SentCopy();
    void append(const QByteArray& bytes);

private:
    friend class MailStore;
    QFile m_file;
    QString m_name;
    QString m_failure;  // the first write that failed
    qint64 m_written = 0;
    qint64 m_sentToDisk = 0;  // what the disk was asked to write so far
};

class MailStore {
public:
    MailStore();
    MailStore(const MailStore&) = delete;
    MailStore& operator=(const MailStore&) = delete;
    ~MailStore();
    // Creates the table and the folders when they are missing. An account
    // beside the first keeps its mail in a Maildir of its own, `account`
    // beneath `maildir` (MailAccounts::mailFolder), and its rows in the same
    // table under keys starting with `keyPrefix` (MailAccounts::mailKeyPrefix);
    // every key given and taken here is without it.
    void open(Connection& con, const QString& maildir, const QString& account = QString(),
              const QString& keyPrefix = QString());
    bool isOpen() const { return m_con != nullptr; }

    QList<KeptMessage> messages(MailFolder folder = MailFolder::Inbox) const;  // in the order kept
    // Of the messages kept and of those removed: neither is fetched again.
    QSet<QString> keys() const;
    bool contains(const QString& key) const;
    // Takes the message to keep; false when its key is kept already. Its
    // file is written, and its row's columns decoded, off the window's
    // thread while the check fetches the next one.
    bool keep(const QString& key, const QByteArray& raw);
    // The same for a message arriving in pieces, never held whole: its file
    // is written in tmp/ as they come and moved into new/ when it ends
    // (false, and the file gone, when its key is kept already); a message
    // dropped, or begun anew, or not ended by commit(), leaves no file.
    // Its row's columns and its text for the search come from its first
    // 256 KB.
    void beginMessage();
    void appendMessage(const QByteArray& piece);
    bool endMessage(const QString& key);
    void dropMessage();
    // Ends the batch: waits until the messages taken since the last commit
    // are in their files, the files and then their folder on the disk, and
    // only then commits their rows together (one flush of the disk for the
    // batch, never a row that names a file a crash could take). Returns them
    // in the order taken. On a failure none of them is kept (the next check
    // fetches them again) and StoreError says why.
    QList<KeptMessage> commit();
    // The same for the messages that are in their files by now, without
    // waiting for those still being written: a running check's batches.
    QList<KeptMessage> commitWritten();
    // Whether a batch is in its files and on the disk, waiting for its rows:
    // a batch is flushed when it is half a second old or holds a few MB of
    // the messages' texts, and waits in memory until it is committed.
    bool batchWaiting() const;
    // A copy for a message about to go out.
    std::unique_ptr<SentCopy> beginSent();
    // The copy is whole and the server took the message: its file goes into
    // the Sent folder, on the disk before its row names it. `text` is what
    // the message says, for the search: the sender has it at hand, and a
    // copy of any size is not read back.
    KeptMessage keepSent(SentCopy& copy, const QString& text);
    // The message as fetched (or sent); empty when its file is gone.
    QByteArray raw(const QString& key) const;
    // The servers offering no secure connection that the user allowed, once,
    // to take the login in clear.
    bool mayLogInClear(const QString& host) const;
    // Allowing it forgets that the server offered a secure connection.
    void allowLoginInClear(const QString& host);
    // Whether the server gave a secure connection on request (STLS,
    // STARTTLS) since the login in clear was allowed: one that stops
    // offering it may have had the offer taken out on the way.
    bool offeredStartTls(const QString& host) const;
    void noteStartTls(const QString& host);
    // Whether the check screen lists conversations rather than messages.
    bool showsConversations() const;
    void showConversations(bool shown);
    // The file goes; the key is remembered.
    void remove(const QString& key);
    // Forgets the keys of removed messages that the server no longer lists.
    void forgetRemoved(const QSet<QString>& listed);

private:
    class Writer;
    QList<KeptMessage> commit(bool all);
    QString fileOf(const QString& key) const;
    QString accountDir() const { return m_sub.isEmpty() ? m_dir : m_dir + QLatin1Char('/') + m_sub.chopped(1); }
    void removeStrays();
    void readThreading();

    Connection* m_con = nullptr;
    QString m_dir;              // the mail folder: the rows' file names start here
    QString m_sub;              // the account's Maildir in it ("" for the first account)
    QString m_prefix;           // of the account's keys in the table
    QString m_process, m_host;  // of the file names
    int m_written = 0;
    bool m_incoming = false;                        // begun and neither ended nor dropped
    QSet<QString> m_taken;                          // since the last commit
    mutable std::unique_ptr<Statement> m_contains;  // prepared once per batch
    std::unique_ptr<Writer> m_writer;
};
