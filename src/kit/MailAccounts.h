#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include "kit/MailSettings.h"

class Connection;
class QObject;
class StoreError;

// A name, address and signature a message may go out under.
struct MailIdentity {
    QString name;
    QString address;
    QString signature;
    // The From line: "Name <address>", or the bare address without a name.
    QString from() const;
};

// One mail account: its servers and sign-in (MailSettings), its sender
// identities, its kept mail and its keyring entries. The first account is
// the last row of tblEmail, read and written as it always was; the others
// live in tblEmailAccount, each under a key never given twice, and keep
// their mail beside the first's (see mailFolder and mailKeyPrefix).
struct MailAccount {
    qint64 key = 0;  // 0: the first account
    QString name;    // as the account box shows it; the first account's is its address
    MailSettings settings;
    // Never empty once read: the account's own address comes first unless an identity has it.
    QList<MailIdentity> identities;
};

namespace MailAccounts {
// Every account, the first (when tblEmail has a row) then the others by
// key. A store failure goes to `report` and gives what was read before it.
QList<MailAccount> read(Connection& con, const std::function<void(const StoreError&)>& report);
std::optional<MailAccount> find(Connection& con, qint64 key, const std::function<void(const StoreError&)>& report);

// Adds (key 0 but `adding`) or changes an account beside the first, with its
// identities, in one transaction; returns its key. The first account's
// identities beyond its address are kept the same way (key 0, not adding);
// its settings are tblEmail's, saved by the settings screen as ever.
// The password is not written here (keepPassword). Throws StoreError.
qint64 save(Connection& con, const MailAccount& account, bool adding);

// Keeps an account's mailbox password: in the keyring when there is one,
// else in its row. The first account's goes as keepMailPassword puts it.
void keepPassword(Connection& con, const MailSettings& settings, const QString& password, QObject* context,
                  std::function<void(const Secrets::Answer&)> done);

// Removes an account beside the first: its rows, its identities, its kept
// mail (the rows, their search entries, the files) and its keyring entries.
// `maildir` is the folder the mail is kept in (Data/Mail). The rows go in
// one transaction; files and secrets only once it is committed. Throws
// StoreError, and then nothing is removed.
void remove(Connection& con, qint64 key, const QString& maildir);

// Where an account's mail is kept, beneath the mail folder ("" for the first,
// "Accounts/<key>/" for the others: a Maildir of its own).
QString mailFolder(qint64 key);
// What starts the keys of its messages in tblMailbox and the names of its
// IMAP folders in the cache: nothing for the first; for the others a form no
// server's name takes (a control character around the key).
QString mailKeyPrefix(qint64 key);
// The account a key or folder name so made belongs to, and the name
// without its prefix.
std::pair<qint64, QString> splitMailKey(const QString& stored);

// The account and identity a reply to a message should come from: the
// identity whose address the message was sent to (`recipients`, To and Cc),
// else the first identity of the account it was fetched for (`fetchedFor`).
// Addresses compare without regard to case.
std::pair<qint64, int> answeringIdentity(const QList<MailAccount>& accounts, const QStringList& recipients,
                                         qint64 fetchedFor);
}  // namespace MailAccounts
