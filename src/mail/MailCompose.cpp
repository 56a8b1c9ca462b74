#include "mail/MailCompose.h"

#include <QSet>

namespace {
const QString kReply = QStringLiteral("Re: ");
const QString kForward = QStringLiteral("Fwd: ");
// Already answered or passed on: the prefix is not doubled.
const QStringList kReplyPrefixes{QStringLiteral("re:")};
const QStringList kForwardPrefixes{QStringLiteral("fwd:"), QStringLiteral("fw:")};
const QString kWrote = QStringLiteral("On %1, %2 wrote:");
const QString kWroteUndated = QStringLiteral("%1 wrote:");
const QString kForwardHeading = QStringLiteral("---------- Forwarded message ----------");
const QString kAddressSeparator = QStringLiteral("; ");

// A hostile References header must not make a line no server takes: the
// thread's first message and the latest ones are enough to place an answer.
constexpr qsizetype kMaxReferences = 50;
constexpr qsizetype kMaxIdLength = 250;

// Header values come from the original: any line break (and what some
// readers take as one) would start a header line of the sender's choosing.
QString oneLine(const QString& value)
{
    QString s = value;
    for (QChar& c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() == 0x85 || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return s.trimmed();
}

// Text to edit: no NULs (no server takes them) and LF alone ending each line.
QString cleanText(const QString& text)
{
    QString s = text;
    s.remove(QChar(0));
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// What the recipient box can carry: it splits at ";" and "," and reads
// "<...>", so an address holding them (or blanks, or controls) is left out.
bool usableAddress(const QString& address)
{
    if (address.isEmpty())
        return false;
    for (QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || QStringView(u",;<>\"()").contains(c))
            return false;
    }
    return true;
}

bool usableId(const QString& id)
{
    if (id.isEmpty() || id.size() > kMaxIdLength)
        return false;
    for (QChar c : id) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return false;
    }
    return true;
}

QString subjectFor(ComposeKind kind, const QString& subject)
{
    QString s = oneLine(subject);
    const QStringList& known = kind == ComposeKind::Forward ? kForwardPrefixes : kReplyPrefixes;
    for (const QString& prefix : known) {
        if (s.startsWith(prefix, Qt::CaseInsensitive))
            return s;
    }
    return (kind == ComposeKind::Forward ? kForward : kReply) + s;
}

QString recipientsFor(ComposeKind kind, const MimeMessage& m, const QString& ownAddress)
{
    if (kind == ComposeKind::Forward)
        return {};
    QList<MimeAddress> named = m.replyTo.isEmpty() ? m.fromAddresses : m.replyTo;
    if (kind == ComposeKind::ReplyAll)
        named << m.to << m.cc;
    const QString own = bareAddress(ownAddress).toLower();
    QStringList out;
    QSet<QString> seen;
    for (const MimeAddress& a : std::as_const(named)) {
        const QString address = a.address.trimmed();
        const QString key = address.toLower();
        if (!usableAddress(address) || seen.contains(key) || (kind == ComposeKind::ReplyAll && key == own))
            continue;
        seen.insert(key);
        out << address;
    }
    return out.join(kAddressSeparator);
}

QString quoted(const QString& text)
{
    QStringList lines = cleanText(text).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return {};
    for (QString& line : lines)
        line = line.startsWith(QLatin1Char('>')) ? QLatin1Char('>') + line
               : line.isEmpty()                  ? QStringLiteral(">")
                                                 : QStringLiteral("> ") + line;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString joined(const QList<MimeAddress>& list)
{
    QStringList out;
    for (const MimeAddress& a : list)
        out << (a.name.isEmpty() ? a.address : QStringLiteral("%1 <%2>").arg(a.name, a.address));
    return out.join(QLatin1String(", "));
}

QString forwardedHeader(const MimeMessage& m)
{
    QString out = kForwardHeading + QLatin1Char('\n');
    const std::pair<const char*, QString> fields[] = {
        {"From", m.from}, {"Date", m.date}, {"Subject", m.subject}, {"To", joined(m.to)}, {"Cc", joined(m.cc)}};
    for (const auto& [label, value] : fields) {
        if (const QString line = oneLine(value); !line.isEmpty())
            out += QLatin1String(label) + QLatin1String(": ") + line + QLatin1Char('\n');
    }
    return out;
}
}  // namespace

MailDraft composeDraft(ComposeKind kind, const MimeMessage& original, const QString& ownAddress)
{
    MailDraft draft;
    draft.to = recipientsFor(kind, original, ownAddress);
    draft.subject = subjectFor(kind, original.subject);
    if (kind == ComposeKind::Forward) {
        draft.text = QLatin1Char('\n') + forwardedHeader(original) + QLatin1Char('\n') + cleanText(original.text);
        draft.attachments = original.attachments;
        return draft;
    }
    const QString sender = oneLine(original.from), date = oneLine(original.date);
    draft.text = QLatin1Char('\n') + (date.isEmpty() ? kWroteUndated.arg(sender) : kWrote.arg(date, sender))
                 + QLatin1Char('\n') + quoted(original.text);

    // Threaded after the original: its references, then its own id.
    QStringList ids;
    QSet<QString> seen;
    for (const QString& id : original.references + QStringList{original.messageId}) {
        if (usableId(id) && !seen.contains(id)) {
            seen.insert(id);
            ids << id;
        }
    }
    if (ids.size() > kMaxReferences)
        ids.remove(1, ids.size() - kMaxReferences);
    if (usableId(original.messageId))
        draft.inReplyTo = QLatin1Char('<') + original.messageId + QLatin1Char('>');
    for (QString& id : ids)
        id = QLatin1Char('<') + id + QLatin1Char('>');
    draft.references = ids.join(QLatin1Char(' '));
    return draft;
}

QString bareAddress(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
    return (open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : text).trimmed();
}
