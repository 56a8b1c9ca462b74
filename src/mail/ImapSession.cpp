#include "mail/ImapSession.h"

#include "mail/MailSasl.h"
#include "mail/MailTexts.h"
#include "mail/MimeMessage.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <utility>

namespace {

const QString kErrorTitle = QStringLiteral("IMAP Error");
const QString kClosedEarly = QStringLiteral("The server closed the connection before the check was complete.");
const QString kNoStartTls = QStringLiteral("The server %1 offers no secure connection (STARTTLS). Nothing was sent.");
const QString kLoginDisabled = QStringLiteral("The server %1 takes no login on this connection.");
const QString kUnquotableLogin =
    QStringLiteral("The user name or password holds characters the server can only take with AUTHENTICATE PLAIN, "
                   "which it does not offer.");
const QString kUnreadable = QStringLiteral("The server sent what cannot be read (%1). Nothing of this check was kept.");
const QString kUnsendableFolder = QStringLiteral("The folder name %1 cannot be sent to the server.");
const QString kUnsendableFlag = QStringLiteral("The flag %1 cannot be sent to the server.");
const QString kSaidBye = QStringLiteral("The server ended the conversation: %1");

MailNotice imapError(const QString& text)
{
    return {QStringLiteral("IMAP Error: ") + text, kErrorTitle, MailIcon::Exclamation};
}

QString serverText(const ImapResponse& r)
{
    return MailTexts::decodeWireText(r.name + ' ' + r.text);
}

// A flag goes out as an atom: one with a blank, a bracket or a line break in
// it would be read as more than a flag.
bool isFlagAtom(QByteArrayView flag)
{
    if (flag.isEmpty())
        return false;
    return std::none_of(flag.begin(), flag.end(), [](char c) {
        return c <= ' ' || c == '(' || c == ')' || c == '{' || c == '"' || c == ']' || c == '%' || c == '*'
               || static_cast<unsigned char>(c) >= 0x7f;
    });
}

QByteArrayList names(const std::vector<ImapValue>& values)
{
    QByteArrayList out;
    for (const ImapValue& v : values) {
        if (v.kind == ImapValue::Kind::Atom)
            out << v.text;
    }
    return out;
}

// A modification sequence: 63 bits, more than ImapValue::number() takes.
quint64 modSeq(const std::vector<ImapValue>& values)
{
    bool ok = false;
    const quint64 n = values.empty() || values[0].kind != ImapValue::Kind::Atom ? 0 : values[0].text.toULongLong(&ok);
    return ok ? n : 0;
}

// A set of UIDs as the server writes it, "3,7:9,12:*", as ranges in order.
std::vector<std::pair<quint32, quint32>> uidRanges(const QByteArray& set)
{
    std::vector<std::pair<quint32, quint32>> out;
    for (const QByteArray& range : set.split(',')) {
        const qsizetype colon = range.indexOf(':');
        bool ok = false;
        const quint32 a = range.left(colon < 0 ? range.size() : colon).toUInt(&ok);
        if (!ok)
            continue;
        quint32 b = a;
        if (colon >= 0)
            b = range.mid(colon + 1) == "*" ? UINT32_MAX : range.mid(colon + 1).toUInt(&ok);
        if (ok)
            out.emplace_back(std::min(a, b), std::max(a, b));
    }
    std::sort(out.begin(), out.end());
    std::vector<std::pair<quint32, quint32>> merged;  // no two overlap: one lookup finds the one
    for (const auto& r : out) {
        if (!merged.empty() && r.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    return merged;
}

// A folder as a command names it: as the server spells it, or, given in
// UTF-8 with letters past ASCII, in modified UTF-7 as the server spells those.
std::optional<QByteArray> folderArgument(const QByteArray& name)
{
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; });
    return imapQuoted(ascii ? name : imapFolderWire(QString::fromUtf8(name)));
}

// At most `limit` bytes of a header block, cut after a line's end.
QByteArray headerBlock(const QByteArray& fields, qsizetype limit)
{
    if (fields.size() <= limit)
        return fields;
    return fields.left(fields.lastIndexOf('\n', limit - 1) + 1);
}

// What one new message held costs, its bookkeeping counted as a few dozen bytes.
qsizetype flagsCost(const QByteArrayList& flags)
{
    qsizetype cost = 0;
    for (const QByteArray& f : flags)
        cost += f.size() + 16;
    return cost;
}

// The lines as sent, and what was read from them (two bytes a letter).
qsizetype headerCost(const ImapHeader& h)
{
    const ImapShown& s = h.shown;
    qsizetype shown = s.from.size() + s.subject.size() + s.date.size() + s.messageId.size() + s.inReplyTo.size();
    for (const QString& id : s.references)
        shown += id.size() + 8;
    return 64 + h.fields.size() + 2 * shown + flagsCost(h.flags);
}

bool hasFlag(const QByteArrayList& flags, QByteArrayView flag)
{
    return std::any_of(flags.begin(), flags.end(),
                       [&](const QByteArray& f) { return f.compare(flag, Qt::CaseInsensitive) == 0; });
}

// SASL PLAIN's response (RFC 4616), no authorization identity.
QByteArray plainResponse(const QString& user, const QString& password)
{
    return ('\0' + user.toUtf8() + '\0' + password.toUtf8()).toBase64();
}

}  // namespace

