#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "kit/Invitation.h"
#include "kit/MailSettings.h"
#include "mail/SmtpSession.h"
#include "store/Connection.h"

class MailConnection;
class OAuthConversation;

// Sends the messages of meeting invitations and answers through the
// account's SMTP server, one after the other on a connection of its own:
// the password asked for or the OAuth2 sign-in run as the send screen does.
// The server's "sent" is told by `sent`, not in a message box; a failure is.
class InvitationMail : public QObject {
    Q_OBJECT
public:
    // `screen`: the window the password question belongs to.
    InvitationMail(QWidget* screen, QObject* parent);
    ~InvitationMail() override;
    // The account's server, user and password are the settings'.
    void send(SmtpMessage message, const MailSettings& settings);

signals:
    // The message went out (true) or the server did not take it.
    void sent(bool ok);

private:
    void next();
    void finished(bool ok);

    QPointer<QWidget> m_screen;
    Connection m_con;
    QList<std::pair<SmtpMessage, MailSettings>> m_waiting;
    bool m_busy = false;
    MailSettings m_settings;
    SmtpSession m_session;
    MailConnection* m_link;
    OAuthConversation* m_oauth = nullptr;
};

// The mail's side of the planner's invitations (Invitation::setMailer): the
// address book's addresses, the account's own, and an InvitationMail of
// `screen` that sends, each opening the store when asked.
Invitation::Mailer invitationMailer(QWidget* screen);
