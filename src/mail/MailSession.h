#pragma once

#include "mail/MailAction.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QString>

// What a connection tells a protocol machine, and what it asks of it. Every
// call answers with the actions to carry out, in order. How a machine meets
// a failed TLS, a socket error and silence is the same for all of them, and
// is here: each machine says only what is its own (its closing step, the
// words of its notices).
class MailSession {
public:
    virtual ~MailSession() = default;

    // The connection is open; `local` is this end's address.
    virtual void connected(const QHostAddress& local, bool peerIsLoopback) = 0;
    virtual MailActions feed(const QByteArray& bytes) = 0;
    // The peer closed (after what was left to read was fed).
    virtual MailActions closed() = 0;
    // Ends the conversation with the socket's fault. A hang-up is no fault
    // of its own: closed() decides what it means.
    MailActions socketError(QAbstractSocket::SocketError error, const QString& description);
    // TLS is up: after StartTls, or from the first byte.
    virtual MailActions tlsReady() = 0;
    // TLS could not be set up; `reason` names host and cause. Nothing more is sent.
    MailActions tlsFailed(const QString& reason);
    // Nothing arrived in time; `what` says so, naming the host. After the
    // goodbye (QUIT, LOGOUT) the conversation ends as it stood; anywhere
    // else it fails.
    virtual MailActions timedOut(const QString& what);
    // The data of a Send could not be made to the end (an attachment became
    // unreadable); what went out of it is incomplete.
    virtual MailActions dataFailed(const MailNotice&) { return {}; }
    // "the reply to RCPT TO": what the machine is waiting for now.
    virtual QString waitingFor() const = 0;
    bool isActive() const { return m_active; }
    // Waiting for the server as long as it likes (an IMAP IDLE): silence is
    // no fault then, and timedOut() asks the machine to renew the wait.
    virtual bool waitsQuietly() const { return false; }
    // Whether feed() touches nothing but the machine itself, so that what
    // the server says may be read on another thread while the window goes on.
    virtual bool readsAlone() const { return false; }
    // The password given is an OAuth2 access token: it goes only by XOAUTH2
    // or OAUTHBEARER, and a server that offers neither gets nothing.
    void setOAuth(bool on) { m_oauth = on; }
    // A refused login ends without a notice: the owner renews the token and
    // tries once more, and says it when that fails too.
    void setQuietRefusal(bool on) { m_quietRefusal = on; }
    // The server refused the login (with OAuth2: the token) in this conversation.
    bool loginRefused() const { return m_loginRefused; }

protected:
    // The goodbye was sent: only the server's answer to it is awaited.
    virtual bool atClosingStep() const = 0;
    // The notice for a refusal or fault: `text` is the server's reply or what went wrong.
    virtual MailNotice errorNotice(const QString& text) const = 0;
    virtual MailNotice socketErrorNotice(int number, const QString& description) const = 0;

    // A new conversation: active, nothing failed yet, in clear.
    void begin();
    // The server refused the login with `text`: a failure, told unless the owner tries again.
    void refusedLogin(const QString& text, MailActions& out);
    // Closes the connection, tells `text` and ends in failure.
    void fail(const QString& text, MailActions& out);
    // The goodbye went unanswered: closes and ends as the conversation stood.
    virtual void endAtClose(MailActions& out);
    virtual void finish(bool ok, MailActions& out);

    bool m_active = false;
    bool m_failed = false;  // a fault was told: the end is no success
    bool m_secure = false;  // TLS is up
    bool m_oauth = false;
    bool m_quietRefusal = false;
    bool m_loginRefused = false;
};