void ImapSession::spillTo(const QString& folder)
{
    m_reader.spillTo(folder, QStringLiteral("imap.P%1Q.").arg(QCoreApplication::applicationPid()));
}

void ImapSession::start(const QString& userName, const QString& password, const ImapPlan& plan, const QString& host,
                        TlsMode tls)
{
    m_userName = userName;
    m_password = password;
    m_plan = plan;
    m_host = host;
    m_tls = tls;
    // A body the last sync left in its file was never kept.
    if (!m_result.bodyFile.isEmpty())
        QFile::remove(m_result.bodyFile);
    m_result = ImapResult();
    m_headerAt.clear();
    m_headersHeld = 0;
    m_flagWindows.clear();
    m_firstNewAt = 0;
    m_found.clear();
    m_reader.reset();
    m_step = ImapStep::Greeting;
    m_tag.clear();
    m_tags = 0;
    m_change = 0;
    m_move = 0;
    m_append = 0;
    m_copyUid = 0;
    m_literalDue = false;
    m_idling = false;
    m_doneDue = false;
    m_renewing = false;
    m_result.moved.resize(plan.moves.size());
    m_result.appended.resize(plan.appends.size());
    m_capabilities.clear();
    begin();
    m_loopback = false;
    m_refusedInClear = false;
    m_offeredStartTls = false;
    m_lostStartTls = false;
    m_plainSent = false;
    m_saslDue.clear();
    m_loggedIn = false;
    m_capabilitiesSaid = false;
    m_qresync = false;
    m_condstore = false;
}

void ImapSession::connected(const QHostAddress&, bool peerIsLoopback)
{
    m_loopback = peerIsLoopback;
}

MailActions ImapSession::feed(const QByteArray& bytes)
{
    MailActions out;
    if (!m_active)
        return out;
    for (const ImapResponse& r : m_reader.feed(bytes)) {
        handle(r, out);
        for (const QString& file : r.spilled) {
            if (file != m_result.bodyFile)
                QFile::remove(file);
        }
        // What came in clear along with the STARTTLS reply must not count as
        // said inside TLS.
        if (!m_active || m_step == ImapStep::TlsHandshake)
            return out;
    }
    if (!m_reader.error().isEmpty())
        fail(kUnreadable.arg(QString::fromLatin1(m_reader.error())), out);
    return out;
}

void ImapSession::handle(const ImapResponse& r, MailActions& out)
{
    if (r.kind == ImapResponse::Kind::Continuation) {
        if (m_step == ImapStep::Login && m_oauth) {
            // The first response, unless it went with the command; then the
            // answer to the error challenge, so that the refusal follows.
            out.push_back(MailAction::send(
                (m_saslDue.isEmpty() ? oauthErrorAck(m_mechanism) : std::exchange(m_saslDue, {})) + "\r\n"));
        } else if (m_step == ImapStep::Login && std::exchange(m_plainSent, false)) {
            out.push_back(MailAction::send(plainResponse(m_userName, m_password) + "\r\n"));
        } else if (m_step == ImapStep::Append && std::exchange(m_literalDue, false)) {
            out.push_back(MailAction::send(m_plan.appends[m_append].message + "\r\n"));
        } else if (m_step == ImapStep::Idle && !m_idling) {
            m_idling = !std::exchange(m_doneDue, false);
            if (!m_idling)
                out.push_back(MailAction::send("DONE\r\n"));
        } else {
            // Whatever more it asks, this side has nothing to give: "*" cancels
            // an exchange that went wrong; the tagged reply follows.
            out.push_back(MailAction::send("*\r\n"));
        }
        return;
    }
    if (r.kind == ImapResponse::Kind::Tagged) {
        if (r.tag != m_tag)
            return fail(kUnreadable.arg(QStringLiteral("a reply to a command not sent")), out);
        return completed(r, out);
    }
    if (m_step == ImapStep::Greeting) {
        // Capabilities the greeting names are as good as CAPABILITY's answer
        // (a round trip saved); after STARTTLS they are asked for again.
        if (r.code == "CAPABILITY")
            m_capabilities = names(r.codeData);
        if (r.name == "OK" && r.code == "CAPABILITY")
            return afterCapabilities(out);
        if (r.name == "OK")
            return command("CAPABILITY", ImapStep::Capability, out);
        if (r.name == "PREAUTH")
            return preauthenticated(r, out);
        return fail(serverText(r), out);
    }
    if (r.name == "BYE") {
        if (m_step != ImapStep::Logout)
            fail(kSaidBye.arg(MailTexts::decodeWireText(r.text)), out);
        return;
    }
    if (m_step == ImapStep::Idle
        && (r.name == "EXISTS" || r.name == "EXPUNGE" || r.name == "FETCH" || r.name == "VANISHED"))
        out.push_back(MailAction::changed());
    untagged(r);
}

