#pragma once

#include "mail/MailAction.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What the Send command hands to a session: the boxes as the user left them.
struct SmtpMessage {
    QString sender;          // the sender box
    QString recipients;      // the recipient box: addresses separated by ";" or ","
    QString subject;         // goes out exactly as typed
    QString text;            // the message box
    QByteArray attachments;  // UUEncodeAttachments() of the attachment list
    QDateTime date;          // the "Date:" header; invalid means now
    QString localHostName;   // HELO when the sender has no "@"; empty means this host's name
    QString messageId;       // empty: a fresh one is made up when the session starts
};

// One SMTP conversation, advanced only by the server's replies:
// greeting -> HELO, -> MAIL FROM, -> one RCPT TO per recipient, -> DATA,
// 354 -> the message, 2xx -> QUIT, then the closing reply ends it.
// Within a step the codes 220, 250 and 354 are all taken as "go on"; any
// other reply ends the session with "SMTP Error: " and the reply.
//
// The owner connects the socket, calls start(), passes every arrival to
// feed(), the socket's disconnection to closed() (after feeding what was
// left to read) and its errors to socketError(), and carries out the
// returned actions in order.
class SmtpSession
{
public:
    void start(const SmtpMessage &message);
    MailActions feed(const QByteArray &bytes);
    MailActions closed();
    MailActions socketError(QAbstractSocket::SocketError error, const QString &description);

    // 0 before the greeting ... 6 after QUIT was sent.
    int step() const { return m_step; }
    bool isActive() const { return m_active; }

    // The recipient box split at ";" and ",", pieces trimmed, empty ones
    // dropped, a "Name <address>" piece reduced to its address.
    static QStringList splitRecipients(const QString &box);
    // The sender's local part, or the local host name when there is none.
    static QString heloArgument(const QString &sender, const QString &localHostName);
    // Everything sent after the 354 reply, the closing "." line included.
    static QByteArray messageData(const SmtpMessage &message);
    // "Tue, 5 Mar 2002 14:03:09 +0100"
    static QByteArray rfc5322Date(const QDateTime &when);
    static QString newMessageId(const QString &sender, const QString &localHostName,
                                const QDateTime &when);

private:
    void handleReply(const QByteArray &reply, MailActions &out);
    void fail(const QByteArray &reply, MailActions &out);
    bool takeReply(QByteArray &reply);
    QByteArray command(const QByteArray &verb, const QString &argument) const;

    SmtpMessage m_message;
    QString m_sender;
    QStringList m_recipients;
    qsizetype m_nextRecipient = 0;
    int m_step = 0;
    bool m_active = false;
    QByteArray m_in;
    qsizetype m_scan = 0;  // lines before this offset belong to the reply being read
};
