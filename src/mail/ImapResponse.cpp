#include "mail/ImapResponse.h"

#include <QTemporaryFile>

#include <cstring>
#include <utility>

namespace {

// Reads values out of one complete response; `pos` moves past what was read.
class Tokens {
public:
    explicit Tokens(QByteArrayView raw)
        : m_in(raw)
    {
    }

    bool atEnd() const { return m_pos >= m_in.size(); }
    char peek() const { return atEnd() ? '\0' : m_in[m_pos]; }
    qsizetype pos() const { return m_pos; }
    QByteArrayView rest() const { return m_in.sliced(m_pos); }
    void skip(qsizetype n) { m_pos += n; }
    void skipSpaces()
    {
        while (peek() == ' ')
            ++m_pos;
    }

    // Up to the next blank (or `stop`), as it stands.
    QByteArrayView word(char stop = ' ')
    {
        const qsizetype start = m_pos;
        while (!atEnd() && m_in[m_pos] != ' ' && m_in[m_pos] != stop)
            ++m_pos;
        return m_in.sliced(start, m_pos - start);
    }

    // One value; false with `m_why` set when what stands there is none.
    bool value(ImapValue& out, bool inCode, int depth = 0)
    {
        if (atEnd())
            return fail("a value was expected");
        const char c = m_in[m_pos];
        if (c == '(')
            return list(out, inCode, depth);
        if (c == '"')
            return quoted(out);
        if (c == '{')
            return literal(out);
        return atom(out, inCode);
    }

    bool values(std::vector<ImapValue>& out, bool inCode)
    {
        skipSpaces();
        while (!atEnd() && !(inCode && peek() == ']')) {
            ImapValue v;
            if (!value(v, inCode))
                return false;
            out.push_back(std::move(v));
            skipSpaces();
        }
        return true;
    }

    QByteArray why() const { return m_why; }

private:
    bool fail(const char* what)
    {
        m_why = QByteArray(what) + " at octet " + QByteArray::number(m_pos);
        return false;
    }

    bool list(ImapValue& out, bool inCode, int depth)
    {
        // Deep enough for any real response; deeper is an attack on the stack.
        if (depth > 100)
            return fail("lists nested too deep");
        out.kind = ImapValue::Kind::List;
        ++m_pos;
        for (;;) {
            skipSpaces();
            if (atEnd())
                return fail("a list does not end");
            if (m_in[m_pos] == ')') {
                ++m_pos;
                return true;
            }
            ImapValue item;
            if (!value(item, inCode, depth + 1))
                return false;
            out.items.push_back(std::move(item));
        }
    }

    bool quoted(ImapValue& out)
    {
        out.kind = ImapValue::Kind::String;
        for (++m_pos; m_pos < m_in.size(); ++m_pos) {
            char c = m_in[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\r' || c == '\n')
                break;
            if (c == '\\' && m_pos + 1 < m_in.size())
                c = m_in[++m_pos];
            out.text.append(c);
        }
        return fail("a quoted string does not end");
    }

    bool literal(ImapValue& out)
    {
        out.kind = ImapValue::Kind::String;
        qsizetype n = 0;
        qsizetype digits = 0;
        for (++m_pos; m_pos < m_in.size() && m_in[m_pos] >= '0' && m_in[m_pos] <= '9'; ++m_pos, ++digits) {
            n = n * 10 + (m_in[m_pos] - '0');
            if (n > m_in.size())
                return fail("a literal is longer than the response");
        }
        if (peek() == '+')
            ++m_pos;
        if (digits == 0 || peek() != '}')
            return fail("a literal's size is not a number");
        ++m_pos;
        if (rest().startsWith("\r\n"))
            m_pos += 2;
        else if (peek() == '\n')
            ++m_pos;
        else
            return fail("a literal's size is not at the end of a line");
        if (n > m_in.size() - m_pos)
            return fail("a literal is longer than the response");
        out.text = m_in.sliced(m_pos, n).toByteArray();
        m_pos += n;
        return true;
    }

    bool atom(ImapValue& out, bool inCode)
    {
        const qsizetype start = m_pos;
        int brackets = 0;  // "BODY[HEADER.FIELDS (FROM)]" is one name, blanks and all
        for (; m_pos < m_in.size(); ++m_pos) {
            const char c = m_in[m_pos];
            if (c == '\r' || c == '\n' || c == '\0')
                break;
            if (c == '[') {
                ++brackets;
                continue;
            }
            if (brackets > 0) {
                brackets -= c == ']';
                continue;
            }
            if (c == ' ' || c == '(' || c == ')' || c == '"' || (inCode && c == ']'))
                break;
        }
        if (m_pos == start)
            return fail("a value was expected");
        out.text = m_in.sliced(start, m_pos - start).toByteArray();
        out.kind = out.text.compare("NIL", Qt::CaseInsensitive) == 0 ? ImapValue::Kind::Nil : ImapValue::Kind::Atom;
        if (out.kind == ImapValue::Kind::Nil)
            out.text.clear();
        return true;
    }

    QByteArrayView m_in;
    qsizetype m_pos = 0;
    QByteArray m_why;
};

// "{1234}\r\n" at the end of a line: a literal of 1234 octets follows; -1 when none.
qsizetype announcedLiteral(const QByteArray& buffer)
{
    QByteArrayView line(buffer);
    line.chop(line.endsWith("\r\n") ? 2 : 1);
    if (line.endsWith('+'))
        line.chop(1);
    if (!line.endsWith('}'))
        return -1;
    line.chop(1);
    qsizetype digits = 0;
    while (digits < line.size() && line[line.size() - 1 - digits] >= '0' && line[line.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 18 || digits == line.size() || line[line.size() - 1 - digits] != '{')
        return -1;
    return line.last(digits).toLongLong();
}

bool isStatusName(QByteArrayView name)
{
    return name == "OK" || name == "NO" || name == "BAD" || name == "BYE" || name == "PREAUTH";
}

bool isModifiedBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == ',';
}

}  // namespace

QByteArray ImapValue::name() const
{
    return kind == Kind::Atom ? text.toUpper() : QByteArray();
}

std::optional<quint32> ImapValue::number() const
{
    if (kind != Kind::Atom || text.isEmpty() || text.size() > 10)
        return std::nullopt;
    quint64 n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + quint64(c - '0');
    }
    if (n > 0xFFFFFFFFu)
        return std::nullopt;
    return quint32(n);
}