void ImapSession::untagged(const ImapResponse& r)
{
    if (r.name == "CAPABILITY") {
        m_capabilities = names(r.data);
        m_capabilitiesSaid = m_step == ImapStep::Login;
    } else if (r.name == "LIST" && r.data.size() >= 3 && r.data[0].isList()
               && r.data[2].kind != ImapValue::Kind::List) {
        const QByteArrayList attributes = names(r.data[0].items);
        m_result.folders.push_back({r.data[2].text, r.data[1].text,
                                    !hasFlag(attributes, "\\Noselect") && !hasFlag(attributes, "\\NonExistent"),
                                    hasFlag(attributes, "\\Sent")});
    } else if (r.name == "EXISTS" && r.number) {
        m_result.exists = *r.number;
    } else if (r.name == "OK" && r.code == "UIDVALIDITY" && !r.codeData.empty()) {
        m_result.uidValidity = r.codeData[0].number().value_or(0);
    } else if (r.name == "OK" && r.code == "UIDNEXT" && !r.codeData.empty()) {
        m_result.uidNext = r.codeData[0].number().value_or(0);
    } else if (r.name == "OK" && r.code == "HIGHESTMODSEQ" && m_step == ImapStep::Select) {
        m_result.highestModSeq = modSeq(r.codeData);
    } else if (r.name == "ENABLED") {
        m_qresync = m_qresync || hasFlag(names(r.data), "QRESYNC");
    } else if (r.name == "VANISHED") {
        vanished(r);
    } else if (r.name == "SEARCH" && m_step == ImapStep::SearchHeld) {
        for (const ImapValue& v : r.data)
            m_found.push_back(v.number().value_or(0));
    } else if (r.name == "FETCH" && r.number && !r.data.empty() && r.data[0].isList()) {
        fetched(r);
    } else if (r.name == "OK" && r.code == "COPYUID" && r.codeData.size() == 3 && m_step == ImapStep::Move) {
        // MOVE says where the message went before it says it is gone.
        m_copyUid = r.codeData[2].number().value_or(0);
    }
}

// "* 12 FETCH (UID 45 FLAGS (\Seen) ...)": what it says of the message is
// taken where this conversation holds the message or asked for it.
void ImapSession::fetched(const ImapResponse& r)
{
    const std::vector<ImapValue>& items = r.data[0].items;
    ImapHeader h;
    std::optional<QByteArrayList> flags;
    const QByteArray* fields = nullptr;
    const QByteArray* body = nullptr;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        const QByteArray name = items[i].name();
        const ImapValue& value = items[i + 1];
        if (name == "UID")
            h.uid = value.number().value_or(0);
        else if (name == "FLAGS" && value.isList()) {
            // \Recent belongs to the conversation that saw the message first, not to the message.
            flags = names(value.items);
            flags->removeIf([](const QByteArray& f) { return f.compare("\\Recent", Qt::CaseInsensitive) == 0; });
        } else if (name == "RFC822.SIZE")
            h.size = value.number().value_or(0);
        else if (name.startsWith("BODY[HEADER.FIELDS") && value.kind == ImapValue::Kind::String)
            fields = &value.text;
        else if (name == "BODY[]" && value.kind == ImapValue::Kind::String)
            body = &value.text;
    }
    if (h.uid == 0)
        return;
    if (flags) {
        if (auto known = knownFlags().find(h.uid); known != m_result.knownFlags.end())
            known->second = *flags;
        else if (m_step == ImapStep::FetchFlags && h.uid <= m_plan.lastKnownUid)
            m_result.knownFlags.emplace(h.uid, *flags);
        // A header fetched earlier in this conversation: by index, so a
        // 10,000-message first sync stays linear.
        if (const auto at = m_headerAt.find(h.uid); at != m_headerAt.end()) {
            m_headersHeld += flagsCost(*flags) - flagsCost(m_result.headers[at->second].flags);
            m_result.headers[at->second].flags = *flags;
            keepWithinLimit();
        }
    }
    // Message numbers go by UID: those before the first new message are the held ones still there.
    if (m_step == ImapStep::FetchHeaders && h.uid > m_plan.lastKnownUid && *r.number != 0
        && (m_firstNewAt == 0 || *r.number < m_firstNewAt))
        m_firstNewAt = *r.number;
    if (m_step == ImapStep::FetchHeaders && fields && h.uid > m_plan.lastKnownUid) {
        h.flags = flags.value_or(QByteArrayList());
        h.fields = headerBlock(*fields, m_headerLimit);
        holdHeader(std::move(h));
    } else if (m_step == ImapStep::FetchBody && body && h.uid == m_plan.bodyUid) {
        if (body->isEmpty() && !r.spilled.isEmpty())
            m_result.bodyFile = r.spilled.first();
        else
            m_result.body = *body;
    }
}

// "* VANISHED (EARLIER) 3,7:9": those UIDs are gone, whether before this
// conversation or during it. Each range is looked up among what is held, so
// neither a set as wide as the UIDs go nor ten thousand such answers cost
// more than a few steps for each range and each message they take away.
void ImapSession::vanished(const ImapResponse& r)
{
    const ImapValue* set = nullptr;
    for (const ImapValue& v : r.data) {
        if (v.kind == ImapValue::Kind::Atom)
            set = &v;
    }
    if (!set)
        return;
    for (const auto& [low, high] : uidRanges(set->text)) {
        auto known = knownFlags().lower_bound(low);
        while (known != m_result.knownFlags.end() && known->first <= high)
            known = m_result.knownFlags.erase(known);
        auto held = m_headerAt.lower_bound(low);
        while (held != m_headerAt.end() && held->first <= high)
            held = dropHeader(held);
    }
}

