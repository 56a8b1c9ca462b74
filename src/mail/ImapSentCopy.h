#pragma once

#include "mail/ImapSession.h"
#include "mail/MailConnection.h"

#include <QByteArrayList>
#include <QObject>

class ImapCache;

// The IMAP account a copy goes to.
struct ImapAccount {
    QString host;
    quint16 port = 0;
    TlsMode tls = TlsMode::Offered;
    QString userName, password;
    bool loginInClear = false;     // the user allowed this server the login in clear
    bool offeredStartTls = false;  // ... but it offered STARTTLS since: in clear, nothing goes
    bool oauth = false;            // the password is an OAuth2 access token
};

// Stores what was sent in the Sent folder of an IMAP account too, in the
// background: a sync of INBOX first, for the list of folders, then one of
// the Sent folder that APPENDs the messages, marked \Seen. Both are taken
// into the cache as the check screen's syncs are, so that its Sent folder
// shows them. Nothing is shown and nothing is made on the server: a server
// without a Sent folder gets no copy, and finished() says so. Messages
// given while a copy is on its way go with the next.
class ImapSentCopy : public QObject {
    Q_OBJECT
public:
    explicit ImapSentCopy(const ConnectionSettings& settings, QObject* parent = nullptr);
    ~ImapSentCopy() override;
    // `cache` may be null (the store could not be opened): then nothing is held.
    void start(const ImapAccount& account, ImapCache* cache, const QByteArray& message);
    // A copy on its way is given up.
    void stop();
    bool isRunning() const { return m_phase != Phase::Idle; }

    // The folder that takes sent mail: the one the server marks \Sent, else
    // the one whose name (its last level) is "Sent"; empty when neither is.
    static QByteArray sentFolder(const std::vector<ImapFolder>& folders);

signals:
    // For each batch of messages: `failure` empty when `folder` holds them.
    void finished(const QString& folder, const QString& failure);

private:
    enum class Phase { Idle, Folders, Append };
    void run(const ImapPlan& plan);
    void ended(bool ok);
    void appendTo(const QByteArray& folder);
    void done(const QString& failure);
    ImapPlan held(const QByteArray& folder) const;
    void keep(const ImapPlan& plan);

    ImapSession m_session;
    MailConnection* m_link;
    ImapAccount m_account;
    ImapCache* m_cache = nullptr;
    Phase m_phase = Phase::Idle;
    ImapPlan m_plan;           // of the conversation under way
    QByteArrayList m_waiting;  // messages not yet given to a conversation
    QString m_said;            // the conversation's last notice
};