bool ImapResponse::isStatus() const
{
    return isStatusName(name);
}

ImapReader::~ImapReader()
{
    reset();
}

void ImapReader::reset()
{
    m_spill.reset();
    for (const QString& file : std::exchange(m_spilled, {}))
        QFile::remove(file);
    m_buffer.clear();
    m_scanned = 0;
    m_literal = 0;
    m_error.clear();
}

std::vector<ImapResponse> ImapReader::feed(QByteArrayView bytes)
{
    std::vector<ImapResponse> out;
    qsizetype pos = 0;
    while (m_error.isEmpty() && pos < bytes.size()) {
        if (m_literal > 0) {
            const qsizetype take = std::min(m_literal, bytes.size() - pos);
            if (!m_spill)
                m_buffer.append(bytes.sliced(pos, take));
            else if (m_spill->write(bytes.data() + pos, take) != take)
                m_error = "a message could not be written to " + QFile::encodeName(m_spill->fileName()) + ": "
                          + m_spill->errorString().toUtf8();
            m_literal -= take;
            pos += take;
            if (m_literal == 0)
                m_spill.reset();
            continue;
        }
        const void* nl = std::memchr(bytes.data() + pos, '\n', size_t(bytes.size() - pos));
        const qsizetype end = nl ? static_cast<const char*>(nl) - bytes.data() + 1 : bytes.size();
        if (m_buffer.size() + (end - pos) > m_limit) {
            m_error = "a response is longer than the " + QByteArray::number(m_limit) + " octets one may hold";
            break;
        }
        m_buffer.append(bytes.sliced(pos, end - pos));
        pos = end;
        if (!nl)
            break;
        const qsizetype literal = announcedLiteral(m_buffer);
        if (literal >= 0) {
            if (literal > m_limit - m_buffer.size()) {
                m_error = "a response announces " + QByteArray::number(literal) + " octets, more than the "
                          + QByteArray::number(m_limit) + " one may hold";
                break;
            }
            m_literal = literal;
            if (literal > kHeldLiteral && !m_spillFolder.isEmpty())
                spillBegin();
            else
                m_buffer.reserve(m_buffer.size() + literal + 2);
            continue;
        }
        const QByteArray raw = std::exchange(m_buffer, QByteArray());
        QByteArray why;
        std::optional<ImapResponse> response = parse(raw, &why);
        if (!response) {
            m_error = why + " in \"" + raw.left(200).trimmed() + '"';
            break;
        }
        response->spilled = std::exchange(m_spilled, {});
        out.push_back(std::move(*response));
    }
    return out;
}

// The literal announced at the end of the buffer goes to a file: the
// response holds an empty one in its place.
void ImapReader::spillBegin()
{
    m_buffer.truncate(m_buffer.lastIndexOf('{'));
    m_buffer.append("{0}\r\n");
    auto file =
        std::make_unique<QTemporaryFile>(m_spillFolder + QLatin1Char('/') + m_spillPrefix + QStringLiteral("XXXXXX"));
    file->setAutoRemove(false);
    if (!file->open()) {
        m_error = "a message could not be written to " + QFile::encodeName(m_spillFolder) + ": "
                  + file->errorString().toUtf8();
        return;
    }
    m_spilled << file->fileName();
    m_spill = std::move(file);
}

