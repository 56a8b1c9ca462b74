#include "mail/SmtpSession.h"

#include "mail/MailTexts.h"

#include <QHostInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <utility>

namespace {

// A reply longer than this without its final line is not an SMTP reply;
// stop waiting for it rather than buffer without end.
constexpr qsizetype kMaxReply = 64 * 1024;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Values from one-line boxes go onto command and header lines: a line break
// inside them would start a line of the user's (or a paste's) choosing.
QString oneLine(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

// "Anna <anna@example.org>" -> "anna@example.org"; anything else unchanged.
QString bareAddress(const QString &text)
{
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
    if (open >= 0 && close > open)
        return text.mid(open + 1, close - open - 1).trimmed();
    return text;
}

bool isDomainLike(const QString &text)
{
    static const QRegularExpression kDomain(QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return kDomain.match(text).hasMatch();
}

// Every line break becomes CR LF, the text after the last break is a line
// too, and a line beginning with "." gets a second one so the server never
// mistakes it for the end of the data.
QByteArray wireLines(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 8);
    const char *p = text.constData();
    const char *const end = p + text.size();
    for (;;) {
        if (p < end && *p == '.')
            out += '.';
        const char *eol = std::find_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
        out.append(p, eol - p);
        out += "\r\n";
        if (eol == end)
            break;
        p = eol + ((*eol == '\r' && eol + 1 < end && eol[1] == '\n') ? 2 : 1);
    }
    return out;
}

bool isGoOn(const QByteArray &reply)
{
    const QByteArray code = reply.left(3);
    return code == "220" || code == "250" || code == "354";
}

bool isPlainAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

}  // namespace

QStringList SmtpSession::splitRecipients(const QString &box)
{
    QStringList out;
    for (const QString &piece : box.split(QRegularExpression(QStringLiteral("[;,]")))) {
        const QString address = bareAddress(piece.trimmed());
        if (!address.isEmpty())
            out << address;
    }
    return out;
}

QString SmtpSession::heloArgument(const QString &sender, const QString &localHostName)
{
    const QString address = bareAddress(sender.trimmed());
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    // "HELO" without an argument is refused by every server.
    if (at <= 0)
        return localHostName;
    return address.left(at);
}

QByteArray SmtpSession::rfc5322Date(const QDateTime &when)
{
    static const char *const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!when.isValid())
        return {};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int absOffset = std::abs(offset);
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(kDays[d.dayOfWeek() - 1]))
        .arg(d.day())
        .arg(QLatin1String(kMonths[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(absOffset / 60, 2, 10, QLatin1Char('0'))
        .arg(absOffset % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

QString SmtpSession::newMessageId(const QString &sender, const QString &localHostName,
                                  const QDateTime &when)
{
    const QString address = bareAddress(sender.trimmed());
    QString domain = address.mid(address.lastIndexOf(QLatin1Char('@')) + 1);
    if (!address.contains(QLatin1Char('@')) || !isDomainLike(domain))
        domain = isDomainLike(localHostName) ? localHostName : QStringLiteral("localhost");
    const quint64 unique = QRandomGenerator::global()->generate64();
    return QStringLiteral("<%1.%2@%3>")
        .arg(when.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")))
        .arg(unique, 16, 16, QLatin1Char('0'))
        .arg(domain);
}

QByteArray SmtpSession::messageData(const SmtpMessage &message)
{
    const QByteArray subject = oneLine(message.subject).toUtf8();
    const QByteArray sender = oneLine(message.sender.trimmed()).toUtf8();
    const QByteArray to = oneLine(splitRecipients(message.recipients).join(QLatin1String(", "))).toUtf8();
    const QDateTime when = message.date.isValid() ? message.date : QDateTime::currentDateTime();
    const QByteArray text = message.text.toUtf8();

    QByteArray head = "Subject:" + subject + "\r\n";
    head += "From: " + sender + "\r\n";
    head += "To: " + to + "\r\n";
    head += "Date: " + rfc5322Date(when) + "\r\n";
    head += "Message-ID: " + oneLine(message.messageId).toUtf8() + "\r\n";
    if (!isPlainAscii(head) || !isPlainAscii(text) || !isPlainAscii(message.attachments)) {
        head += "MIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=UTF-8\r\n"
                "Content-Transfer-Encoding: 8bit\r\n";
    }

    // The message text, a blank line, then the attachment blocks.
    const QByteArray body = text + "\r\n\r\n" + message.attachments;
    return wireLines(head + "\r\n" + body) + ".\r\n";
}

void SmtpSession::start(const SmtpMessage &message)
{
    m_message = message;
    if (m_message.localHostName.isEmpty())
        m_message.localHostName = QHostInfo::localHostName();
    if (!m_message.date.isValid())
        m_message.date = QDateTime::currentDateTime();
    if (m_message.messageId.isEmpty())
        m_message.messageId = newMessageId(m_message.sender, m_message.localHostName, m_message.date);
    m_sender = oneLine(bareAddress(m_message.sender.trimmed()));
    m_recipients = splitRecipients(oneLine(m_message.recipients));
    m_nextRecipient = 0;
    m_step = 0;
    m_active = true;
    m_in.clear();
    m_scan = 0;
}

QByteArray SmtpSession::command(const QByteArray &verb, const QString &argument) const
{
    return verb + argument.toUtf8() + "\r\n";
}

bool SmtpSession::takeReply(QByteArray &reply)
{
    for (;;) {
        const qsizetype nl = m_in.indexOf('\n', m_scan);
        if (nl < 0)
            return false;
        const char *line = m_in.constData() + m_scan;
        const bool continued = nl - m_scan >= 4 && isDigit(line[0]) && isDigit(line[1])
                               && isDigit(line[2]) && line[3] == '-';
        m_scan = nl + 1;
        if (!continued) {
            reply = m_in.left(m_scan);
            m_in.remove(0, m_scan);
            m_scan = 0;
            return true;
        }
    }
}

MailActions SmtpSession::feed(const QByteArray &bytes)
{
    MailActions out;
    if (!m_active)
        return out;
    m_in += bytes;
    QByteArray reply;
    while (m_active && takeReply(reply))
        handleReply(reply, out);
    if (m_active && m_in.size() > kMaxReply) {
        fail(m_in.left(kMaxReply), out);
        m_in.clear();
    }
    return out;
}

void SmtpSession::fail(const QByteArray &reply, MailActions &out)
{
    m_active = false;
    out.push_back(MailAction::close());
    out.push_back(MailAction::notify(MailTexts::smtpError(MailTexts::decodeWireText(reply))));
    out.push_back(MailAction::finished(false));
}

void SmtpSession::handleReply(const QByteArray &reply, MailActions &out)
{
    const QByteArray code = reply.left(3);
    if (!isGoOn(reply)) {
        if (m_step == 6) {
            m_active = false;
            out.push_back(MailAction::close());
            out.push_back(MailAction::notify(MailTexts::messageSent()));
            out.push_back(MailAction::finished(true));
        } else {
            fail(reply, out);
        }
        return;
    }

    switch (m_step) {
    case 0:
        out.push_back(MailAction::send(
            command("HELO ", oneLine(heloArgument(m_message.sender, m_message.localHostName)))));
        m_step = 1;
        break;
    case 1:
        out.push_back(MailAction::send(command("MAIL FROM:<", m_sender + QLatin1Char('>'))));
        m_step = 2;
        break;
    case 2: {
        // An empty recipient box still asks, with no address at all, so the
        // server's refusal is what the user sees ("<>" may be accepted).
        if (m_recipients.isEmpty())
            out.push_back(MailAction::send("RCPT TO:\r\n"));
        else
            out.push_back(MailAction::send(command("RCPT TO:<", m_recipients[m_nextRecipient] + QLatin1Char('>'))));
        ++m_nextRecipient;
        if (m_nextRecipient >= m_recipients.size())
            m_step = 3;
        break;
    }
    case 3:
        out.push_back(MailAction::send("DATA\r\n"));
        m_step = 4;
        break;
    case 4:
        out.push_back(MailAction::send(messageData(m_message)));
        m_message.attachments.clear();
        m_step = 5;
        break;
    case 5:
        // Only a 2xx to the final "." means the server took the message.
        if (code.startsWith('2')) {
            out.push_back(MailAction::send("QUIT\r\n"));
            m_step = 6;
        } else {
            fail(reply, out);
        }
        break;
    default:
        m_active = false;
        out.push_back(MailAction::close());
        out.push_back(MailAction::finished(true));
        break;
    }
}

MailActions SmtpSession::closed()
{
    MailActions out;
    if (!m_active)
        return out;
    // A refusal cut off by the close still says what the server meant; a
    // cut-off "go on" leads nowhere now.
    const QByteArray rest = std::exchange(m_in, QByteArray());
    if (!rest.isEmpty() && !isGoOn(rest)) {
        handleReply(rest, out);
        if (!m_active)
            return out;
    }
    m_active = false;
    if (m_step == 6) {
        // The message was accepted and QUIT sent: the server only skipped its goodbye.
        out.push_back(MailAction::notify(MailTexts::messageSent()));
        out.push_back(MailAction::finished(true));
    } else {
        out.push_back(MailAction::notify(MailTexts::smtpClosedEarly()));
        out.push_back(MailAction::finished(false));
    }
    return out;
}

MailActions SmtpSession::socketError(QAbstractSocket::SocketError error, const QString &description)
{
    MailActions out;
    // A closed connection is not a fault of its own: closed() decides what it means.
    if (!m_active || error == QAbstractSocket::RemoteHostClosedError)
        return out;
    m_active = false;
    out.push_back(MailAction::notify(MailTexts::sendSocketError(int(error), description)));
    out.push_back(MailAction::finished(false));
    return out;
}
