#include "mail/Pop3Session.h"

#include "mail/MailError.h"
#include "mail/MailTexts.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// Outside message data a line is a status line; one this long never is.
constexpr qsizetype kMaxStatusLine = qsizetype(64) * 1024;
constexpr int kMaxMessageCount = 32767;
// What goes to the keeper at a time, and the most of an unfinished line held.
constexpr qsizetype kPiece = qsizetype(64) * 1024;
// Enough of a message to hold its Message-ID.
constexpr qsizetype kHeadBytes = qsizetype(256) * 1024;

// The user name and password go out as typed, but a line break in them
// would start a command of its own.
QByteArray commandLine(const char* verb, const QString& argument)
{
    QByteArray arg = argument.toUtf8();
    arg.replace('\r', "");
    arg.replace('\n', "");
    return QByteArray(verb) + arg + "\r\n";
}

// The message count of a STAT reply: from the fifth character up to the
// next blank (or the end of the line); -1 when that is not a count from 0
// to 32767.
int statCount(QByteArrayView reply)
{
    if (reply.size() < 5)
        return -1;
    qsizetype i = 4;
    int count = 0;
    for (; i < reply.size(); ++i) {
        const char c = reply[i];
        if (c == ' ' || c == '\r' || c == '\n')
            break;
        if (c < '0' || c > '9')
            return -1;
        count = count * 10 + (c - '0');
        if (count > kMaxMessageCount)
            return -1;
    }
    return i > 4 ? count : -1;
}

// The size a RETR answer announces ("+OK 5242880 octets"), so the message
// grows into one allocation; only a hint, and a modest one when it is absent
// or implausible.
qsizetype sizeHint(QByteArrayView reply)
{
    constexpr qsizetype kDefault = qsizetype(64) * 1024;
    constexpr qsizetype kMost = qsizetype(64) * 1024 * 1024;
    qsizetype i = reply.indexOf(' ');
    if (i < 0)
        return kDefault;
    qsizetype size = 0;
    for (++i; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        size = size * 10 + (reply[i] - '0');
        if (size > kMost)
            return kMost;
    }
    return size > 0 ? size : kDefault;
}

}  // namespace

Pop3Session::Pop3Session(CMessages& messages)
    : m_messages(messages)
{
}