std::optional<ImapResponse> ImapReader::parse(QByteArrayView raw, QByteArray* why)
{
    QByteArray ignored;
    why = why ? why : &ignored;
    if (raw.endsWith("\r\n"))
        raw.chop(2);
    else if (raw.endsWith('\n'))
        raw.chop(1);
    ImapResponse r;
    Tokens t(raw);
    if (t.peek() == '+') {
        r.kind = ImapResponse::Kind::Continuation;
        t.skip(1);
        t.skipSpaces();
        r.text = t.rest().toByteArray();
        return r;
    }
    const QByteArrayView tag = t.word();
    if (tag.isEmpty() || t.peek() != ' ') {
        *why = "no tag";
        return std::nullopt;
    }
    if (tag == "*") {
        r.kind = ImapResponse::Kind::Untagged;
    } else {
        r.kind = ImapResponse::Kind::Tagged;
        r.tag = tag.toByteArray();
    }
    t.skipSpaces();
    QByteArrayView name = t.word();
    if (!name.isEmpty() && name.front() >= '0' && name.front() <= '9') {
        r.number = ImapValue{ImapValue::Kind::Atom, name.toByteArray(), {}}.number();
        if (!r.number) {
            *why = "a message number out of range";
            return std::nullopt;
        }
        t.skipSpaces();
        name = t.word();
    }
    r.name = name.toByteArray().toUpper();
    if (r.name.isEmpty()) {
        *why = "no response name";
        return std::nullopt;
    }
    if (r.kind == ImapResponse::Kind::Tagged && !r.isStatus()) {
        *why = "a tagged response that is not OK, NO or BAD";
        return std::nullopt;
    }
    t.skipSpaces();
    if (!r.isStatus()) {
        if (!t.values(r.data, false)) {
            *why = t.why();
            return std::nullopt;
        }
        return r;
    }
    if (t.peek() == '[') {
        t.skip(1);
        r.code = t.word(']').toByteArray().toUpper();
        const qsizetype close = t.rest().indexOf(']');
        if (close < 0) {
            *why = "a response code does not end";
            return std::nullopt;
        }
        // A code of a kind not known here may hold any text: its values are
        // read where they can be, and are left out where they cannot.
        Tokens inside(t.rest().first(close));
        if (!inside.values(r.codeData, true) || !inside.atEnd())
            r.codeData.clear();
        t.skip(close + 1);
        t.skipSpaces();
    }
    r.text = t.rest().toByteArray();
    return r;
}

std::optional<QByteArray> imapQuoted(QByteArrayView text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\0' || (static_cast<unsigned char>(c) & 0x80))
            return std::nullopt;
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    return out + '"';
}

// Modified UTF-7: printable ASCII stands for itself but "&", which opens a
// run of UTF-16 in base64 (with "," for "/", no padding) closed by "-".
QString imapFolderName(QByteArrayView wire)
{
    QByteArray out;          // UTF-8
    qsizetype decoded = -1;  // where the last run decoded ended
    qsizetype i = 0;
    while (i < wire.size()) {
        // A run is the longest stretch of base64 letters after the "&": a
        // stretch that is not closed by "-" is shown as it came, and holds
        // no "&" to start the scan again, so each byte is looked at twice
        // at most, whatever the name.
        if (wire[i] != '&') {
            out += wire[i++];
            continue;
        }
        qsizetype end = i + 1;
        while (end < wire.size() && isModifiedBase64(wire[end]))
            ++end;
        if (end == wire.size() || wire[end] != '-') {
            out += wire[i++];
            continue;
        }
        const QByteArrayView run = wire.sliced(i + 1, end - i - 1);
        if (run.isEmpty()) {
            out += '&';
            i = end + 1;
            continue;
        }
        const auto utf16 = QByteArray::fromBase64Encoding(run.toByteArray().replace(',', '/'),
                                                          QByteArray::AbortOnBase64DecodingErrors);
        QString text;
        if (utf16 && utf16.decoded.size() % 2 == 0) {
            text.resize(utf16.decoded.size() / 2);
            for (qsizetype k = 0; k < text.size(); ++k)
                text[k] = QChar(char16_t((uchar(utf16.decoded[2 * k]) << 8) | uchar(utf16.decoded[2 * k + 1])));
        }
        // Only the one spelling an encoder makes counts: whole UTF-16 units
        // in base64 without bits left over or padding, no character that
        // stands for itself (a run spelling "INBOX" would show a second
        // INBOX), no half of a surrogate pair, no run right after another.
        // Anything else is not this encoding, and is shown as it came.
        if (text.isEmpty() || i == decoded || imapFolderWire(text) != wire.sliced(i, end + 1 - i)
            || !text.isValidUtf16()) {
            out += wire[i++];
            continue;
        }
        out += text.toUtf8();
        i = end + 1;
        decoded = i;
    }
    return QString::fromUtf8(out);
}

QByteArray imapFolderWire(const QString& name)
{
    QByteArray out;
    QByteArray run;  // UTF-16BE waiting to go out in base64
    const auto flush = [&] {
        if (run.isEmpty())
            return;
        out += '&' + run.toBase64(QByteArray::OmitTrailingEquals).replace('/', ',') + '-';
        run.clear();
    };
    for (const QChar c : name) {
        if (c.unicode() >= 0x20 && c.unicode() <= 0x7e) {
            flush();
            out += c == u'&' ? QByteArray("&-") : QByteArray(1, char(c.unicode()));
        } else {
            run += char(c.unicode() >> 8);
            run += char(c.unicode() & 0xff);
        }
    }
    flush();
    return out;
}
