#pragma once

#include "mail/MailAction.h"

#include <QByteArray>
#include <QString>

// Every message box of the send and check screens, word for word. The
// machines build their notices from here; the screens only show them.
namespace MailTexts {

// Send screen
inline const QString kSmtpErrorTitle = QStringLiteral("SMTP Error");
inline const QString kWinsockErrorTitle = QStringLiteral("Winsock Error");
inline const QString kMessageSent = QStringLiteral("Message sent successfuly.");
inline const QString kSmtpClosedEarly =
    QStringLiteral("The server closed the connection before the message was accepted.");

MailNotice smtpError(const QString& reply);
MailNotice smtpClosedEarly();
MailNotice messageSent();
MailNotice sendSocketError(int number, const QString& description);
MailNotice attachmentUnreadable(const QString& path, const QString& reason);

// Check screen
inline const QString kPop3ErrorTitle = QStringLiteral("POP3 Error");
inline const QString kNoMail = QStringLiteral("You have not mail.");
inline const QString kPop3ClosedEarly =
    QStringLiteral("The server closed the connection before the check was complete.");

MailNotice pop3Error(const QString& reply);
MailNotice pop3ClosedEarly();
MailNotice noMail();
MailNotice checkSocketError(int number, const QString& description);
// The first empty box, by its control name: "txtHost can't be empty".
MailNotice cantBeEmpty(const QString& controlName);

// Either screen
MailNotice lineBreakInLogin();
// The sentences below go into the screen's own error box ("SMTP Error: ...").
QString noStartTls(const QString& host);
QString noStls(const QString& host);
QString noOAuth(const QString& host);
QString secureConnectionFailed(const QString& host, const QString& reason);
QString noConnection(const QString& host, int seconds);
QString noAnswer(const QString& host, int seconds, const QString& waitingFor);

// Server text for display: UTF-8 when it is valid UTF-8, otherwise one
// character per byte, so no byte is ever lost or replaced.
QString decodeWireText(const QByteArray& bytes);

}  // namespace MailTexts
