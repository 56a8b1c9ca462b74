#pragma once

#include "mail/ImapResponse.h"
#include "mail/MailSasl.h"
#include "mail/MailSession.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

// Where an IMAP conversation stands: named after what was sent last.
enum class ImapStep {
    Greeting,  // connected, nothing sent
    Capability,
    StartTls,
    TlsHandshake,
    Login,   // LOGIN, or AUTHENTICATE PLAIN
    Enable,  // ENABLE QRESYNC
    Select,
    FetchFlags,    // the flags of the messages already known (all of them in windows, or those changed)
    FetchHeaders,  // the headers of those past the last known UID
    SearchHeld,    // UID SEARCH of the held UIDs: which are still there
    Store,
    Expunge,
    Move,          // UID MOVE
    Copy,          // UID COPY, where the server has no MOVE
    MarkMoved,     // UID STORE +FLAGS (\Deleted) of what was copied
    ExpungeMoved,  // UID EXPUNGE of what was copied
    Append,
    FetchBody,
    List,
    Idle,  // IDLE: waiting for the folder to change
    Logout,
};

// What the folder's list shows of a message, and what threads it into
// conversations (ids without angle brackets), read from its header lines.
struct ImapShown {
    QString from, subject, date;
    QString messageId, inReplyTo;
    QStringList references;

    friend bool operator==(const ImapShown&, const ImapShown&) = default;
};

// One message as the folder's list shows it.
struct ImapHeader {
    quint32 uid = 0;
    QByteArrayList flags;  // as the server spells them: "\Seen", "$Forwarded"
    quint32 size = 0;      // RFC822.SIZE
    QByteArray fields;     // the header lines asked for (From, Subject, Date and the threading ids), as sent
    // Read from `fields` as each header comes, while the server is still
    // sending the rest: a first sync of thousands then has little left to
    // do after the conversation.
    ImapShown shown;

    friend bool operator==(const ImapHeader&, const ImapHeader&) = default;
};

struct ImapFolder {
    QByteArray name;  // as the server spells it, for commands
    QByteArray delimiter;
    bool selectable = true;
    bool sent = false;  // LIST marks it \Sent (RFC 6154): where sent mail is kept

    friend bool operator==(const ImapFolder&, const ImapFolder&) = default;
};

// A flag to set or take off one message.
struct ImapFlagChange {
    quint32 uid = 0;
    QByteArray flag;  // "\Seen", "\Deleted"
    bool add = true;
};

// A held message to go to another folder of the same server.
struct ImapMove {
    quint32 uid = 0;
    QByteArray to;  // as the server spells it
};

// A message to be stored whole in a folder (the Sent copy of a sent mail).
struct ImapAppend {
    QByteArray folder;
    QByteArray message;  // as sent, lines ending in CR LF
    QByteArrayList flags = {"\\Seen"};
};

// How one move or append of the plan went.
struct ImapDone {
    enum class Outcome {
        NotTried,  // the conversation ended first, or the folder was made anew
        Done,      // moved or stored
        Copied,    // in the other folder, but still in this one too (marked \Deleted unless `reason` says not)
        Refused,   // nothing changed; `reason` says why
    };
    Outcome outcome = Outcome::NotTried;
    quint32 uid = 0;  // its UID where it went, when the server said (UIDPLUS)
    QString reason;

    friend bool operator==(const ImapDone&, const ImapDone&) = default;
};

// What one conversation is to do in its folder, and what this computer
// already holds of it.
struct ImapPlan {
    QByteArray folder = "INBOX";
    quint32 knownUidValidity = 0;  // 0: nothing held
    quint32 lastKnownUid = 0;      // the highest UID held
    std::vector<ImapFlagChange> changes;
    bool expunge = false;  // remove what is marked \Deleted (by this plan's UIDs where the server can)
    quint32 bodyUid = 0;   // 0: fetch no message whole
    std::vector<ImapMove> moves;
    std::vector<ImapAppend> appends;
    bool idle = false;  // after the sync, wait in IDLE (where offered) and say each change
    // Where the server keeps modification sequences (QRESYNC or CONDSTORE):
    // the folder's HIGHESTMODSEQ when it was synced last (0: none); and the
    // flags of every message held, so that a sync asks only for what changed
    // since (ImapCache::apply takes those a sync does not name for gone).
    quint64 knownModSeq = 0;
    QHash<quint32, QByteArrayList> heldFlags;
};