void ImapSession::indexHeaders()
{
    m_headerAt.clear();
    m_headersHeld = 0;
    for (size_t i = 0; i < m_result.headers.size(); ++i) {
        m_headerAt.emplace(m_result.headers[i].uid, i);
        m_headersHeld += headerCost(m_result.headers[i]);
    }
    keepWithinLimit();
}

// What a sync holds of new messages is bounded: past the limit the highest
// UIDs are left to the next sync (which asks from the highest held on), so
// that what is held is always every new message below some UID.
void ImapSession::holdHeader(ImapHeader h)
{
    if (m_result.firstLeft != 0 && h.uid >= m_result.firstLeft)
        return;
    const MimeMessage shown = decodeMimeHeader(h.fields);
    h.shown = {shown.from, shown.subject, shown.date, shown.messageId, shown.inReplyTo, shown.references};
    if (const auto at = m_headerAt.find(h.uid); at != m_headerAt.end()) {
        ImapHeader& held = m_result.headers[at->second];
        m_headersHeld += headerCost(h) - headerCost(held);
        held = std::move(h);
    } else {
        m_headersHeld += headerCost(h);
        m_headerAt.emplace(h.uid, m_result.headers.size());
        m_result.headers.push_back(std::move(h));
    }
    keepWithinLimit();
}

void ImapSession::keepWithinLimit()
{
    while (m_headersHeld > m_headersLimit)
        leaveLastHeader();
}

void ImapSession::leaveLastHeader()
{
    const auto last = std::prev(m_headerAt.end());
    m_result.firstLeft = last->first;
    dropHeader(last);
}

// The last header takes the place of the one dropped; the order by UID is
// made again when the conversation ends.
std::map<quint32, size_t>::iterator ImapSession::dropHeader(std::map<quint32, size_t>::iterator held)
{
    const size_t at = held->second;
    m_headersHeld -= headerCost(m_result.headers[at]);
    if (at + 1 != m_result.headers.size()) {
        m_result.headers[at] = std::move(m_result.headers.back());
        m_headerAt[m_result.headers[at].uid] = at;
    }
    m_result.headers.pop_back();
    return m_headerAt.erase(held);
}

void ImapSession::completed(const ImapResponse& r, MailActions& out)
{
    if (r.code == "CAPABILITY")
        m_capabilities = names(r.codeData);
    const bool ok = r.name == "OK";
    switch (m_step) {
    case ImapStep::Greeting:
    case ImapStep::TlsHandshake:
        return fail(serverText(r), out);
    case ImapStep::Capability:
        if (!ok)
            return fail(serverText(r), out);
        return m_loggedIn ? selectFolder(out) : afterCapabilities(out);
    case ImapStep::StartTls:
        if (!ok)
            return fail(serverText(r), out);
        m_reader.reset();
        out.push_back(MailAction::startTls());
        m_step = ImapStep::TlsHandshake;
        return;
    case ImapStep::Enable:
        // Refused, the sync goes on without it.
        return selectFolder(out);
    case ImapStep::Login:
        m_plainSent = false;
        m_saslDue.clear();
        if (r.name == "NO")
            return refusedLogin(serverText(r), out);
        if (!ok)
            return fail(serverText(r), out);
        return loggedIn(r, out);
    case ImapStep::Logout:
        out.push_back(MailAction::close());
        return finish(!m_failed, out);
    case ImapStep::Move:
    case ImapStep::Copy:
    case ImapStep::MarkMoved:
    case ImapStep::ExpungeMoved:
        return moveDone(r, ok, out);
    case ImapStep::Append: {
        m_literalDue = false;
        ImapDone& done = m_result.appended[m_append++];
        done.outcome = ok ? ImapDone::Outcome::Done : ImapDone::Outcome::Refused;
        if (!ok)
            done.reason = serverText(r);
        else if (r.code == "APPENDUID" && r.codeData.size() == 2)
            done.uid = r.codeData[1].number().value_or(0);
        return nextAppend(out);
    }
    default:
        break;
    }
    if (!ok)
        return logoutWithError(serverText(r), out);
    switch (m_step) {
    case ImapStep::Select:
        return afterSelect(out);
    case ImapStep::FetchFlags:
        return nextFlagWindow(out);
    case ImapStep::FetchHeaders:
        return searchHeld(out);
    case ImapStep::SearchHeld:
        keepFound();
        return nextChange(out);
    case ImapStep::Store:
        return nextChange(out);
    case ImapStep::Expunge: {
        // What was marked \Deleted, by this plan's UIDs where they were named, is gone.
        const bool byUid = m_capabilities.contains("UIDPLUS");
        const auto expunged = [&](quint32 uid, const QByteArrayList& flags) {
            return hasFlag(flags, "\\Deleted")
                   && (!byUid || std::any_of(m_plan.changes.begin(), m_plan.changes.end(), [&](const auto& c) {
                          return c.uid == uid && c.add && c.flag.compare("\\Deleted", Qt::CaseInsensitive) == 0;
                      }));
        };
        std::erase_if(knownFlags(), [&](const auto& it) { return expunged(it.first, it.second); });
        std::erase_if(m_result.headers, [&](const ImapHeader& h) { return expunged(h.uid, h.flags); });
        indexHeaders();
        return nextAppend(out);
    }
    case ImapStep::FetchBody:
        return listFolders(out);
    case ImapStep::List:
        if (m_plan.idle && m_capabilities.contains("IDLE"))
            return command("IDLE", ImapStep::Idle, out);
        return command("LOGOUT", ImapStep::Logout, out);
    case ImapStep::Idle:
        m_idling = false;
        // A server forgets an IDLE after 30 minutes: it is ended and begun again before.
        if (std::exchange(m_renewing, false))
            return command("IDLE", ImapStep::Idle, out);
        return command("LOGOUT", ImapStep::Logout, out);
    default:
        return;
    }
}