std::optional<MailNotice> Pop3Session::inputNotice(const QString& host, const QString& userName,
                                                   const QString& password)
{
    if (host.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtHost"));
    if (userName.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtUserName"));
    if (password.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtPassword"));
    const auto hasBreak = [](const QString& s) {
        return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n'));
    };
    if (hasBreak(userName) || hasBreak(password))
        return MailTexts::lineBreakInLogin();
    return std::nullopt;
}

void Pop3Session::start(const QString& userName, const QString& password, const QString& host, TlsMode tls)
{
    m_userName = userName;
    m_password = password;
    m_host = host;
    m_tls = tls;
    m_step = Pop3Step::Greeting;
    begin();
    m_inCapabilities = false;
    m_stlsOffered = false;
    m_sasl.reset();
    m_saslDue.clear();
    m_loopback = false;
    m_refusedInClear = false;
    m_offeredStls = false;
    m_lostStls = false;
    m_inData = false;
    m_inUidl = false;
    m_messageCount = 0;
    m_currentMessage = 0;
    m_partial.clear();
    m_buffer.clear();
    m_size = 0;
    m_midLine = false;
    m_skipping = false;
    m_head.clear();
    m_left.clear();
    m_seen.clear();
    m_wanted.clear();
    m_listing.clear();
    m_listed.reset();
}

void Pop3Session::connected(const QHostAddress&, bool peerIsLoopback)
{
    m_loopback = peerIsLoopback;
}

MailActions Pop3Session::feed(const QByteArray& bytes)
{
    MailActions out;
    const char* const data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    // Only the new bytes are searched for line ends, so a message costs time
    // in proportion to its size however finely it was cut.
    while (m_active && pos < size) {
        const void* nl = std::memchr(data + pos, '\n', size_t(size - pos));
        if (!nl) {
            m_partial.append(data + pos, size - pos);
            if (!m_inData && m_partial.size() > kMaxStatusLine) {
                const QByteArray line = std::exchange(m_partial, QByteArray());
                handleStatus(QByteArrayView(line).first(kMaxStatusLine), out);
            } else if (m_inData && (m_midLine || m_partial.size() >= 3)
                       && (m_skipping || m_partial.size() >= kPiece || m_size + m_partial.size() > m_messageLimit)) {
                longLine(out);
            }
            break;
        }
        const qsizetype end = static_cast<const char*>(nl) - data + 1;
        if (m_partial.isEmpty()) {
            handleLine(QByteArrayView(data + pos, end - pos), out);
        } else {
            m_partial.append(data + pos, end - pos);
            const QByteArray line = std::exchange(m_partial, QByteArray());
            handleLine(line, out);
        }
        pos = end;
        // What came in clear along with the STLS reply must not count as said
        // inside TLS.
        if (m_step == Pop3Step::TlsHandshake)
            break;
    }
    return out;
}

void Pop3Session::handleLine(QByteArrayView line, MailActions& out)
{
    if (m_inCapabilities) {
        if (line == ".\r\n" || line == ".\n") {
            m_inCapabilities = false;
            afterCapabilities(out);
        } else if (line.trimmed().toByteArray().toUpper() == "STLS") {
            m_stlsOffered = true;
        } else if (const QByteArray l = line.trimmed().toByteArray(); l.toUpper().startsWith("SASL ")) {
            m_sasl = l.mid(5).simplified().split(' ');
        }
        return;
    }
    if (m_inUidl) {
        if (line == ".\r\n" || line == ".\n") {
            m_inUidl = false;
            m_listed = std::move(m_listing);
            fetchFirst(out);
        } else {
            handleUidl(line);
        }
        return;
    }
    if (!m_inData) {
        handleStatus(line, out);
        return;
    }
    const bool lineStart = !std::exchange(m_midLine, false);
    if (lineStart && (line == ".\r\n" || line == ".\n")) {
        if (!std::exchange(m_skipping, false))
            storeMessage(out);
        m_inData = false;
        askNextOrQuit(out);
        return;
    }
    // The server doubled a leading period so the line could not end the message.
    if (lineStart && line.startsWith('.'))
        line = line.sliced(1);
    messageBytes(line, out);
}

// A line too long to hold goes on in pieces: it is no end of the message
// (that line is short), and only its start may be a doubled period.
void Pop3Session::longLine(MailActions& out)
{
    QByteArrayView piece(m_partial);
    if (!std::exchange(m_midLine, true) && piece.startsWith('.'))
        piece = piece.sliced(1);
    messageBytes(piece, out);
    m_partial.clear();
}

void Pop3Session::messageBytes(QByteArrayView bytes, MailActions& out)
{
    if (m_skipping)
        return;
    m_size += bytes.size();
    if (m_size > m_messageLimit)
        return tooLarge(out);
    if (m_keeper && m_wanted[size_t(m_currentMessage - 1)].uidl.isEmpty()) {
        m_head.append(bytes.first(std::min(bytes.size(), kHeadBytes - m_head.size())));
        m_hash.addData(bytes);
    }
    m_buffer.append(bytes);
    if (m_keeper && m_buffer.size() >= kPiece)
        m_keeper->write(std::exchange(m_buffer, QByteArray()));
}

void Pop3Session::send(const QByteArray& line, Pop3Step next, MailActions& out)
{
    out.push_back(MailAction::send(line));
    m_step = next;
}

void Pop3Session::handleStatus(QByteArrayView line, MailActions& out)
{
    if (m_step == Pop3Step::Auth && (line.startsWith("+ ") || line.trimmed() == "+"))
        return continued(out);
    const Pop3Status status = parsePop3Status(line);
    if (m_step == Pop3Step::Uidl) {
        // A server without UIDL: every message is fetched, the keeper knows them by Message-ID.
        if (status.ok) {
            m_inUidl = true;
            return;
        }
        for (int n = 1; n <= m_messageCount; ++n)
            m_wanted.push_back({n, QString()});
        return fetchFirst(out);
    }
    if (m_step == Pop3Step::Retr) {
        if (status.ok) {
            m_inData = true;
            m_buffer.clear();
            m_size = 0;
            m_midLine = false;
            m_skipping = false;
            m_head.clear();
            m_hash.reset();
            if (m_keeper)
                m_keeper->begin();
            else
                m_buffer.reserve(std::min(sizeHint(line), m_messageLimit));
        } else {
            quitWithError(line, out);
        }
        return;
    }
    if (m_step == Pop3Step::Capa)
        m_sasl = QByteArrayList();  // said now, on this footing, even when it is nothing
    // A server without CAPA still takes USER.
    if (m_step == Pop3Step::Capa && !status.ok)
        return afterCapabilities(out);
    if (!status.ok && (m_step == Pop3Step::Pass || m_step == Pop3Step::Auth))
        return refusedLogin(MailTexts::decodeWireText(line.toByteArray()), out);
    if (!status.ok)
        return fail(MailTexts::decodeWireText(line.toByteArray()), out);

    switch (m_step) {
    case Pop3Step::Greeting:
        m_messageCount = 0;
        m_currentMessage = 0;
        if (m_secure)
            return login(out);
        return send("CAPA\r\n", Pop3Step::Capa, out);
    case Pop3Step::Capa:
        m_inCapabilities = true;
        m_stlsOffered = false;
        return;
    case Pop3Step::Stls:
        m_partial.clear();
        out.push_back(MailAction::startTls());
        m_step = Pop3Step::TlsHandshake;
        return;
    case Pop3Step::TlsHandshake:
        return fail(MailTexts::decodeWireText(line.toByteArray()), out);
    case Pop3Step::User:
        return send(commandLine("PASS ", m_password), Pop3Step::Pass, out);
    case Pop3Step::Pass:
    case Pop3Step::Auth:
        return send("STAT\r\n", Pop3Step::Stat, out);
    case Pop3Step::Stat: {
        const int count = statCount(line);
        if (count < 0)
            return quitWithError(line, out);
        m_messageCount = count;
        if (count < 1) {
            if (m_keeper)
                m_listed = QSet<QString>();
            send("QUIT\r\n", Pop3Step::Quit, out);
            out.push_back(MailAction::notify(MailTexts::noMail()));
            return;
        }
        if (m_keeper)
            return send("UIDL\r\n", Pop3Step::Uidl, out);
        for (int n = 1; n <= count; ++n)
            m_wanted.push_back({n, QString()});
        return fetchFirst(out);
    }
    case Pop3Step::Uidl:
    case Pop3Step::Retr:
    case Pop3Step::Quit:
        out.push_back(MailAction::close());
        return finish(!m_failed, out);
    }
}

// "3 QhdPYR:00WBw1Ph7x7": message 3 is known as QhdPYR:00WBw1Ph7x7. Only
// messages not kept already are wanted, each number once.
void Pop3Session::handleUidl(QByteArrayView line)
{
    const QByteArrayView trimmed = line.trimmed();
    const qsizetype space = trimmed.indexOf(' ');
    if (space < 1)
        return;
    bool ok = false;
    const int number = trimmed.first(space).toInt(&ok);
    const QString uidl = QString::fromLatin1(trimmed.sliced(space + 1).trimmed());
    if (ok && !uidl.isEmpty())
        m_listing.insert(uidl);
    if (!ok || number < 1 || number > m_messageCount || uidl.isEmpty() || m_known.contains(uidl))
        return;
    if (m_wanted.empty() || m_wanted.back().number < number)
        m_wanted.push_back({number, uidl});
}

void Pop3Session::fetchFirst(MailActions& out)
{
    m_messageCount = int(m_wanted.size());
    if (m_wanted.empty())
        return send("QUIT\r\n", Pop3Step::Quit, out);
    m_currentMessage = 1;
    out.push_back(MailAction::progress(1, m_messageCount));
    send("RETR " + QByteArray::number(m_wanted.front().number) + "\r\n", Pop3Step::Retr, out);
}

void Pop3Session::afterCapabilities(MailActions& out)
{
    if (!m_secure && m_tls != TlsMode::Implicit && m_stlsOffered)
        return send("STLS\r\n", Pop3Step::Stls, out);
    if (!m_secure && m_tls == TlsMode::Required)
        return fail(MailTexts::noStls(m_host), out);
    // Anyone on the way could read a password sent in clear: it goes so only
    // to this computer, or where the user allowed it, and not even there when
    // the server used to offer STLS (someone on the way may have taken the
    // offer out).
    m_lostStls = !m_secure && !m_loopback && m_offeredBefore;
    if (!m_secure && !m_loopback && (!m_clearAllowed || m_lostStls)) {
        m_failed = true;
        m_refusedInClear = true;
        out.push_back(MailAction::close());
        return finish(false, out);
    }
    login(out);
}

// USER and PASS; with OAuth2 AUTH with the token (never the initial response
// on the command line, which RFC 5034 holds to 255 octets), by what CAPA said
// on this footing: inside TLS it is asked again.
void Pop3Session::login(MailActions& out)
{
    if (!m_oauth)
        return send(commandLine("USER ", m_userName), Pop3Step::User, out);
    if (!m_sasl)
        return send("CAPA\r\n", Pop3Step::Capa, out);
    m_mechanism = oauthMechanism(*m_sasl);
    if (m_mechanism == OAuthMechanism::None)
        return fail(MailTexts::noOAuth(m_host), out);
    m_saslDue = oauthResponse(m_mechanism, m_userName, m_password, m_host);
    send("AUTH " + oauthMechanismName(m_mechanism) + "\r\n", Pop3Step::Auth, out);
}

// "+ ": the go-ahead for the response, then the error challenge, which is
// answered so that the refusal follows.
void Pop3Session::continued(MailActions& out)
{
    out.push_back(
        MailAction::send((m_saslDue.isEmpty() ? oauthErrorAck(m_mechanism) : std::exchange(m_saslDue, {})) + "\r\n"));
}

// The key of a message without UIDL, from the header it begins with, as
// CMessage reads it, else from what it holds.
QString Pop3Session::keyByMessageId()
{
    const qsizetype end = m_head.indexOf("\r\n\r\n");
    CMessage header;
    header.CreateFromHeaderText(MailTexts::decodeWireText(end < 0 ? m_head : m_head.first(end)));
    QString base = header.MessageID();
    if (base.isEmpty())
        base = QStringLiteral("<%1@no-message-id>").arg(QString::fromLatin1(m_hash.result().toHex()));
    const int n = ++m_seen[base.toCaseFolded()];
    return n == 1 ? base : base + QStringLiteral("\n#") + QString::number(n);
}

void Pop3Session::storeMessage(MailActions& out)
{
    const QByteArray raw = std::exchange(m_buffer, QByteArray());
    const QString uidl = m_wanted[size_t(m_currentMessage - 1)].uidl;
    if (m_keeper) {
        if (!raw.isEmpty())
            m_keeper->write(raw);
        const QString key = uidl.isEmpty() ? keyByMessageId() : uidl;
        m_head.clear();
        if (m_keeper->end(key))
            out.push_back(MailAction::list({key}));
        return;
    }
    auto message = std::make_shared<CMessage>();
    const QString text = MailTexts::decodeWireText(raw);
    try {
        message->CreateFromText(text);
    } catch (const MailError&) {
        // No empty line: still a message the user fetched and wants to see.
        message->CreateFromHeaderText(text);
    }

    QString base = message->MessageID();
    if (base.isEmpty()) {
        // Derived from the content, so the next check recognises it again.
        base = QStringLiteral("<%1@no-message-id>")
                   .arg(QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha1).toHex()));
    }
    // A Message-ID met again within one check is another message that
    // shares it: it gets a key of its own rather than being dropped.
    const int n = ++m_seen[base.toCaseFolded()];
    const QString key = n == 1 ? base : base + QStringLiteral("\n#") + QString::number(n);
    if (!m_messages.Contains(key)) {
        m_messages.Add(message, key);
        out.push_back(MailAction::list({key}));
    }
}

void Pop3Session::askNextOrQuit(MailActions& out)
{
    if (m_currentMessage >= m_messageCount) {
        send("QUIT\r\n", Pop3Step::Quit, out);
        if (!m_left.isEmpty())
            out.push_back(MailAction::notify(MailTexts::pop3Error(leftOnServer())));
    } else {
        ++m_currentMessage;
        out.push_back(MailAction::progress(m_currentMessage, m_messageCount));
        out.push_back(
            MailAction::send("RETR " + QByteArray::number(m_wanted[size_t(m_currentMessage - 1)].number) + "\r\n"));
    }
}

void Pop3Session::quitWithError(QByteArrayView reply, MailActions& out)
{
    m_failed = true;
    m_inData = false;
    send("QUIT\r\n", Pop3Step::Quit, out);
    out.push_back(MailAction::notify(MailTexts::pop3Error(MailTexts::decodeWireText(reply.toByteArray()))));
}

MailNotice Pop3Session::errorNotice(const QString& text) const
{
    return MailTexts::pop3Error(text);
}

MailNotice Pop3Session::socketErrorNotice(int number, const QString& description) const
{
    return MailTexts::checkSocketError(number, description);
}

// The rest of the message is read and dropped; nothing of it is kept.
void Pop3Session::tooLarge(MailActions&)
{
    m_skipping = true;
    m_buffer.clear();
    m_head.clear();
    if (m_keeper)
        m_keeper->drop();
    m_left.append(m_currentMessage);
}

QString Pop3Session::leftOnServer() const
{
    constexpr qsizetype kMB = qsizetype(1024) * 1024;
    const QString limit = m_messageLimit % kMB == 0 ? QStringLiteral("%1 MB").arg(m_messageLimit / kMB)
                                                    : QStringLiteral("%1 bytes").arg(m_messageLimit);
    QStringList numbers;
    for (int n : m_left)
        numbers << QString::number(n);
    if (numbers.size() == 1)
        return QStringLiteral("Message %1 of %2 is larger than the %3 one message may hold; it was left on the "
                              "server. The other messages are kept.")
            .arg(numbers.first())
            .arg(m_messageCount)
            .arg(limit);
    const QString last = numbers.takeLast();
    return QStringLiteral("Messages %1 and %2 of %3 are larger than the %4 one message may hold; they were left on "
                          "the server. The other messages are kept.")
        .arg(numbers.join(QStringLiteral(", ")), last)
        .arg(m_messageCount)
        .arg(limit);
}

MailActions Pop3Session::tlsReady()
{
    MailActions out;
    m_secure = true;
    // Login goes in clear no more; what CAPA said before TLS is not asked again.
    m_offeredStls = m_active && m_step == Pop3Step::TlsHandshake;
    m_sasl.reset();
    if (m_offeredStls)
        login(out);
    return out;
}

QString Pop3Session::waitingFor() const
{
    switch (m_step) {
    case Pop3Step::Greeting:
        return QStringLiteral("the greeting");
    case Pop3Step::Capa:
        return QStringLiteral("the reply to CAPA");
    case Pop3Step::Stls:
        return QStringLiteral("the reply to STLS");
    case Pop3Step::TlsHandshake:
        return QStringLiteral("the secure connection");
    case Pop3Step::User:
        return QStringLiteral("the reply to USER");
    case Pop3Step::Pass:
        return QStringLiteral("the reply to PASS");
    case Pop3Step::Auth:
        return QStringLiteral("the reply to AUTH");
    case Pop3Step::Stat:
        return QStringLiteral("the reply to STAT");
    case Pop3Step::Uidl:
        return QStringLiteral("the reply to UIDL");
    case Pop3Step::Retr:
        return QStringLiteral("message %1 of %2").arg(m_currentMessage).arg(m_messageCount);
    case Pop3Step::Quit:
        return QStringLiteral("the reply to QUIT");
    }
    return {};
}

MailActions Pop3Session::closed()
{
    MailActions out;
    if (!m_active)
        return out;
    const QByteArray rest = std::exchange(m_partial, QByteArray());
    if (m_inData && !m_skipping && m_keeper)
        m_keeper->drop();
    if (m_step != Pop3Step::Quit) {
        // A refusal cut off by the close is still the server's own word.
        const bool refusal = !m_inData && !rest.isEmpty() && !parsePop3Status(rest).ok;
        out.push_back(MailAction::notify(refusal ? MailTexts::pop3Error(MailTexts::decodeWireText(rest))
                                                 : MailTexts::pop3ClosedEarly()));
        m_failed = true;
    }
    finish(!m_failed, out);
    return out;
}
