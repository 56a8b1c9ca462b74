#pragma once

#include "mail/ImapSession.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class Connection;

// One message of an IMAP folder as this computer holds it.
struct ImapCachedMessage {
    quint32 uid = 0;
    QByteArrayList flags;
    qint64 size = 0;
    QString from;
    QString subject;
    QString date;
    bool hasBody = false;  // fetched, readable offline
    // What threads it into conversations (ids without angle brackets).
    QString messageId, inReplyTo;
    QStringList references;
};

// What this computer holds of an IMAP account, so that the folder's list
// shows at once and a sync asks only for what is new: a row per folder
// (tblImapFolder, with its UIDVALIDITY and HIGHESTMODSEQ) and per message (tblImapMessage:
// UID, flags and the columns the list shows), each body fetched in a file
// of the Maildir's cur/. A sync's findings go in whole or not at all.
// Failures throw StoreError.
class ImapCache {
public:
    // Creates the tables when they are missing. An account beside the first
    // keeps its bodies in its own Maildir, `account` beneath `maildir`, and
    // its folders' rows under names starting with `folderPrefix`
    // (MailAccounts); every folder name given and taken here is without it.
    void open(Connection& con, const QString& maildir, const QString& account = QString(),
              const QByteArray& folderPrefix = QByteArray());

    // Where the next sync of `folder` starts from.
    ImapPlan plan(const QByteArray& folder) const;
    // Takes what a sync with `plan` (as plan() made it) found, when it ended
    // well, in one transaction: a folder whose UIDVALIDITY changed starts
    // again, held messages the server no longer has go, flags are the
    // server's now, new headers are added, a fetched body is kept. The new
    // headers are found by the search once SearchIndex::putLeftEntries has
    // run, which the caller leaves to a thread of its own.
    void apply(const ImapPlan& plan, const ImapResult& result);

    std::vector<ImapFolder> folders() const;
    std::vector<ImapCachedMessage> messages(const QByteArray& folder) const;  // by UID
    // The flags held of one message; nothing when it is not held.
    std::optional<QByteArrayList> flags(const QByteArray& folder, quint32 uid) const;
    // The message as fetched; empty when it was not fetched or its file is gone.
    QByteArray body(const QByteArray& folder, quint32 uid) const;

private:
    QString bodyFile(const QByteArray& folder, quint32 uidValidity, quint32 uid) const;

    // The last plan read, good while nothing in the store changed since (by
    // this connection or another): a sync that finds nothing new writes
    // nothing, so the next one need not read the folder again.
    struct LastPlan {
        ImapPlan plan;
        std::pair<qint64, qint64> stamp{-1, -1};
    };
    std::pair<qint64, qint64> storeStamp() const;

    mutable LastPlan m_last;
    Connection* m_con = nullptr;
    QString m_dir;  // the mail folder: the rows' file names start here
    QString m_sub;  // the account's Maildir in it ("" for the first account)
    QByteArray m_prefix;
};