void ImapSession::afterCapabilities(MailActions& out)
{
    if (!m_secure && m_tls != TlsMode::Implicit && m_capabilities.contains("STARTTLS"))
        return command("STARTTLS", ImapStep::StartTls, out);
    if (mayGoOnInClear(out))
        login(out);
}

// No STARTTLS on a connection in clear. Anyone on the way could read what
// goes in clear: it goes so only to this computer, or where the user allowed
// it, and not even there when the server used to offer STARTTLS (someone on
// the way may have taken the offer out); false when the conversation ended.
bool ImapSession::mayGoOnInClear(MailActions& out)
{
    if (m_secure)
        return true;
    if (m_tls == TlsMode::Required) {
        fail(kNoStartTls.arg(m_host), out);
        return false;
    }
    m_lostStartTls = !m_loopback && m_offeredBefore;
    if (m_loopback || (m_clearAllowed && !m_lostStartTls))
        return true;
    m_failed = true;
    m_refusedInClear = true;
    out.push_back(MailAction::close());
    finish(false, out);
    return false;
}

// "* PREAUTH": logged in before any command, so too late for STARTTLS (it is
// taken only before the login). In clear that is a server without STARTTLS:
// the folder's mail and the Sent copy would cross the network readable.
void ImapSession::preauthenticated(const ImapResponse& r, MailActions& out)
{
    if (mayGoOnInClear(out))
        loggedIn(r, out);
}

// A server may offer more once the user is known (MOVE, IDLE, QRESYNC):
// what it offered before the login decides nothing after it.
void ImapSession::loggedIn(const ImapResponse& r, MailActions& out)
{
    m_loggedIn = true;
    if (r.code == "CAPABILITY" || m_capabilitiesSaid)
        return selectFolder(out);
    command("CAPABILITY", ImapStep::Capability, out);
}

void ImapSession::login(MailActions& out)
{
    if (m_oauth)
        return oauthLogin(out);
    if (m_capabilities.contains("AUTH=PLAIN")) {
        if (m_capabilities.contains("SASL-IR"))
            return command("AUTHENTICATE PLAIN " + plainResponse(m_userName, m_password), ImapStep::Login, out);
        m_plainSent = true;
        return command("AUTHENTICATE PLAIN", ImapStep::Login, out);
    }
    if (m_capabilities.contains("LOGINDISABLED"))
        return fail(kLoginDisabled.arg(m_host), out);
    const auto user = imapQuoted(m_userName.toUtf8());
    const auto password = imapQuoted(m_password.toUtf8());
    if (!user || !password)
        return fail(kUnquotableLogin, out);
    command("LOGIN " + *user + ' ' + *password, ImapStep::Login, out);
}

void ImapSession::oauthLogin(MailActions& out)
{
    QByteArrayList offered;
    for (const QByteArray& c : std::as_const(m_capabilities)) {
        if (c.startsWith("AUTH="))
            offered << c.mid(5);
    }
    m_mechanism = oauthMechanism(offered);
    if (m_mechanism == OAuthMechanism::None)
        return fail(MailTexts::noOAuth(m_host), out);
    const QByteArray response = oauthResponse(m_mechanism, m_userName, m_password, m_host);
    const QByteArray authenticate = "AUTHENTICATE " + oauthMechanismName(m_mechanism);
    if (m_capabilities.contains("SASL-IR"))
        return command(authenticate + ' ' + response, ImapStep::Login, out);
    m_saslDue = response;
    command(authenticate, ImapStep::Login, out);
}

