#pragma once

#include <QObject>
#include <QString>

#include <functional>

class MailConnection;
class MailSession;
class OAuthSignIn;

// One mail conversation whose login is an OAuth2 access token: the token is
// asked of the sign-in (renewed, or signed in for, as it needs), then the
// conversation starts; when the server refuses the token, it is renewed and
// the conversation starts once more, and only a second refusal is told.
// Nothing waits: each step follows a signal.
class OAuthConversation : public QObject {
    Q_OBJECT
public:
    OAuthConversation(OAuthSignIn& signIn, MailSession& session, MailConnection& connection, QObject* parent = nullptr);
    // `start` begins the conversation with the token (the session's start and
    // the connection's open).
    void run(std::function<void(const QString& token)> start);
    bool isRunning() const { return m_running; }

signals:
    // The sign-in failed: the message names the account; nothing was sent.
    void signInFailed(const QString& message);
    // The conversation's end, after the one retry: for the screen in place
    // of the connection's finished().
    void finished(bool ok);

private:
    void granted(const QString& token);
    void connectionFinished(bool ok);

    OAuthSignIn& m_signIn;
    MailSession& m_session;
    std::function<void(const QString&)> m_start;
    bool m_running = false;
    bool m_waiting = false;  // for the sign-in's answer
    bool m_retried = false;
};
