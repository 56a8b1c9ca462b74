#include "mail/MailReply.h"

#include <algorithm>
#include <utility>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView chopLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

}  // namespace

SmtpReplyLine parseSmtpReplyLine(QByteArrayView line)
{
    SmtpReplyLine out;
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2])) {
        out.text = chopLineEnd(line);
        return out;
    }
    out.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    // Only a hyphen after the code continues: "250" alone, line end and all, is final.
    out.final = !(line.size() >= 4 && line[3] == '-');
    out.text = chopLineEnd(line.sliced(std::min<qsizetype>(line.size(), 4)));
    return out;
}

std::optional<SmtpReply> SmtpReplyReader::take()
{
    for (;;) {
        const qsizetype nl = m_in.indexOf('\n', m_scan);
        if (nl < 0)
            return std::nullopt;
        const SmtpReplyLine line = parseSmtpReplyLine(QByteArrayView(m_in).sliced(m_scan, nl + 1 - m_scan));
        m_reply.lines << line.text.toByteArray();
        m_scan = nl + 1;
        if (line.final) {
            SmtpReply reply = std::exchange(m_reply, SmtpReply());
            reply.code = line.code;
            reply.raw = m_in.left(m_scan);
            m_in.remove(0, m_scan);
            m_scan = 0;
            return reply;
        }
    }
}

QByteArray SmtpReplyReader::takeRest()
{
    m_scan = 0;
    m_reply = SmtpReply();
    return std::exchange(m_in, QByteArray());
}

Pop3Status parsePop3Status(QByteArrayView line)
{
    line = chopLineEnd(line);
    Pop3Status out;
    out.ok = line.startsWith('+');
    const qsizetype blank = line.indexOf(' ');
    out.text = blank < 0 ? QByteArrayView() : line.sliced(blank + 1);
    return out;
}