void ImapSession::afterSelect(MailActions& out)
{
    m_result.uidValidityChanged = m_plan.knownUidValidity != 0 && m_plan.knownUidValidity != m_result.uidValidity;
    if (m_plan.knownUidValidity != m_result.uidValidity || m_result.uidValidity == 0) {
        // What is held was numbered in another life of the folder: it counts
        // for nothing, and nothing of the plan may touch a message by it.
        m_plan.lastKnownUid = 0;
        m_plan.changes.clear();
        m_plan.expunge = false;
        m_plan.bodyUid = 0;
        m_plan.moves.clear();
    }
    if (m_plan.lastKnownUid == 0 || m_result.exists == 0)
        return fetchHeaders(out);
    // With QRESYNC or CONDSTORE the server says what changed since the
    // modification sequence held (QRESYNC also which UIDs went); the rest is
    // as held.
    m_result.changesOnly = (m_qresync || m_condstore) && m_plan.knownModSeq != 0 && m_result.highestModSeq != 0;
    if (!m_result.changesOnly) {
        // All of them, a window of held messages at a time, so that no one
        // answer is the whole folder: 1:b, b+1:c, ... up to the last held.
        std::vector<quint32> held(m_plan.heldFlags.keyBegin(), m_plan.heldFlags.keyEnd());
        std::sort(held.begin(), held.end());
        quint32 from = 1;
        for (size_t i = m_flagWindow - 1; i + 1 < held.size(); i += m_flagWindow) {
            m_flagWindows.emplace_back(from, held[i]);
            from = held[i] + 1;
        }
        m_flagWindows.emplace_back(from, m_plan.lastKnownUid);
        return nextFlagWindow(out);
    }
    if (m_result.highestModSeq == m_plan.knownModSeq) {
        m_result.heldAsBefore = true;
        return fetchHeaders(out);
    }
    m_result.knownFlags = {m_plan.heldFlags.keyValueBegin(), m_plan.heldFlags.keyValueEnd()};
    command("UID FETCH 1:" + QByteArray::number(m_plan.lastKnownUid) + " (FLAGS) (CHANGEDSINCE "
                + QByteArray::number(m_plan.knownModSeq) + (m_qresync ? " VANISHED)" : ")"),
            ImapStep::FetchFlags, out);
}

// A held UID that no window's answer names is gone.
void ImapSession::nextFlagWindow(MailActions& out)
{
    if (m_flagWindows.empty())
        return fetchHeaders(out);
    const auto [from, to] = m_flagWindows.front();
    m_flagWindows.erase(m_flagWindows.begin());
    command("UID FETCH " + QByteArray::number(from) + ':' + QByteArray::number(to) + " (FLAGS)", ImapStep::FetchFlags,
            out);
}

void ImapSession::fetchHeaders(MailActions& out)
{
    const quint32 from = m_plan.lastKnownUid + 1;
    if (m_result.exists == 0 || (m_result.uidNext != 0 && m_result.uidNext <= from))
        return searchHeld(out);
    // The ids that thread a conversation come with the list's fields: the
    // same part of the same answer, where ENVELOPE would add a second one
    // and still lack References.
    command("UID FETCH " + QByteArray::number(from)
                + ":* (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID IN-REPLY-TO "
                  "REFERENCES)])",
            ImapStep::FetchHeaders, out);
}

// With CONDSTORE alone nothing says which held messages went; a removal
// changes no flag, but it leaves fewer messages before the first new one
// (by its message number; all the folder holds when there is none) than
// are held. Only then is the server asked which held UIDs are there.
void ImapSession::searchHeld(MailActions& out)
{
    if (!m_result.changesOnly || m_qresync)
        return nextChange(out);
    const quint32 there = m_firstNewAt != 0 ? m_firstNewAt - 1 : m_result.exists;
    if (there == quint32(m_plan.heldFlags.size()))
        return nextChange(out);
    command("UID SEARCH UID 1:" + QByteArray::number(m_plan.lastKnownUid), ImapStep::SearchHeld, out);
}

// What is held and was not found is gone.
void ImapSession::keepFound()
{
    std::sort(m_found.begin(), m_found.end());
    std::erase_if(knownFlags(),
                  [&](const auto& it) { return !std::binary_search(m_found.begin(), m_found.end(), it.first); });
}

void ImapSession::nextChange(MailActions& out)
{
    while (m_change < m_plan.changes.size()) {
        const ImapFlagChange& c = m_plan.changes[m_change++];
        if (c.uid == 0 || !isFlagAtom(c.flag))
            continue;
        return command("UID STORE " + QByteArray::number(c.uid) + (c.add ? " +FLAGS (" : " -FLAGS (") + c.flag + ')',
                       ImapStep::Store, out);
    }
    nextMove(out);
}

void ImapSession::nextMove(MailActions& out)
{
    m_copyUid = 0;
    while (m_move < m_plan.moves.size()) {
        const ImapMove& m = m_plan.moves[m_move];
        const auto to = folderArgument(m.to);
        if (m.uid == 0 || !to) {
            m_result.moved[m_move++] = {ImapDone::Outcome::Refused, 0, kUnsendableFolder.arg(QString::fromUtf8(m.to))};
            continue;
        }
        const QByteArray uid = QByteArray::number(m.uid);
        if (m_capabilities.contains("MOVE"))
            return command("UID MOVE " + uid + ' ' + *to, ImapStep::Move, out);
        return command("UID COPY " + uid + ' ' + *to, ImapStep::Copy, out);
    }
    expunge(out);
}

