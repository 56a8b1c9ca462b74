// Arbitrary bytes as a fetched message, answered and passed on: no header
// of the draft may hold a line break (a header line of the sender's making),
// and the answer quotes every line of the text, in order.
#include "mail/MailCompose.h"

#include <cstdlib>

namespace {
bool oneLine(const QString& value)
{
    return !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')) && !value.contains(QChar(0));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MimeMessage m = decodeMime(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (ComposeKind kind : {ComposeKind::Reply, ComposeKind::ReplyAll, ComposeKind::Forward}) {
        const MailDraft d = composeDraft(kind, m, QStringLiteral("Me <me@example.org>"));
        if (!oneLine(d.to) || !oneLine(d.subject) || !oneLine(d.inReplyTo) || !oneLine(d.references))
            std::abort();
        if (d.text.contains(QChar(0)) || d.text.contains(QLatin1Char('\r')))
            std::abort();
        if (kind != ComposeKind::Reply)
            continue;
        QString text = m.text;
        text.remove(QChar(0)).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
        QStringList lines = text.split(u'\n');
        if (lines.last().isEmpty())
            lines.removeLast();
        const QStringList quoted = d.text.split(u'\n').mid(2);  // after the empty line and who wrote
        if (quoted.size() != lines.size() + 1 || !quoted.last().isEmpty())
            std::abort();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString& l = lines[i];
            if (quoted[i] != (l.isEmpty() || l.startsWith(u'>') ? QStringLiteral(">") : QStringLiteral("> ")) + l)
                std::abort();
        }
    }
    return 0;
}
