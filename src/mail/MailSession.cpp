#include "mail/MailSession.h"

MailActions MailSession::socketError(QAbstractSocket::SocketError error, const QString& description)
{
    MailActions out;
    if (!m_active || error == QAbstractSocket::RemoteHostClosedError)
        return out;
    out.push_back(MailAction::notify(socketErrorNotice(int(error), description)));
    m_failed = true;
    finish(false, out);
    return out;
}

MailActions MailSession::tlsFailed(const QString& reason)
{
    MailActions out;
    if (m_active)
        fail(reason, out);
    return out;
}

MailActions MailSession::timedOut(const QString& what)
{
    MailActions out;
    if (!m_active)
        return out;
    if (atClosingStep())
        endAtClose(out);
    else
        fail(what, out);
    return out;
}

void MailSession::begin()
{
    m_active = true;
    m_failed = false;
    m_secure = false;
    m_loginRefused = false;
}

void MailSession::refusedLogin(const QString& text, MailActions& out)
{
    m_loginRefused = true;
    if (!m_quietRefusal)
        return fail(text, out);
    m_failed = true;
    out.push_back(MailAction::close());
    finish(false, out);
}

void MailSession::fail(const QString& text, MailActions& out)
{
    m_failed = true;
    out.push_back(MailAction::close());
    out.push_back(MailAction::notify(errorNotice(text)));
    finish(false, out);
}

void MailSession::endAtClose(MailActions& out)
{
    out.push_back(MailAction::close());
    finish(!m_failed, out);
}

void MailSession::finish(bool ok, MailActions& out)
{
    m_active = false;
    out.push_back(MailAction::finished(ok));
}