// What the conversation found; complete only when it finished well.
struct ImapResult {
    std::vector<ImapFolder> folders;
    quint32 uidValidity = 0;
    quint32 uidNext = 0;  // 0: the server did not say
    quint32 exists = 0;
    bool uidValidityChanged = false;               // what was held of the folder no longer counts
    std::map<quint32, QByteArrayList> knownFlags;  // the held messages still there, with their flags now
    bool heldAsBefore = false;        // or, in place of knownFlags: every one held is there, with the flags held
    std::vector<ImapHeader> headers;  // messages past the last known UID, in UID order
    quint32 firstLeft = 0;            // 0, or the first UID not in `headers` for lack of room: the next sync fetches it
    std::optional<QByteArray> body;   // the message asked for whole, when the server had it
    QString bodyFile;                 // or the file holding it, when it was too large to hold
    std::vector<ImapDone> moved;      // one for each of the plan's moves, in its order
    std::vector<ImapDone> appended;   // one for each of the plan's appends
    quint64 highestModSeq = 0;        // the folder's HIGHESTMODSEQ at SELECT; 0: none kept
    bool changesOnly = false;         // the held flags were asked for only where they changed (QRESYNC, CONDSTORE)
    // EXPUNGE was not sent: without UIDPLUS it would have taken what another
    // reader marked \Deleted too; what this plan marked stays marked.
    bool expungeWithheld = false;
};

// One IMAP conversation, advanced only by the server's responses:
// greeting -> CAPABILITY -> STARTTLS when offered (CAPABILITY again inside)
// -> LOGIN or AUTHENTICATE PLAIN -> CAPABILITY unless the login's reply said
// them -> ENABLE QRESYNC where offered -> SELECT (with CONDSTORE where that
// alone is offered) -> UID FETCH of the held messages' flags: with QRESYNC
// only those changed since the plan's HIGHESTMODSEQ, and the UIDs gone; with
// CONDSTORE those changed; nothing when it is the server's still; without
// either all of them, in windows -> UID FETCH of the new headers -> with
// CONDSTORE alone, UID SEARCH of the held UIDs when fewer are there than
// held -> UID STORE for each change -> UID MOVE (or UID COPY, UID STORE \Deleted, UID EXPUNGE) for
// each move -> UID EXPUNGE or EXPUNGE -> APPEND for each append -> UID FETCH
// of one body -> LIST -> LOGOUT. A move or append the server refuses is
// said in the result; the rest of the sync goes on.
// Steps the plan does not need are left out. The held UIDs count only while
// the folder's UIDVALIDITY is the one held.
class ImapSession : public MailSession {
public:
    void start(const QString& userName, const QString& password, const ImapPlan& plan, const QString& host = QString(),
               TlsMode tls = TlsMode::Offered);
    // Whether a server reached in clear may have the login in clear; without
    // it such a conversation ends before the login, unless the server is this
    // computer, and refusedInClear() says so.
    void allowLoginInClear(bool allowed) { m_clearAllowed = allowed; }
    bool refusedInClear() const { return m_refusedInClear; }
    // Whether this server offered STARTTLS when last reached in clear: when
    // it no longer does, a permission to go on in clear does not count.
    void setOfferedStartTlsBefore(bool offered) { m_offeredBefore = offered; }
    // STARTTLS gave this conversation a secure connection.
    bool offeredStartTls() const { return m_offeredStartTls; }
    // It no longer offers STARTTLS, though it did before (refusedInClear() is true then).
    bool lostStartTls() const { return m_lostStartTls; }
    void setResponseLimit(qsizetype octets) { m_reader.setLimit(octets); }
    // Where a message fetched whole goes as it arrives when it is too large
    // to hold (ImapResult::bodyFile): a Maildir's tmp/, under a name its
    // MailStore leaves to this process.
    void spillTo(const QString& folder);
    // The most kept of one new message's header block (a longer one is cut
    // after a line's end, the message still listed), and of all new
    // messages of one sync: past it the highest UIDs are left to the next
    // sync (ImapResult::firstLeft).
    static constexpr qsizetype kHeaderLimit = qsizetype(256) * 1024;
    static constexpr qsizetype kHeadersLimit = qsizetype(16) * 1024 * 1024;
    void setHeaderLimits(qsizetype each, qsizetype all)
    {
        m_headerLimit = each;
        m_headersLimit = all;
    }
    // How many held messages one UID FETCH of flags covers, where all are asked for.
    static constexpr size_t kFlagWindow = 2000;
    void setFlagWindow(size_t held) { m_flagWindow = std::max<size_t>(held, 1); }

    const ImapResult& result() const { return m_result; }
    ImapStep step() const { return m_step; }

