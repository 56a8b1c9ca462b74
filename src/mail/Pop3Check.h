#pragma once

#include <QObject>
#include <QTimer>

#include "mail/MailStore.h"
#include "mail/Pop3Session.h"
#include "store/StoreError.h"

#include <functional>

class MailConnection;

// A check's keeper: each message goes into the store's Maildir as it
// arrives. A store failure is handed to `failed`, and that message is not kept.
class StoreKeeper : public Pop3Keeper {
public:
    StoreKeeper(MailStore& store, std::function<void(const StoreError&)> failed)
        : m_store(store)
        , m_failed(std::move(failed))
    {
    }
    void begin() override;
    void write(const QByteArray& piece) override;
    bool end(const QString& key) override;
    void drop() override;

private:
    template <class Routine>
    bool guarded(Routine routine);

    MailStore& m_store;
    std::function<void(const StoreError&)> m_failed;
};

// A check of a POP3 mailbox into the kept mail. Each message the session
// fetches is kept at once; while the check runs, the messages in their files
// by now are committed a few times a second (listing a row per message would
// take longer than fetching it), and all of them at its end, when the keys of
// removed messages that the server no longer lists are forgotten and a
// server that gave STLS is noted. A store failure is handed to storeFailed
// and the check goes on: what could not be kept is fetched again next time.
class Pop3Check : public QObject {
    Q_OBJECT
public:
    Pop3Check(Pop3Session& session, MailConnection& link, MailStore& store);
    // Connects; false, after storeFailed, when the store cannot be read.
    bool start(const QString& host, quint16 port, const QString& userName, const QString& password);
    // Commits what was kept: the check is abandoned, or its screen leaves.
    void stop();

signals:
    // Messages committed, in the order fetched, and the progress to show
    // ("Message 3 of 9"; empty once the check has ended).
    void kept(const QList<KeptMessage>& messages, const QString& progress);
    void storeFailed(const StoreError& error);
    // After the end's bookkeeping.
    void finished();

private:
    void commit(bool all);
    template <class Routine>
    bool guarded(Routine routine);

    Pop3Session& m_session;
    MailConnection& m_link;
    MailStore& m_store;
    QString m_host;
    QString m_progress;
    QTimer m_batch;
    StoreKeeper m_keeper;
};
