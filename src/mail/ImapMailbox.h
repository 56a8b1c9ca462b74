#pragma once

#include "mail/ImapCache.h"
#include "mail/MailStore.h"

#include <QHash>
#include <QStringList>

// The IMAP account as the check screen shows it: what this computer holds
// (the cache), what the user asked of each folder that waits for the next
// sync (flags to set, messages to delete or move, a body to fetch), and
// what a sync did with it. A wish stays until a sync that ended well and
// was kept whole carries it out. Reading the store throws StoreError.
class ImapMailbox {
public:
    void open(Connection& con, const QString& maildir, const QString& account = QString(),
              const QByteArray& folderPrefix = QByteArray())
    {
        m_cache.open(con, maildir, account, folderPrefix);
    }
    std::vector<ImapFolder> folders() const { return m_cache.folders(); }
    QByteArray body(const QByteArray& folder, quint32 uid) const { return m_cache.body(folder, uid); }
    // Where a sync of `folder` that carries no wish starts from (a watch's).
    ImapPlan held(const QByteArray& folder) const { return m_cache.plan(folder); }

    // The messages held of `folder` but those waiting to be deleted or moved.
    std::vector<ImapCachedMessage> listed(const QByteArray& folder) const;

    // The folder's listed messages as conversations thread them, keyed by
    // their UIDs, and of `sent` (this computer's Sent folder, whose answers
    // stand among them) those the folder does not hold already: a copy of a
    // sent message the server keeps too would thread as a second message.
    struct Threads {
        QList<KeptMessage> listed, beside;
    };
    Threads threads(const QByteArray& folder, const QList<KeptMessage>& sent) const;

    // The user's wishes; each waits for the next sync of `folder`.
    void remove(const QByteArray& folder, const QList<quint32>& uids);
    void move(const QByteArray& folder, const QList<quint32>& uids, const QByteArray& to);
    // Opening a message marks it read and asks for its body when it is not
    // held. `raw` is the body held (empty: fetched by the next sync); `sync`
    // whether there is something for the server to do.
    struct Opened {
        QByteArray raw;
        bool sync = false;
    };
    Opened open(const QByteArray& folder, quint32 uid);

    // The next sync of `folder`: what is held, and every wish. Remembered
    // until finishSync.
    ImapPlan startSync(const QByteArray& folder);
    const QByteArray& syncing() const { return m_syncing.folder; }
    // Takes what the sync started last found, when it ended well (`ok`):
    // the cache takes the server's state, and the wishes it carried out are
    // done. A move the server refused is done too (the message stays where
    // it was); its reasons come back. After a sync that failed, or when the
    // store does not take the findings (StoreError), the wishes stay for the
    // next sync.
    QStringList finishSync(bool ok, const ImapResult& found);

private:
    ImapCache m_cache;
    QHash<QByteArray, ImapPlan> m_pending;  // the wishes per folder (folder, changes, expunge, bodyUid, moves)
    ImapPlan m_syncing;
};