    void connected(const QHostAddress& local, bool peerIsLoopback) override;
    MailActions feed(const QByteArray& bytes) override;
    MailActions closed() override;
    MailActions tlsReady() override;
    MailActions timedOut(const QString& what) override;
    QString waitingFor() const override;
    bool waitsQuietly() const override { return m_active && m_step == ImapStep::Idle && m_idling; }
    // What the server says goes into this object alone.
    bool readsAlone() const override { return true; }
    // Ends the IDLE (or the sync, without one) with LOGOUT.
    MailActions stopIdle();

private:
    bool atClosingStep() const override { return m_step == ImapStep::Logout; }
    MailNotice errorNotice(const QString& text) const override;
    MailNotice socketErrorNotice(int number, const QString& description) const override;
    void finish(bool ok, MailActions& out) override;
    void handle(const ImapResponse& r, MailActions& out);
    void untagged(const ImapResponse& r);
    void fetched(const ImapResponse& r);
    void indexHeaders();
    void holdHeader(ImapHeader h);
    void keepWithinLimit();
    void leaveLastHeader();
    std::map<quint32, size_t>::iterator dropHeader(std::map<quint32, size_t>::iterator held);
    void completed(const ImapResponse& r, MailActions& out);
    void afterCapabilities(MailActions& out);
    bool mayGoOnInClear(MailActions& out);
    void preauthenticated(const ImapResponse& r, MailActions& out);
    void login(MailActions& out);
    void oauthLogin(MailActions& out);
    void loggedIn(const ImapResponse& r, MailActions& out);
    void selectFolder(MailActions& out);
    void afterSelect(MailActions& out);
    void nextFlagWindow(MailActions& out);
    void fetchHeaders(MailActions& out);
    void searchHeld(MailActions& out);
    void keepFound();
    void nextChange(MailActions& out);
    void nextMove(MailActions& out);
    void moveDone(const ImapResponse& r, bool ok, MailActions& out);
    void expunge(MailActions& out);
    void nextAppend(MailActions& out);
    std::map<quint32, QByteArrayList>& knownFlags();
    void forget(quint32 uid);
    void vanished(const ImapResponse& r);
    void bodyOrList(MailActions& out);
    void listFolders(MailActions& out);
    void command(const QByteArray& text, ImapStep next, MailActions& out);
    void logoutWithError(const QString& text, MailActions& out);

    QString m_userName;
    QString m_password;
    QString m_host;
    TlsMode m_tls = TlsMode::Offered;
    ImapPlan m_plan;
    ImapResult m_result;
    std::map<quint32, size_t> m_headerAt;  // where each of m_result.headers sits, by UID
    qsizetype m_headersHeld = 0;           // what m_result.headers costs (headerCost)
    qsizetype m_headerLimit = kHeaderLimit;
    qsizetype m_headersLimit = kHeadersLimit;
    size_t m_flagWindow = kFlagWindow;
    std::vector<std::pair<quint32, quint32>> m_flagWindows;  // the UID ranges of flags still to ask for
    quint32 m_firstNewAt = 0;                                // the message number of the first past the held
    std::vector<quint32> m_found;                            // what UID SEARCH said is there
    ImapReader m_reader;
    ImapStep m_step = ImapStep::Greeting;
    QByteArray m_tag;  // of the command awaiting completion
    int m_tags = 0;
    size_t m_change = 0;        // the next of the plan's changes
    size_t m_move = 0;          // the plan's move under way
    size_t m_append = 0;        // the plan's append under way
    quint32 m_copyUid = 0;      // where the move under way went, as the server said
    bool m_literalDue = false;  // APPEND awaits the go-ahead for the message
    bool m_idling = false;      // the server took the IDLE
    bool m_doneDue = false;     // the IDLE is to end as soon as the server takes it
    bool m_renewing = false;    // DONE was sent to start the IDLE again
    QByteArrayList m_capabilities;
    bool m_loopback = false;
    bool m_clearAllowed = false;
    bool m_refusedInClear = false;
    bool m_offeredBefore = false;
    bool m_offeredStartTls = false;
    bool m_lostStartTls = false;
    bool m_plainSent = false;  // AUTHENTICATE PLAIN awaits the server's go-ahead
    QByteArray m_saslDue;      // the OAuth2 response, awaiting the go-ahead (no SASL-IR)
    OAuthMechanism m_mechanism = OAuthMechanism::None;
    bool m_loggedIn = false;          // CAPABILITY is asked again after the login
    bool m_capabilitiesSaid = false;  // unasked, with the login's reply: not asked again
    bool m_qresync = false;           // the server took ENABLE QRESYNC
    bool m_condstore = false;         // SELECT asked for CONDSTORE (offered without QRESYNC)
};
