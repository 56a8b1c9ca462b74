#include "mail/SmtpSession.h"

#include "mail/MailSasl.h"

#include "mail/MailTexts.h"
#include "mail/MimeMessage.h"
#include "mail/mdlMUUEncode.h"

#include <QFile>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cstring>
#include <utility>

namespace {

// A reply longer than this without its final line is not an SMTP reply;
// stop waiting for it rather than buffer without end.
constexpr qsizetype kMaxReply = qsizetype(64) * 1024;

// Values from one-line boxes go onto command and header lines: a line break
// inside them would start a line of the user's (or a paste's) choosing.
QString oneLine(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

// "Anna <anna@example.org>" -> "anna@example.org"; anything else unchanged.
QString bareAddress(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
    if (open >= 0 && close > open)
        return text.mid(open + 1, close - open - 1).trimmed();
    return text;
}

bool isDomainLike(const QString& text)
{
    static const QRegularExpression kDomain(QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return kDomain.match(text).hasMatch();
}

// Every line break becomes CR LF, the text after the last break is a line
// too, and a line beginning with "." gets a second one so the server never
// mistakes it for the end of the data.
QByteArray wireLines(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 8);
    const char* p = text.constData();
    const char* const end = p + text.size();
    for (;;) {
        if (p < end && *p == '.')
            out += '.';
        const char* eol = std::find_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
        out.append(p, eol - p);
        out += "\r\n";
        if (eol == end)
            break;
        p = eol + ((*eol == '\r' && eol + 1 < end && eol[1] == '\n') ? 2 : 1);
    }
    return out;
}

// Where the first line after `p` that begins with "." has its ".", or
// `end`: a look at sixteen places at once, as the message data of a large
// attachment is scanned whole on its way out.
const char* nextLineDot(const char* p, const char* const end)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i dot = _mm_set1_epi8('.');
    for (; end - p > 16; p += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const unsigned hits =
            unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, lf), _mm_cmpeq_epi8(after, dot))));
        if (hits != 0)
            return p + std::countr_zero(hits) + 1;
    }
#endif
    for (; end - p > 1; ++p) {
        if (p[0] == '\n' && p[1] == '.')
            return p + 1;
    }
    return end;
}

bool isPlainAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

// Encoded words of at most 75 characters: 45 bytes of UTF-8 make 60 of
// base64, and a character is never cut in two.
QByteArray encodedWords(const QString& text)
{
    QByteArrayList words;
    QByteArray chunk;
    const auto flush = [&] {
        words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, n).toUtf8();
        if (chunk.size() + bytes.size() > 45)
            flush();
        chunk += bytes;
        i += n;
    }
    if (!chunk.isEmpty())
        flush();
    return words.join("\r\n ");
}

}  // namespace

QStringList SmtpSession::splitRecipients(const QString& box)
{
    QStringList out;
    for (const QString& piece : box.split(QRegularExpression(QStringLiteral("[;,]")))) {
        const QString address = bareAddress(piece.trimmed());
        if (!address.isEmpty())
            out << address;
    }
    return out;
}

