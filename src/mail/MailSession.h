#pragma once

#include "mail/MailAction.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QString>

// What a connection tells a protocol machine, and what it asks of it. Every
// call answers with the actions to carry out, in order.
class MailSession {
public:
    virtual ~MailSession() = default;

    // The connection is open; `local` is this end's address.
    virtual void connected(const QHostAddress& local, bool peerIsLoopback) = 0;
    virtual MailActions feed(const QByteArray& bytes) = 0;
    // The peer closed (after what was left to read was fed).
    virtual MailActions closed() = 0;
    virtual MailActions socketError(QAbstractSocket::SocketError error, const QString& description) = 0;
    // TLS is up: after StartTls, or from the first byte.
    virtual MailActions tlsReady() = 0;
    // TLS could not be set up; `reason` names host and cause. Nothing more is sent.
    virtual MailActions tlsFailed(const QString& reason) = 0;
    // Nothing arrived in time; `what` says so, naming the host.
    virtual MailActions timedOut(const QString& what) = 0;
    // The data of a Send could not be made to the end (an attachment became
    // unreadable); what went out of it is incomplete.
    virtual MailActions dataFailed(const MailNotice&) { return {}; }
    // "the reply to RCPT TO": what the machine is waiting for now.
    virtual QString waitingFor() const = 0;
    virtual bool isActive() const = 0;
    // Waiting for the server as long as it likes (an IMAP IDLE): silence is
    // no fault then, and timedOut() asks the machine to renew the wait.
    virtual bool waitsQuietly() const { return false; }
    // Whether feed() touches nothing but the machine itself, so that what
    // the server says may be read on another thread while the window goes on.
    virtual bool readsAlone() const { return false; }
};
