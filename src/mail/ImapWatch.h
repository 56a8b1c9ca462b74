#pragma once

#include "mail/ImapSession.h"
#include "mail/MailConnection.h"

#include <QObject>

#include <memory>

// Keeps one IMAP folder in IDLE and says when the server reports a change,
// so that an open list can sync again. Nothing is kept: what the watch's own
// sync found is left to the one the change starts.
class ImapWatch : public QObject {
    Q_OBJECT

public:
    explicit ImapWatch(QObject* parent = nullptr);
    ~ImapWatch() override;

    // Connects, syncs as `plan` says (the folder's held state, so that only
    // what is new is fetched) and then waits in IDLE; a watch already running
    // stops first, without a word.
    void start(const ConnectionSettings& settings, const QString& host, quint16 port, TlsMode tls,
               const QString& userName, const QString& password, ImapPlan plan);
    // As ImapSession's: a server reached in clear gets the login in clear
    // only when allowed, and not when it offered STARTTLS before.
    void allowLoginInClear(bool allowed, bool offeredStartTlsBefore)
    {
        m_session.allowLoginInClear(allowed);
        m_session.setOfferedStartTlsBefore(offeredStartTlsBefore);
    }
    // The password given is an OAuth2 access token (ImapSession's setOAuth).
    void setOAuth(bool on) { m_session.setOAuth(on); }
    // Ends the IDLE with DONE and LOGOUT.
    void stop();

signals:
    void folderChanged();
    void notice(const MailNotice& notice);  // a failure, as the check would say it
    void finished(bool ok);

private:
    ImapSession m_session;
    std::unique_ptr<MailConnection> m_connection;
};