// One reply on the way of a move: where the server has no MOVE, a copy, its
// original marked \Deleted, and that one alone expunged where UIDPLUS lets it
// be named. Without UIDPLUS an EXPUNGE would take what anyone else marked too,
// so the original stays, marked, for the user's own expunge.
void ImapSession::moveDone(const ImapResponse& r, bool ok, MailActions& out)
{
    ImapDone& done = m_result.moved[m_move];
    const QByteArray uid = QByteArray::number(m_plan.moves[m_move].uid);
    if (ok && r.code == "COPYUID" && r.codeData.size() == 3)
        m_copyUid = r.codeData[2].number().value_or(0);
    done.uid = m_copyUid;
    if (!ok) {
        done.outcome = m_step == ImapStep::Move || m_step == ImapStep::Copy ? ImapDone::Outcome::Refused
                                                                            : ImapDone::Outcome::Copied;
        done.reason = serverText(r);
    } else if (m_step == ImapStep::Copy) {
        return command("UID STORE " + uid + " +FLAGS (\\Deleted)", ImapStep::MarkMoved, out);
    } else if (m_step == ImapStep::MarkMoved && m_capabilities.contains("UIDPLUS")) {
        return command("UID EXPUNGE " + uid, ImapStep::ExpungeMoved, out);
    } else if (m_step == ImapStep::MarkMoved) {
        done.outcome = ImapDone::Outcome::Copied;
    } else {
        done.outcome = ImapDone::Outcome::Done;
        forget(m_plan.moves[m_move].uid);
    }
    ++m_move;
    nextMove(out);
}

// Most syncs find the folder as it was held: what they found is then said in
// one word (heldAsBefore) and written out only once the conversation asks
// of it, so that such a sync costs nothing in step with the folder's size.
std::map<quint32, QByteArrayList>& ImapSession::knownFlags()
{
    if (std::exchange(m_result.heldAsBefore, false))
        m_result.knownFlags = {m_plan.heldFlags.keyValueBegin(), m_plan.heldFlags.keyValueEnd()};
    return m_result.knownFlags;
}

void ImapSession::forget(quint32 uid)
{
    knownFlags().erase(uid);
    if (const auto held = m_headerAt.find(uid); held != m_headerAt.end())
        dropHeader(held);
}

void ImapSession::expunge(MailActions& out)
{
    if (!m_plan.expunge)
        return nextAppend(out);
    QByteArrayList uids;
    for (const ImapFlagChange& c : m_plan.changes) {
        if (c.add && c.uid != 0 && c.flag.compare("\\Deleted", Qt::CaseInsensitive) == 0)
            uids << QByteArray::number(c.uid);
    }
    if (m_capabilities.contains("UIDPLUS") && !uids.isEmpty())
        return command("UID EXPUNGE " + uids.join(','), ImapStep::Expunge, out);
    // Without UIDPLUS the server removes whatever is marked, by anyone: when
    // another reader marked a message this plan did not (nor copied away),
    // this plan's stay marked too.
    for (size_t i = 0; i < m_plan.moves.size(); ++i) {
        if (m_result.moved[i].outcome == ImapDone::Outcome::Copied)
            uids << QByteArray::number(m_plan.moves[i].uid);
    }
    const auto othersMarked = [&](quint32 uid, const QByteArrayList& flags) {
        return hasFlag(flags, "\\Deleted") && !uids.contains(QByteArray::number(uid));
    };
    const auto& known = knownFlags();
    m_result.expungeWithheld =
        !uids.isEmpty()
        && (std::any_of(known.begin(), known.end(), [&](const auto& it) { return othersMarked(it.first, it.second); })
            || std::any_of(m_result.headers.begin(), m_result.headers.end(),
                           [&](const ImapHeader& h) { return othersMarked(h.uid, h.flags); }));
    if (m_result.expungeWithheld)
        return nextAppend(out);
    command("EXPUNGE", ImapStep::Expunge, out);
}

void ImapSession::nextAppend(MailActions& out)
{
    while (m_append < m_plan.appends.size()) {
        const ImapAppend& a = m_plan.appends[m_append];
        const auto folder = folderArgument(a.folder);
        const auto bad = std::find_if_not(a.flags.begin(), a.flags.end(), isFlagAtom);
        if (!folder || bad != a.flags.end()) {
            m_result.appended[m_append++] = {ImapDone::Outcome::Refused, 0,
                                             folder ? kUnsendableFlag.arg(QString::fromLatin1(*bad))
                                                    : kUnsendableFolder.arg(QString::fromUtf8(a.folder))};
            continue;
        }
        m_literalDue = true;
        return command("APPEND " + *folder + " (" + a.flags.join(' ') + ") {" + QByteArray::number(a.message.size())
                           + '}',
                       ImapStep::Append, out);
    }
    bodyOrList(out);
}

void ImapSession::bodyOrList(MailActions& out)
{
    if (m_plan.bodyUid != 0)
        return command("UID FETCH " + QByteArray::number(m_plan.bodyUid) + " BODY.PEEK[]", ImapStep::FetchBody, out);
    listFolders(out);
}

