#include "mail/Pop3Session.h"

#include "mail/MailError.h"
#include "mail/MailTexts.h"

#include <QCryptographicHash>

#include <cstring>
#include <memory>
#include <utility>

namespace {

// Outside message data a line is a status line; one this long never is.
constexpr qsizetype kMaxStatusLine = 64 * 1024;
constexpr int kMaxMessageCount = 32767;

// The user name and password go out as typed, but a line break in them
// would start a command of its own.
QByteArray commandLine(const char *verb, const QString &argument)
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
    constexpr qsizetype kDefault = 64 * 1024;
    constexpr qsizetype kMost = 64 * 1024 * 1024;
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

Pop3Session::Pop3Session(CMessages &messages)
    : m_messages(messages)
{
}

std::optional<MailNotice> Pop3Session::emptyBoxNotice(const QString &host, const QString &userName,
                                                      const QString &password)
{
    if (host.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtHost"));
    if (userName.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtUserName"));
    if (password.isEmpty())
        return MailTexts::cantBeEmpty(QStringLiteral("txtPassword"));
    return std::nullopt;
}

QStringList Pop3Session::listRow(const CMessage &message)
{
    return {message.From(), message.Subject(), message.SendDate(), QString::number(message.Size())};
}

void Pop3Session::start(const QString &userName, const QString &password)
{
    m_userName = userName;
    m_password = password;
    m_step = 0;
    m_active = true;
    m_failed = false;
    m_inData = false;
    m_messageCount = 0;
    m_currentMessage = 0;
    m_partial.clear();
    m_buffer.clear();
    m_seen.clear();
}

MailActions Pop3Session::feed(const QByteArray &bytes)
{
    MailActions out;
    const char *const data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    // Only the new bytes are searched for line ends, so a message costs time
    // in proportion to its size however finely it was cut.
    while (m_active && pos < size) {
        const void *nl = std::memchr(data + pos, '\n', size_t(size - pos));
        if (!nl) {
            m_partial.append(data + pos, size - pos);
            if (!m_inData && m_partial.size() > kMaxStatusLine) {
                const QByteArray line = std::exchange(m_partial, QByteArray());
                handleStatus(QByteArrayView(line).first(kMaxStatusLine), out);
            }
            break;
        }
        const qsizetype end = static_cast<const char *>(nl) - data + 1;
        if (m_partial.isEmpty()) {
            handleLine(QByteArrayView(data + pos, end - pos), out);
        } else {
            m_partial.append(data + pos, end - pos);
            const QByteArray line = std::exchange(m_partial, QByteArray());
            handleLine(line, out);
        }
        pos = end;
    }
    return out;
}

void Pop3Session::handleLine(QByteArrayView line, MailActions &out)
{
    if (!m_inData) {
        handleStatus(line, out);
        return;
    }
    if (line == ".\r\n" || line == ".\n") {
        storeMessage();
        askNextOrQuit(out);
        return;
    }
    // The server doubled a leading period so the line could not end the message.
    if (line.startsWith('.'))
        line = line.sliced(1);
    m_buffer.append(line);
}

void Pop3Session::handleStatus(QByteArrayView reply, MailActions &out)
{
    if (m_step == 4) {
        if (reply.startsWith('+')) {
            m_inData = true;
            m_buffer.clear();
            m_buffer.reserve(sizeHint(reply));
        } else {
            quitWithError(reply, out);
        }
        return;
    }

    if (!reply.startsWith('+')) {
        out.push_back(MailAction::close());
        out.push_back(MailAction::notify(MailTexts::pop3Error(MailTexts::decodeWireText(reply.toByteArray()))));
        finish(false, out);
        return;
    }

    switch (m_step) {
    case 0:
        m_messageCount = 0;
        m_currentMessage = 0;
        out.push_back(MailAction::send(commandLine("USER ", m_userName)));
        m_step = 1;
        break;
    case 1:
        out.push_back(MailAction::send(commandLine("PASS ", m_password)));
        m_step = 2;
        break;
    case 2:
        out.push_back(MailAction::send("STAT\r\n"));
        m_step = 3;
        break;
    case 3: {
        const int count = statCount(reply);
        if (count < 0) {
            quitWithError(reply, out);
            break;
        }
        m_messageCount = count;
        if (count < 1) {
            out.push_back(MailAction::send("QUIT\r\n"));
            out.push_back(MailAction::notify(MailTexts::noMail()));
            m_step = 6;
        } else {
            m_currentMessage = 1;
            out.push_back(MailAction::send("RETR 1\r\n"));
            m_step = 4;
        }
        break;
    }
    default:
        out.push_back(MailAction::close());
        finish(!m_failed, out);
        break;
    }
}

void Pop3Session::storeMessage()
{
    const QByteArray raw = std::exchange(m_buffer, QByteArray());
    m_inData = false;
    auto message = std::make_shared<CMessage>();
    const QString text = MailTexts::decodeWireText(raw);
    try {
        message->CreateFromText(text);
    } catch (const MailError &) {
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
        m_unlisted << key;
    }
}

void Pop3Session::askNextOrQuit(MailActions &out)
{
    if (m_currentMessage >= m_messageCount) {
        out.push_back(MailAction::send("QUIT\r\n"));
        m_step = 6;
    } else {
        ++m_currentMessage;
        out.push_back(MailAction::send("RETR " + QByteArray::number(m_currentMessage) + "\r\n"));
    }
}

void Pop3Session::quitWithError(QByteArrayView reply, MailActions &out)
{
    m_failed = true;
    m_inData = false;
    m_step = 6;
    out.push_back(MailAction::send("QUIT\r\n"));
    out.push_back(MailAction::notify(MailTexts::pop3Error(MailTexts::decodeWireText(reply.toByteArray()))));
}

void Pop3Session::finish(bool ok, MailActions &out)
{
    m_active = false;
    out.push_back(MailAction::list(std::exchange(m_unlisted, QStringList())));
    out.push_back(MailAction::finished(ok));
}

MailActions Pop3Session::closed()
{
    MailActions out;
    if (!m_active)
        return out;
    const QByteArray rest = std::exchange(m_partial, QByteArray());
    if (m_step != 6) {
        // A refusal cut off by the close is still the server's own word.
        const bool refusal = !m_inData && !rest.isEmpty() && !rest.startsWith('+');
        out.push_back(MailAction::notify(refusal ? MailTexts::pop3Error(MailTexts::decodeWireText(rest))
                                                 : MailTexts::pop3ClosedEarly()));
        m_failed = true;
    }
    finish(!m_failed, out);
    return out;
}

MailActions Pop3Session::socketError(QAbstractSocket::SocketError error, const QString &description)
{
    MailActions out;
    if (!m_active || error == QAbstractSocket::RemoteHostClosedError)
        return out;
    out.push_back(MailAction::notify(MailTexts::checkSocketError(int(error), description)));
    m_failed = true;
    finish(false, out);
    return out;
}
