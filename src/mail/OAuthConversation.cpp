#include "mail/OAuthConversation.h"

#include "kit/OAuth2.h"
#include "mail/MailConnection.h"
#include "mail/MailSession.h"

OAuthConversation::OAuthConversation(OAuthSignIn& signIn, MailSession& session, MailConnection& connection,
                                     QObject* parent)
    : QObject(parent)
    , m_signIn(signIn)
    , m_session(session)
{
    connect(&m_signIn, &OAuthSignIn::granted, this, &OAuthConversation::granted);
    connect(&m_signIn, &OAuthSignIn::failed, this, [this](const QString& message) {
        if (!std::exchange(m_waiting, false))
            return;
        m_running = false;
        emit signInFailed(message);
        emit finished(false);
    });
    connect(&connection, &MailConnection::finished, this, &OAuthConversation::connectionFinished);
}

void OAuthConversation::run(std::function<void(const QString&)> start)
{
    m_start = std::move(start);
    m_running = true;
    m_retried = false;
    m_waiting = true;
    m_signIn.requestToken();
}

void OAuthConversation::granted(const QString& token)
{
    if (!std::exchange(m_waiting, false))
        return;
    m_session.setOAuth(true);
    // The first refusal may be a token revoked or run out early: renewed and tried again.
    m_session.setQuietRefusal(!m_retried);
    m_start(token);
}

void OAuthConversation::connectionFinished(bool ok)
{
    if (!m_running || m_waiting)
        return;
    if (!ok && m_session.loginRefused() && !m_retried) {
        m_retried = true;
        m_waiting = true;
        m_signIn.tokenRefused();
        m_signIn.requestToken();
        return;
    }
    m_running = false;
    emit finished(ok);
}
