#include "mail/CMessage.h"

#include "mail/MailError.h"

namespace {
constexpr qsizetype kLongestName = 11;  // "return-path", "in-reply-to"
}

void CMessage::CreateFromText(const QString& strMessage)
{
    const qsizetype p = strMessage.indexOf(QLatin1String("\r\n\r\n"));
    if (p < 0) {
        throw MailError(kInvalidMessageFormat, QStringLiteral("CMessage.CreateFromText"),
                        QStringLiteral("Invalid message format"));
    }
    m_headers = strMessage.left(p);
    m_messageText = strMessage;
    m_messageBody.clear();
    m_bodyFrom = p + 4;
    pickHeaderFields(m_headers);
}

void CMessage::CreateFromHeaderText(const QString& strMessage)
{
    m_headers = strMessage;
    m_messageBody.clear();
    m_bodyFrom = -1;
    m_messageText = strMessage;
    pickHeaderFields(m_headers);
}

QString CMessage::MessageBody() const
{
    return m_bodyFrom >= 0 ? m_messageText.mid(m_bodyFrom) : m_messageBody;
}

void CMessage::setMessageBody(const QString& v)
{
    m_messageBody = v;
    m_bodyFrom = -1;
}

QString* CMessage::fieldFor(QLatin1String lowerName)
{
    struct Field {
        QLatin1String name;
        QString CMessage::*member;
    };
    static const Field kFields[] = {
        {QLatin1String("return-path"), &CMessage::m_returnPath},
        {QLatin1String("received"), &CMessage::m_received},
        {QLatin1String("date"), &CMessage::m_sendDate},
        {QLatin1String("message-id"), &CMessage::m_messageID},
        {QLatin1String("to"), &CMessage::m_messageTo},
        {QLatin1String("from"), &CMessage::m_from},
        {QLatin1String("subject"), &CMessage::m_subject},
        {QLatin1String("reply-to"), &CMessage::m_replyTo},
        {QLatin1String("sender"), &CMessage::m_sender},
        {QLatin1String("cc"), &CMessage::m_cc},
        {QLatin1String("bcc"), &CMessage::m_bcc},
        {QLatin1String("in-reply-to"), &CMessage::m_inReplyTo},
        {QLatin1String("references"), &CMessage::m_references},
        {QLatin1String("keywords"), &CMessage::m_keywords},
        {QLatin1String("comments"), &CMessage::m_comments},
        {QLatin1String("encrypted"), &CMessage::m_encrypted},
    };
    for (const Field& f : kFields) {
        if (lowerName == f.name)
            return &(this->*f.member);
    }
    return nullptr;
}

void CMessage::pickHeaderFields(QStringView headers)
{
    // Each CR LF piece stands alone: a folded continuation line has white
    // space where its name would be, never matches, and so a folded value
    // keeps its first line only.
    for (QStringView piece : headers.tokenize(QLatin1String("\r\n"))) {
        const qsizetype colon = piece.indexOf(QLatin1Char(':'));
        if (colon < 1 || colon > kLongestName)
            continue;
        // Only ASCII letters fold: a non-ASCII letter whose lower case
        // happens to be ASCII must not turn an unknown header into a known one.
        char name[kLongestName];
        bool ascii = true;
        for (qsizetype i = 0; i < colon && ascii; ++i) {
            const char16_t c = piece[i].unicode();
            ascii = c < 0x80;
            name[i] = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : char(c);
        }
        QString* field = ascii ? fieldFor(QLatin1String(name, colon)) : nullptr;
        if (!field)
            continue;
        QStringView value = piece.mid(colon + 1);
        while (!value.isEmpty() && value.front() == QLatin1Char(' '))
            value = value.mid(1);
        while (!value.isEmpty() && value.back() == QLatin1Char(' '))
            value.chop(1);
        *field = value.toString();
    }
}
