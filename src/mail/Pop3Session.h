#pragma once

#include "mail/CMessages.h"
#include "mail/MailAction.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// One POP3 check, advanced only by the server's replies:
// greeting -> USER, -> PASS, -> STAT, then RETR 1 ... RETR n, then QUIT;
// the reply to QUIT closes the socket and lists what was fetched. Nothing
// is ever deleted on the server.
//
// Fetched messages go into the collection given at construction, keyed by
// Message-ID, so a repeated check adds only messages not yet held. A list
// action names the keys of the messages to add as rows; a message that a
// check fetched is always listed once, whichever way that check ended.
//
// The owner drives it like SmtpSession: start(), then feed() every arrival,
// closed() on disconnection (after feeding what was left to read), and
// socketError() for the socket's errors; it carries out the actions in order.
class Pop3Session
{
public:
    explicit Pop3Session(CMessages &messages);

    void start(const QString &userName, const QString &password);
    MailActions feed(const QByteArray &bytes);
    MailActions closed();
    MailActions socketError(QAbstractSocket::SocketError error, const QString &description);

    // 0 greeting, 1 USER sent, 2 PASS sent, 3 STAT sent, 4 fetching, 6 QUIT sent.
    int step() const { return m_step; }
    bool isActive() const { return m_active; }
    int messageCount() const { return m_messageCount; }
    int currentMessage() const { return m_currentMessage; }

    // Checked before connecting, in the screen's order: the notice for the
    // first empty box, none when all three are filled.
    static std::optional<MailNotice> emptyBoxNotice(const QString &host, const QString &userName,
                                                    const QString &password);
    // From, Subject, Date and Size: the columns of a message's list row.
    static QStringList listRow(const CMessage &message);

private:
    void handleLine(QByteArrayView line, MailActions &out);
    void handleStatus(QByteArrayView line, MailActions &out);
    void storeMessage();
    void askNextOrQuit(MailActions &out);
    void quitWithError(QByteArrayView reply, MailActions &out);
    void finish(bool ok, MailActions &out);
    QString keyFor(const CMessage &message);

    CMessages &m_messages;
    QString m_userName;
    QString m_password;
    int m_step = 0;
    bool m_active = false;
    bool m_failed = false;
    bool m_inData = false;     // the RETR status line is read, message lines follow
    int m_messageCount = 0;
    int m_currentMessage = 0;
    QByteArray m_partial;      // the start of a line whose end has not arrived
    QByteArray m_buffer;       // the message being fetched, unstuffed
    QHash<QString, int> m_seen;  // keys met in this check, for repeated Message-IDs
    QStringList m_unlisted;    // held but not yet listed
};
