#pragma once

#include "mail/CMessages.h"
#include "mail/MailReply.h"
#include "mail/MailSasl.h"
#include "mail/MailSession.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Where a POP3 check stands: named after what was sent last.
enum class Pop3Step {
    Greeting,  // connected, nothing sent
    Capa,
    Stls,
    TlsHandshake,
    User,
    Pass,
    Auth,  // AUTH XOAUTH2 or OAUTHBEARER, for an OAuth2 account
    Stat,
    Uidl,
    Retr,  // fetching message currentMessage()
    Quit,
};

// One POP3 check, advanced only by the server's replies:
// greeting -> CAPA, -> STLS when offered, -> USER, -> PASS, -> STAT, then
// RETR 1 ... RETR n, then QUIT; the reply to QUIT closes the socket.
// Nothing is ever deleted on the server.
//
// Fetched messages go into the collection given at construction, keyed by
// Message-ID, so a repeated check adds only messages not yet held. Each new
// message is announced by a list action as soon as it has arrived.
//
// With a keeper, each message is handed to it in pieces as it arrives and
// is never held whole, however long its lines: UIDL is asked after STAT and
// only messages whose UIDL is not among `known` are fetched, kept under their
// UIDL (a server without UIDL: every message, under its Message-ID).
//
// A message larger than the limit is left on the server: its bytes are read
// to its end and dropped, the check goes on with the next one, and one
// notice at the end names what was left.

// Where a check keeps what it fetches: a message's bytes as they arrive
// (unstuffed, a bounded piece at a time), then kept under its key or dropped.
class Pop3Keeper {
public:
    virtual ~Pop3Keeper() = default;
    virtual void begin() = 0;
    virtual void write(const QByteArray& piece) = 0;
    // The message is whole: true when it was kept (and is to be listed).
    virtual bool end(const QString& key) = 0;
    // What was written of it goes.
    virtual void drop() = 0;
};

class Pop3Session : public MailSession {
public:
    explicit Pop3Session(CMessages& messages);
    // For the next check, and every one after it; the keeper outlives them.
    void keepIn(Pop3Keeper* keeper, QSet<QString> known)
    {
        m_keeper = keeper;
        m_known = std::move(known);
    }

    void start(const QString& userName, const QString& password, const QString& host = QString(),
               TlsMode tls = TlsMode::Offered);
    // Whether a server that offers no STLS may have the login in clear, for
    // the next check and every one after it. Without it such a check ends
    // before the user name is sent, unless the server is this computer, and
    // refusedInClear() says so: the screen asks the user.
    void allowLoginInClear(bool allowed) { m_clearAllowed = allowed; }
    bool refusedInClear() const { return m_refusedInClear; }
    // Whether this server offered STLS when last reached in clear: when it no
    // longer does, a permission to log in in clear does not count.
    void setOfferedStlsBefore(bool offered) { m_offeredBefore = offered; }
    // STLS gave this check a secure connection.
    bool offeredStls() const { return m_offeredStls; }
    // It no longer offers STLS, though it did before (refusedInClear() is true then).
    bool lostStls() const { return m_lostStls; }
    // The most one message may hold, a line without an end included: past
    // it the message is left on the server (MailSettings' limit).
    static constexpr qsizetype kMessageLimit = qsizetype(64) * 1024 * 1024;
    void setMessageLimit(qsizetype octets) { m_messageLimit = octets; }
    // Every UIDL the server listed in the check that ran last (empty for an
    // empty mailbox); nothing when it listed none in full or has no UIDL.
    const std::optional<QSet<QString>>& listedKeys() const { return m_listed; }

    void connected(const QHostAddress& local, bool peerIsLoopback) override;
    MailActions feed(const QByteArray& bytes) override;
    MailActions closed() override;
    MailActions tlsReady() override;
    QString waitingFor() const override;

    Pop3Step step() const { return m_step; }
    int messageCount() const { return m_messageCount; }
    int currentMessage() const { return m_currentMessage; }

    // Checked before connecting, in the screen's order: the notice for the
    // first empty box, or for a line break in the login; none when all is well.
    static std::optional<MailNotice> inputNotice(const QString& host, const QString& userName, const QString& password);

private:
    bool atClosingStep() const override { return m_step == Pop3Step::Quit; }
    MailNotice errorNotice(const QString& text) const override;
    MailNotice socketErrorNotice(int number, const QString& description) const override;
    void handleLine(QByteArrayView line, MailActions& out);
    void handleStatus(QByteArrayView line, MailActions& out);
    void handleUidl(QByteArrayView line);
    void fetchFirst(MailActions& out);
    void afterCapabilities(MailActions& out);
    void login(MailActions& out);
    void continued(MailActions& out);
    void send(const QByteArray& line, Pop3Step next, MailActions& out);
    void storeMessage(MailActions& out);
    void messageBytes(QByteArrayView bytes, MailActions& out);
    void longLine(MailActions& out);
    QString keyByMessageId();
    void askNextOrQuit(MailActions& out);
    void quitWithError(QByteArrayView reply, MailActions& out);
    void tooLarge(MailActions& out);
    QString leftOnServer() const;

    CMessages& m_messages;
    QString m_userName;
    QString m_password;
    QString m_host;
    TlsMode m_tls = TlsMode::Offered;
    Pop3Step m_step = Pop3Step::Greeting;
    bool m_inCapabilities = false;  // CAPA said +OK, its lines follow
    bool m_stlsOffered = false;
    std::optional<QByteArrayList> m_sasl;  // CAPA's SASL line, as said on this connection's footing
    OAuthMechanism m_mechanism = OAuthMechanism::None;
    QByteArray m_saslDue;  // the OAuth2 response, awaiting the server's go-ahead
    bool m_loopback = false;
    bool m_clearAllowed = false;
    bool m_refusedInClear = false;
    bool m_offeredBefore = false;
    bool m_offeredStls = false;
    bool m_lostStls = false;
    qsizetype m_messageLimit = kMessageLimit;
    bool m_inData = false;  // the RETR status line is read, message lines follow
    bool m_inUidl = false;  // UIDL said +OK, its lines follow
    int m_messageCount = 0;
    int m_currentMessage = 0;
    QByteArray m_partial;  // the start of a line whose end has not arrived
    // The message being fetched, unstuffed: with a keeper only what has not
    // gone to it yet, else all of it.
    QByteArray m_buffer;
    qsizetype m_size = 0;     // of the message being fetched, so far
    bool m_midLine = false;   // the start of the line being read went on already
    bool m_skipping = false;  // the message is past the limit: read to its end, kept nowhere
    QByteArray m_head;        // its first bytes, for the Message-ID of a message without UIDL
    QCryptographicHash m_hash{QCryptographicHash::Sha1};  // of a message without UIDL or Message-ID
    QList<int> m_left;                                    // messages past the limit in this check
    QHash<QString, int> m_seen;                           // keys met in this check, for repeated Message-IDs
    struct Wanted {
        int number;
        QString uidl;  // empty: key by Message-ID
    };
    std::vector<Wanted> m_wanted;  // what this check fetches, in order
    Pop3Keeper* m_keeper = nullptr;
    QSet<QString> m_known;
    QSet<QString> m_listing;
    std::optional<QSet<QString>> m_listed;
};