void ImapSession::selectFolder(MailActions& out)
{
    if (m_step != ImapStep::Enable && m_capabilities.contains("QRESYNC"))
        return command("ENABLE QRESYNC", ImapStep::Enable, out);
    // Without QRESYNC, CONDSTORE is asked for by the SELECT (RFC 7162), which
    // then says the folder's HIGHESTMODSEQ.
    m_condstore = !m_qresync && m_capabilities.contains("CONDSTORE");
    if (const auto folder = folderArgument(m_plan.folder))
        return command("SELECT " + *folder + (m_condstore ? " (CONDSTORE)" : ""), ImapStep::Select, out);
    logoutWithError(kUnsendableFolder.arg(QString::fromUtf8(m_plan.folder)), out);
}

// The folders are asked for last: a server may refresh what it keeps of
// every folder for a LIST and make each later command on the selected one
// wait for that (a quarter to half a second each on a 10,000-message
// folder); after the folder's own work it costs nothing.
void ImapSession::listFolders(MailActions& out)
{
    command("LIST \"\" \"*\"", ImapStep::List, out);
}

void ImapSession::command(const QByteArray& text, ImapStep next, MailActions& out)
{
    m_tag = 'a' + QByteArray::number(++m_tags);
    out.push_back(MailAction::send(m_tag + ' ' + text + "\r\n"));
    m_step = next;
}

void ImapSession::logoutWithError(const QString& text, MailActions& out)
{
    m_failed = true;
    out.push_back(MailAction::notify(imapError(text)));
    command("LOGOUT", ImapStep::Logout, out);
}

MailNotice ImapSession::errorNotice(const QString& text) const
{
    return imapError(text);
}

MailNotice ImapSession::socketErrorNotice(int number, const QString& description) const
{
    return MailTexts::checkSocketError(number, description);
}

void ImapSession::finish(bool ok, MailActions& out)
{
    const auto byUid = [](const ImapHeader& a, const ImapHeader& b) { return a.uid < b.uid; };
    if (!std::is_sorted(m_result.headers.begin(), m_result.headers.end(), byUid)) {
        std::sort(m_result.headers.begin(), m_result.headers.end(), byUid);
        indexHeaders();
    }
    MailSession::finish(ok, out);
}

MailActions ImapSession::tlsReady()
{
    MailActions out;
    m_secure = true;
    // What the server offered in clear may have been changed on the way: asked again.
    if (m_active && m_step == ImapStep::TlsHandshake) {
        m_offeredStartTls = true;
        m_capabilities.clear();
        command("CAPABILITY", ImapStep::Capability, out);
    }
    return out;
}

MailActions ImapSession::stopIdle()
{
    MailActions out;
    if (!m_active)
        return out;
    m_plan.idle = false;
    m_renewing = false;
    if (m_step == ImapStep::Idle && std::exchange(m_idling, false))
        out.push_back(MailAction::send("DONE\r\n"));
    else if (m_step == ImapStep::Idle)
        m_doneDue = true;
    return out;
}

// Silence in the IDLE is no fault: the wait is renewed.
MailActions ImapSession::timedOut(const QString& what)
{
    if (!waitsQuietly())
        return MailSession::timedOut(what);
    m_idling = false;
    m_renewing = true;
    return {MailAction::send("DONE\r\n")};
}

MailActions ImapSession::closed()
{
    MailActions out;
    if (!m_active)
        return out;
    if (m_step != ImapStep::Logout) {
        m_failed = true;
        out.push_back(MailAction::notify(imapError(kClosedEarly)));
    }
    finish(!m_failed, out);
    return out;
}

QString ImapSession::waitingFor() const
{
    switch (m_step) {
    case ImapStep::Greeting:
        return QStringLiteral("the greeting");
    case ImapStep::Capability:
        return QStringLiteral("the reply to CAPABILITY");
    case ImapStep::StartTls:
        return QStringLiteral("the reply to STARTTLS");
    case ImapStep::TlsHandshake:
        return QStringLiteral("the secure connection");
    case ImapStep::Login:
        return QStringLiteral("the reply to the login");
    case ImapStep::Enable:
        return QStringLiteral("the reply to ENABLE");
    case ImapStep::List:
        return QStringLiteral("the list of folders");
    case ImapStep::Select:
        return QStringLiteral("the reply to SELECT");
    case ImapStep::FetchFlags:
        return QStringLiteral("the flags of the messages held");
    case ImapStep::FetchHeaders:
        return QStringLiteral("the headers of new messages");
    case ImapStep::SearchHeld:
        return QStringLiteral("the reply to SEARCH");
    case ImapStep::Store:
        return QStringLiteral("the reply to STORE");
    case ImapStep::Expunge:
    case ImapStep::ExpungeMoved:
        return QStringLiteral("the reply to EXPUNGE");
    case ImapStep::Move:
        return QStringLiteral("the reply to MOVE");
    case ImapStep::Copy:
        return QStringLiteral("the reply to COPY");
    case ImapStep::MarkMoved:
        return QStringLiteral("the reply to STORE");
    case ImapStep::Append:
        return QStringLiteral("the reply to APPEND");
    case ImapStep::FetchBody:
        return QStringLiteral("the message");
    case ImapStep::Logout:
        return QStringLiteral("the reply to LOGOUT");
    case ImapStep::Idle:
        return QStringLiteral("the reply to IDLE");
    }
    return {};
}