QString SmtpSession::ehloArgument(const QString& hostName, const QHostAddress& local)
{
    if (hostName.contains(QLatin1Char('.')) && isDomainLike(hostName))
        return hostName;
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (isV4)
        return QLatin1Char('[') + QHostAddress(v4).toString() + QLatin1Char(']');
    if (local.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[IPv6:") + local.toString() + QLatin1Char(']');
    return QStringLiteral("[127.0.0.1]");
}

QByteArray SmtpSession::subjectText(const QString& subject)
{
    const QString line = oneLine(subject);
    const QByteArray utf8 = line.toUtf8();
    return isPlainAscii(utf8) ? utf8 : " " + encodedWords(line);
}

QByteArray SmtpSession::senderText(const QString& sender)
{
    const QString line = oneLine(sender.trimmed());
    QByteArray utf8 = line.toUtf8();
    static const QRegularExpression named(QStringLiteral("^\"?(.*?)\"?\\s*<([\\x21-\\x7e]*)>$"));
    const QRegularExpressionMatch m = named.match(line);
    if (isPlainAscii(utf8) || !m.hasMatch())
        return utf8;
    QString name = m.captured(1);
    name.replace(QStringLiteral("\\\""), QStringLiteral("\"")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return encodedWords(name) + " <" + m.captured(2).toLatin1() + '>';
}

QByteArray SmtpSession::rfc5322Date(const QDateTime& when)
{
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
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

QString SmtpSession::newMessageId(const QString& sender, const QString& localHostName, const QDateTime& when)
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

namespace {

// The message's data: its head and text, then the attachment blocks as
// they are read, then the end of the data.
class MessageData : public MailData {
public:
    MessageData(QByteArray text, const QStringList& attachments)
        : m_text(std::move(text))
        , m_blocks(attachments, UUEncodeStream::Form::MailData)
    {
    }
    bool open(MailNotice* failure)
    {
        if (!m_blocks.open(failure))
            return false;
        m_size = m_text.size() + m_blocks.size() + kEnd.size();
        return true;
    }
    qint64 size() const override { return m_size; }
    QByteArray next() override
    {
        if (!m_text.isEmpty())
            return std::exchange(m_text, QByteArray());
        if (QByteArray slice = m_blocks.next(); !slice.isEmpty() || m_blocks.failure())
            return slice;
        return std::exchange(m_end, QByteArray());
    }
    std::optional<MailNotice> failure() const override { return m_blocks.failure(); }

private:
    // The text's last line is the empty one after the blocks (or after the
    // text, without attachments), then the "." that ends the data.
    static inline const QByteArray kEnd = "\r\n.\r\n";
    QByteArray m_text;
    UUEncodeStream m_blocks;
    QByteArray m_end = kEnd;
    qint64 m_size = 0;
};

// The MIME form's data: the pieces GMime wrote around the files, each
// file's base64 lines streamed between them a slice at a time, then the end
// of the data. Base64 lines never begin with a ".", so only the pieces need
// the wire's dot-stuffing, which they have.
class MimeData : public MailData {
public:
    MimeData(QByteArrayList pieces, const QStringList& paths)
        : m_pieces(std::move(pieces))
    {
        for (const QString& path : paths)
            m_files.push_back({path, nullptr, 0});
    }
    bool open(MailNotice* failure)
    {
        m_size = kEnd.size();
        for (const QByteArray& piece : std::as_const(m_pieces))
            m_size += piece.size();
        for (File& f : m_files) {
            f.file = std::make_unique<QFile>(f.path);
            if (!f.file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
                if (failure)
                    *failure = MailTexts::attachmentUnreadable(f.path, f.file->errorString());
                return false;
            }
            f.left = f.file->size();
            m_size += f.left / kLineBytes * (kLineChars + 2)
                      + (f.left % kLineBytes ? (f.left % kLineBytes + 2) / 3 * 4 + 2 : 0);
        }
        return true;
    }
    qint64 size() const override { return m_size; }
    QByteArray next() override
    {
        if (m_failure)
            return {};
        if (m_inFile) {
            if (QByteArray slice = fileSlice(m_files[m_at]); !slice.isEmpty() || m_failure)
                return slice;
            m_inFile = false;
            ++m_at;
        }
        if (m_at < m_pieces.size()) {
            m_inFile = m_at < qsizetype(m_files.size());
            QByteArray piece = std::exchange(m_pieces[m_at], QByteArray());
            if (!m_inFile)
                ++m_at;
            return piece.isEmpty() ? next() : piece;
        }
        return std::exchange(m_end, QByteArray());
    }
    std::optional<MailNotice> failure() const override { return m_failure; }

private:
    static constexpr qsizetype kLineBytes = 57;  // make 76 characters
    static constexpr qsizetype kLineChars = 76;
    static constexpr qsizetype kSlice = kLineBytes * 4096;
    static inline const QByteArray kEnd = "\r\n.\r\n";
    struct File {
        QString path;
        std::unique_ptr<QFile> file;
        qint64 left = 0;
    };

    // The next lines of the file; empty once it is all out (or unreadable).
    QByteArray fileSlice(File& f)
    {
        if (f.left <= 0)
            return {};
        m_in.resize(kSlice);
        const qint64 got = f.file->read(m_in.data(), std::min<qint64>(kSlice, f.left));
        if (got < 0) {
            m_failure = MailTexts::attachmentUnreadable(f.path, f.file->errorString());
            return {};
        }
        // A file that got shorter ends where it ends.
        f.left = got == 0 ? 0 : f.left - got;
        // Reads are whole lines' worth but for the last.
        static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const auto* in = reinterpret_cast<const unsigned char*>(m_in.constData());
        m_out.resize((got + kLineBytes - 1) / kLineBytes * (kLineChars + 2));
        char* w = m_out.data();
        for (qint64 done = 0; done < got; done += kLineBytes) {
            const qint64 n = std::min<qint64>(kLineBytes, got - done);
            const unsigned char* p = in + done;
            qint64 i = 0;
            for (; i + 3 <= n; i += 3, p += 3) {
                const quint32 v = quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2];
                *w++ = kDigits[v >> 18];
                *w++ = kDigits[v >> 12 & 63];
                *w++ = kDigits[v >> 6 & 63];
                *w++ = kDigits[v & 63];
            }
            if (i < n) {
                const quint32 v = quint32(p[0]) << 16 | (i + 1 < n ? quint32(p[1]) << 8 : 0);
                *w++ = kDigits[v >> 18];
                *w++ = kDigits[v >> 12 & 63];
                *w++ = i + 1 < n ? kDigits[v >> 6 & 63] : '=';
                *w++ = '=';
            }
            *w++ = '\r';
            *w++ = '\n';
        }
        m_out.truncate(w - m_out.constData());
        if (got < kSlice && f.left > 0)  // a short read mid-file would cut a line
            f.left = 0;
        return m_out;
    }

    QByteArrayList m_pieces;
    std::vector<File> m_files;
    qsizetype m_at = 0;     // the piece, or the file after it
    bool m_inFile = false;  // piece m_at is out, its file is going
    QByteArray m_in, m_out;
    QByteArray m_end = kEnd;
    qint64 m_size = 0;
    std::optional<MailNotice> m_failure;
};

// Passes the data on, and hands each slice to `copy` with the wire's
// dot-stuffing undone and without the final "." line. A slice may end
// anywhere in a line, so where the line stands is kept between slices.
class CopiedData : public MailData {
public:
    CopiedData(std::shared_ptr<MailData> data, std::function<void(const QByteArray&)> copy)
        : m_data(std::move(data))
        , m_copy(std::move(copy))
    {
    }
    qint64 size() const override { return m_data->size(); }
    std::optional<MailNotice> failure() const override { return m_data->failure(); }
    QByteArray next() override
    {
        QByteArray slice = m_data->next();
        if (m_ended || slice.isEmpty())
            return slice;
        // The copy hears the slice itself unless a line's "." is dropped:
        // then the runs between such dots are joined.
        QByteArray plain;
        bool cut = false;
        const char* p = slice.constData();
        const char* const end = p + slice.size();
        const char* run = p;
        const auto cutAt = [&](const char* at, const char* resume) {
            plain.append(run, at - run);
            run = resume;
            cut = true;
        };
        while (p < end) {
            if (m_lineStart) {
                if (*p == '.' && !m_dot) {
                    m_dot = true;
                    cutAt(p, p + 1);
                    ++p;
                    continue;
                }
                // Only the final line is a lone "." on the wire.
                if (*p == '\r' && m_dot) {
                    m_ended = true;
                    cutAt(p, end);
                    break;
                }
                m_lineStart = m_dot = false;
            }
            p = nextLineDot(p, end);
            m_lineStart = p < end || end[-1] == '\n';
        }
        if (!cut) {
            m_copy(slice);
        } else {
            plain.append(run, end - run);
            if (!plain.isEmpty())
                m_copy(plain);
        }
        return slice;
    }

private:
    std::shared_ptr<MailData> m_data;
    std::function<void(const QByteArray&)> m_copy;
    bool m_lineStart = true;
    bool m_dot = false;  // the line's first "." was dropped
    bool m_ended = false;
};

}  // namespace

std::shared_ptr<MailData> SmtpSession::messageData(const SmtpMessage& message, MailNotice* failure)
{
    const QByteArray subject = subjectText(message.subject);
    const QByteArray sender = senderText(message.sender);
    const QByteArray to = oneLine(splitRecipients(message.recipients).join(QLatin1String(", "))).toUtf8();
    const QDateTime when = message.date.isValid() ? message.date : QDateTime::currentDateTime();
    const QByteArray text = message.text.toUtf8();

    QByteArray head = "Subject:" + subject + "\r\n";
    head += "From: " + sender + "\r\n";
    head += "To: " + to + "\r\n";
    head += "Date: " + rfc5322Date(when) + "\r\n";
    head += "Message-ID: " + oneLine(message.messageId).toUtf8() + "\r\n";
    if (!message.inReplyTo.isEmpty())
        head += "In-Reply-To: " + oneLine(message.inReplyTo).toUtf8() + "\r\n";
    // One id a line: a long thread stays within the line length servers take.
    if (const QStringList ids = oneLine(message.references).split(QLatin1Char(' '), Qt::SkipEmptyParts); !ids.isEmpty())
        head += "References: " + ids.join(QLatin1String("\r\n ")).toUtf8() + "\r\n";
    if (!message.calendar.isEmpty()) {
        QByteArray whole =
            head + "MIME-Version: 1.0\r\n" + mimeWithCalendar(message.text, message.calendar, message.calendarMethod);
        if (whole.endsWith("\r\n"))
            whole.chop(2);
        auto data = std::make_shared<MimeData>(QByteArrayList{wireLines(whole).chopped(2)}, QStringList());
        if (!data->open(failure))
            return nullptr;
        return data;
    }
    if (message.mimeParts && !message.attachments.isEmpty()) {
        QStringList names;
        for (const QString& path : message.attachments)
            names << UUEncodeFileName(path);
        QByteArrayList pieces = mimeWithAttachments(message.text, names);
        pieces.first().prepend(head + "MIME-Version: 1.0\r\n");
        if (pieces.last().endsWith("\r\n"))
            pieces.last().chop(2);
        // Each piece begins a line and (but for the last) ends one.
        for (QByteArray& piece : pieces)
            piece = wireLines(piece).chopped(2);
        auto data = std::make_shared<MimeData>(std::move(pieces), message.attachments);
        if (!data->open(failure))
            return nullptr;
        return data;
    }
    // The blocks are ASCII but for the file names of their begin lines.
    bool names = true;
    for (const QString& path : message.attachments)
        names = names && isPlainAscii(UUEncodeFileName(path).toUtf8());
    if (!isPlainAscii(head) || !isPlainAscii(text) || !names) {
        head += "MIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=UTF-8\r\n"
                "Content-Transfer-Encoding: 8bit\r\n";
    }

    // The message text, a blank line, then the attachment blocks; each line
    // as the wire has it. The text ends in a line break, so its last line
    // (empty) is the one after the blocks.
    auto data =
        std::make_shared<MessageData>(wireLines(head + "\r\n" + text + "\r\n\r\n").chopped(2), message.attachments);
    if (!data->open(failure))
        return nullptr;
    return data;
}

void SmtpSession::start(const SmtpMessage& message)
{
    m_message = message;
    if (m_message.localHostName.isEmpty()) {
        m_message.localHostName = QHostInfo::localHostName();
        if (!m_message.localHostName.contains(QLatin1Char('.')) && !QHostInfo::localDomainName().isEmpty())
            m_message.localHostName += QLatin1Char('.') + QHostInfo::localDomainName();
    }
    if (!m_message.date.isValid())
        m_message.date = QDateTime::currentDateTime();
    if (m_message.messageId.isEmpty())
        m_message.messageId = newMessageId(m_message.sender, m_message.localHostName, m_message.date);
    m_sender = oneLine(bareAddress(m_message.sender.trimmed()));
    m_recipients = splitRecipients(oneLine(m_message.recipients));
    m_nextRecipient = 0;
    m_step = SmtpStep::Greeting;
    begin();
    m_loopback = false;
    m_local = QHostAddress();
    m_caps = {};
    m_reader = {};
}

void SmtpSession::connected(const QHostAddress& local, bool peerIsLoopback)
{
    m_local = local;
    m_loopback = peerIsLoopback;
}

MailActions SmtpSession::feed(const QByteArray& bytes)
{
    MailActions out;
    if (!m_active)
        return out;
    m_reader.add(bytes);
    while (m_active) {
        const std::optional<SmtpReply> reply = m_reader.take();
        if (!reply)
            break;
        handleReply(*reply, out);
    }
    if (m_active && m_reader.pending() > kMaxReply)
        fail(MailTexts::decodeWireText(m_reader.takeRest().left(kMaxReply)), out);
    return out;
}

void SmtpSession::send(const QByteArray& line, SmtpStep next, MailActions& out)
{
    out.push_back(MailAction::send(line + "\r\n"));
    m_step = next;
}

MailNotice SmtpSession::errorNotice(const QString& text) const
{
    return MailTexts::smtpError(text);
}

MailNotice SmtpSession::socketErrorNotice(int number, const QString& description) const
{
    return MailTexts::sendSocketError(number, description);
}

void SmtpSession::succeed(bool tell, MailActions& out)
{
    out.push_back(MailAction::close());
    if (tell)
        out.push_back(MailAction::notify(MailTexts::messageSent()));
    finish(true, out);
}

// With QUIT sent the message was already accepted.
void SmtpSession::endAtClose(MailActions& out)
{
    succeed(true, out);
}

void SmtpSession::handleReply(const SmtpReply& reply, MailActions& out)
{
    const auto refuse = [&] { fail(MailTexts::decodeWireText(reply.raw), out); };
    const QByteArray ehlo = oneLine(ehloArgument(m_message.localHostName, m_local)).toUtf8();

    switch (m_step) {
    case SmtpStep::Greeting:
        if (!reply.isGoOn())
            return refuse();
        return send("EHLO " + ehlo, SmtpStep::Ehlo, out);
    case SmtpStep::Ehlo:
        // An old server that knows no EHLO still knows HELO.
        if (reply.code == 500 || reply.code == 502)
            return send("HELO " + ehlo, SmtpStep::Helo, out);
        if (!reply.isGoOn())
            return refuse();
        m_caps = {};
        for (const QByteArray& line : reply.lines.mid(1)) {
            const QByteArrayList words = line.toUpper().simplified().split(' ');
            if (words[0] == "STARTTLS")
                m_caps.startTls = true;
            else if (words[0] == "8BITMIME")
                m_caps.eightBitMime = true;
            else if (words[0] == "AUTH")
                m_caps.auth = words.mid(1);
        }
        return afterHello(out);
    case SmtpStep::Helo:
        if (!reply.isGoOn())
            return refuse();
        m_caps = {};
        return afterHello(out);
    case SmtpStep::StartTls:
        if (reply.kind() != 2)
            return refuse();
        // Anything the server sent along with its reply was sent in clear
        // and must not count as said inside TLS.
        m_reader.takeRest();
        out.push_back(MailAction::startTls());
        m_step = SmtpStep::TlsHandshake;
        return;
    case SmtpStep::TlsHandshake:
        return refuse();
    case SmtpStep::AuthLogin:
        if (reply.code != 334)
            return refuse();
        return send(m_message.userName.toUtf8().toBase64(), SmtpStep::AuthLoginUser, out);
    case SmtpStep::AuthLoginUser:
        if (reply.code != 334)
            return refuse();
        return send(m_message.password.toUtf8().toBase64(), SmtpStep::AuthLoginPassword, out);
    case SmtpStep::AuthOAuth:
        // The error challenge, answered so that the refusal follows.
        if (reply.code == 334)
            return send(oauthErrorAck(oauthMechanism(m_caps.auth)), SmtpStep::AuthOAuth, out);
        [[fallthrough]];
    case SmtpStep::AuthPlain:
    case SmtpStep::AuthLoginPassword:
        if (reply.code == 535 || (m_step == SmtpStep::AuthOAuth && reply.code != 235))
            return refusedLogin(MailTexts::decodeWireText(reply.raw), out);
        if (reply.code != 235)
            return refuse();
        return sendMailFrom(out);
    case SmtpStep::MailFrom:
    case SmtpStep::RcptTo:
        if (!reply.isGoOn())
            return refuse();
        if (m_step == SmtpStep::RcptTo && m_nextRecipient >= std::max<qsizetype>(m_recipients.size(), 1))
            return send("DATA", SmtpStep::Data, out);
        {
            // An empty recipient box still asks, with no address at all, so the
            // server's refusal is what the user sees ("<>" may be accepted).
            const QByteArray address = m_recipients.value(m_nextRecipient++).toUtf8();
            return send(address.isEmpty() ? QByteArray("RCPT TO:") : "RCPT TO:<" + address + ">", SmtpStep::RcptTo,
                        out);
        }
    case SmtpStep::Data: {
        if (!reply.isGoOn())
            return refuse();
        MailNotice failure;
        std::shared_ptr<MailData> data = messageData(m_message, &failure);
        if (!data)
            return dataFailed(failure, out);
        if (m_message.copy)
            data = std::make_shared<CopiedData>(std::move(data), m_message.copy);
        out.push_back(MailAction::send(std::move(data)));
        m_step = SmtpStep::Message;
        return;
    }
    case SmtpStep::Message:
        // Only a 2xx to the final "." means the server took the message.
        if (reply.kind() == 2)
            return send("QUIT", SmtpStep::Quit, out);
        return refuse();
    case SmtpStep::Quit:
        return succeed(!reply.isGoOn(), out);
    }
}

void SmtpSession::afterHello(MailActions& out)
{
    if (!m_secure && m_message.tls != TlsMode::Implicit && m_caps.startTls)
        return send("STARTTLS", SmtpStep::StartTls, out);
    if (!m_secure && m_message.tls == TlsMode::Required)
        return fail(MailTexts::noStartTls(m_message.host), out);
    // The password goes only where nobody can read it on the way.
    const bool mayLogIn = (m_secure || m_loopback) && !m_message.userName.isEmpty();
    if (m_oauth)
        return oauthLogin(mayLogIn, out);
    if (mayLogIn && m_caps.auth.contains("PLAIN")) {
        const QByteArray plain = '\0' + m_message.userName.toUtf8() + '\0' + m_message.password.toUtf8();
        return send("AUTH PLAIN " + plain.toBase64(), SmtpStep::AuthPlain, out);
    }
    if (mayLogIn && m_caps.auth.contains("LOGIN"))
        return send("AUTH LOGIN", SmtpStep::AuthLogin, out);
    sendMailFrom(out);
}

// An OAuth2 account sends only signed in, and only by a mechanism that
// carries the token: without one nothing is sent, a password least of all.
void SmtpSession::oauthLogin(bool mayLogIn, MailActions& out)
{
    if (!mayLogIn)
        return fail(MailTexts::noStartTls(m_message.host), out);
    const OAuthMechanism mechanism = oauthMechanism(m_caps.auth);
    if (mechanism == OAuthMechanism::None)
        return fail(MailTexts::noOAuth(m_message.host), out);
    send("AUTH " + oauthMechanismName(mechanism) + ' '
             + oauthResponse(mechanism, m_message.userName, m_message.password, m_message.host),
         SmtpStep::AuthOAuth, out);
}

void SmtpSession::sendMailFrom(MailActions& out)
{
    const QByteArray body = m_caps.eightBitMime ? " BODY=8BITMIME" : "";
    send("MAIL FROM:<" + m_sender.toUtf8() + ">" + body, SmtpStep::MailFrom, out);
}

MailActions SmtpSession::tlsReady()
{
    MailActions out;
    m_secure = true;
    if (m_active && m_step == SmtpStep::TlsHandshake) {
        // What the server said before TLS no longer holds: ask again.
        send("EHLO " + oneLine(ehloArgument(m_message.localHostName, m_local)).toUtf8(), SmtpStep::Ehlo, out);
    }
    return out;
}

// What went out of the data has no final ".": closing the connection
// leaves the server nothing to deliver.
void SmtpSession::dataFailed(const MailNotice& notice, MailActions& out)
{
    out.push_back(MailAction::close());
    out.push_back(MailAction::notify(notice));
    finish(false, out);
}

MailActions SmtpSession::dataFailed(const MailNotice& notice)
{
    MailActions out;
    if (m_active)
        dataFailed(notice, out);
    return out;
}

QString SmtpSession::waitingFor() const
{
    switch (m_step) {
    case SmtpStep::Greeting:
        return QStringLiteral("the greeting");
    case SmtpStep::Ehlo:
        return QStringLiteral("the reply to EHLO");
    case SmtpStep::Helo:
        return QStringLiteral("the reply to HELO");
    case SmtpStep::StartTls:
        return QStringLiteral("the reply to STARTTLS");
    case SmtpStep::TlsHandshake:
        return QStringLiteral("the secure connection");
    case SmtpStep::AuthPlain:
    case SmtpStep::AuthLogin:
    case SmtpStep::AuthLoginUser:
    case SmtpStep::AuthLoginPassword:
    case SmtpStep::AuthOAuth:
        return QStringLiteral("the reply to the login");
    case SmtpStep::MailFrom:
        return QStringLiteral("the reply to MAIL FROM");
    case SmtpStep::RcptTo:
        return QStringLiteral("the reply to RCPT TO");
    case SmtpStep::Data:
        return QStringLiteral("the reply to DATA");
    case SmtpStep::Message:
        return QStringLiteral("the reply to the message");
    case SmtpStep::Quit:
        return QStringLiteral("the reply to QUIT");
    }
    return {};
}

MailActions SmtpSession::closed()
{
    MailActions out;
    if (!m_active)
        return out;
    // A refusal cut off by the close still says what the server meant; a
    // cut-off "go on" leads nowhere now.
    const QByteArray rest = m_reader.takeRest();
    const SmtpReplyLine first = parseSmtpReplyLine(rest);
    if (!rest.isEmpty() && !SmtpReply{first.code, {}, rest}.isGoOn()) {
        handleReply(SmtpReply{first.code, {first.text.toByteArray()}, rest}, out);
        if (!m_active)
            return out;
    }
    m_active = false;
    if (m_step == SmtpStep::Quit) {
        // The message was accepted and QUIT sent: the server only skipped its goodbye.
        out.push_back(MailAction::notify(MailTexts::messageSent()));
        out.push_back(MailAction::finished(true));
    } else {
        out.push_back(MailAction::notify(MailTexts::smtpClosedEarly()));
        out.push_back(MailAction::finished(false));
    }
    return out;
}
