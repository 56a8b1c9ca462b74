#pragma once

#include "mail/MailReply.h"
#include "mail/MailSession.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <functional>

// What the Send command hands to a session: the boxes as the user left them,
// and the server with the login of the e-mail settings.
struct SmtpMessage {
    QString sender;           // the sender box
    QString recipients;       // the recipient box: addresses separated by ";" or ","
    QString subject;          // goes out as typed (encoded when it is not ASCII)
    QString text;             // the message box
    QStringList attachments;  // the files of the attachment list, uuencoded as they go out
    bool mimeParts = false;   // the files as MIME parts instead, when there are any
    QDateTime date;           // the "Date:" header; invalid means now
    QString localHostName;    // this machine's name; empty means ask the system
    QString messageId;        // empty: a fresh one is made up when the session starts
    QString inReplyTo;        // "<id>" of the message answered, else empty
    QString references;       // "<id> <id> ..." of the thread answered, else empty
    // A meeting message: the text and this calendar as two forms of one
    // multipart/alternative, the calendar's METHOD named in its type.
    QByteArray calendar;
    QByteArray calendarMethod;
    QString host;  // the server as named in the settings, for messages
    TlsMode tls = TlsMode::Offered;
    QString userName;  // the login, used when the server asks for one
    QString password;
    // Hears the message as it goes out, a slice at a time, as the receiver
    // reads it: without the dot-stuffing and the final ".".
    std::function<void(const QByteArray&)> copy;
};

// Where an SMTP conversation stands: named after what was sent last.
enum class SmtpStep {
    Greeting,  // connected, nothing sent
    Ehlo,
    Helo,  // EHLO was refused as unknown
    StartTls,
    TlsHandshake,
    AuthPlain,
    AuthLogin,
    AuthLoginUser,
    AuthLoginPassword,
    AuthOAuth,  // AUTH OAUTHBEARER or XOAUTH2 with the token, for an OAuth2 account
    MailFrom,
    RcptTo,
    Data,
    Message,  // the message and its final "."
    Quit,
};

// What the server announced in its reply to EHLO.
struct SmtpCapabilities {
    bool startTls = false;
    bool eightBitMime = false;
    QByteArrayList auth;  // mechanisms, upper case
};

// One SMTP conversation, advanced only by the server's replies:
// greeting -> EHLO (HELO when EHLO is unknown), -> STARTTLS and EHLO again
// when offered, -> AUTH when offered and safe, -> MAIL FROM, -> one RCPT TO
// per recipient, -> DATA, 354 -> the message, 2xx -> QUIT, then the closing
// reply ends it. Up to the data, the codes 220, 250 and 354 are all taken
// as "go on"; any other reply ends the session with "SMTP Error: " and the
// reply.
class SmtpSession : public MailSession {
public:
    void start(const SmtpMessage& message);

    void connected(const QHostAddress& local, bool peerIsLoopback) override;
    MailActions feed(const QByteArray& bytes) override;
    MailActions closed() override;
    MailActions tlsReady() override;
    MailActions dataFailed(const MailNotice& notice) override;
    QString waitingFor() const override;

    SmtpStep step() const { return m_step; }

    // The recipient box split at ";" and ",", pieces trimmed, empty ones
    // dropped, a "Name <address>" piece reduced to its address.
    static QStringList splitRecipients(const QString& box);
    // This machine's fully qualified name, or the address literal of the
    // connection's own end when it has none: strict servers refuse others.
    static QString ehloArgument(const QString& hostName, const QHostAddress& local);
    // Everything sent after the 354 reply, the closing "." line included:
    // made as it goes out, the attachments read a slice at a time. Nothing
    // when an attachment cannot be opened; `failure` then says which.
    static std::shared_ptr<MailData> messageData(const SmtpMessage& message, MailNotice* failure = nullptr);
    // The subject line's value: as typed when ASCII, else encoded words.
    static QByteArray subjectText(const QString& subject);
    // The From line's text: as typed when it is ASCII; a name in other
    // letters before an address goes as encoded words (RFC 2047), unquoted.
    static QByteArray senderText(const QString& sender);
    // "Tue, 5 Mar 2002 14:03:09 +0100"
    static QByteArray rfc5322Date(const QDateTime& when);
    static QString newMessageId(const QString& sender, const QString& localHostName, const QDateTime& when);

private:
    bool atClosingStep() const override { return m_step == SmtpStep::Quit; }
    MailNotice errorNotice(const QString& text) const override;
    MailNotice socketErrorNotice(int number, const QString& description) const override;
    void endAtClose(MailActions& out) override;
    void handleReply(const SmtpReply& reply, MailActions& out);
    void afterHello(MailActions& out);
    void oauthLogin(bool mayLogIn, MailActions& out);
    void sendMailFrom(MailActions& out);
    void send(const QByteArray& line, SmtpStep next, MailActions& out);
    void dataFailed(const MailNotice& notice, MailActions& out);
    void succeed(bool tell, MailActions& out);

    SmtpMessage m_message;
    QString m_sender;
    QStringList m_recipients;
    qsizetype m_nextRecipient = 0;
    SmtpStep m_step = SmtpStep::Greeting;
    bool m_loopback = false;
    QHostAddress m_local;
    SmtpCapabilities m_caps;
    SmtpReplyReader m_reader;
};
