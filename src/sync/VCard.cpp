#include "sync/VCard.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>
#include <cctype>
#include <utility>

namespace VCard {

namespace {

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool validName(QByteArrayView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), isNameChar);
}

bool isUtf8(QByteArrayView bytes)
{
    return QUtf8StringView(bytes).isValidUtf8();
}

// Version 2.1 writes the encoding without its name (";QUOTED-PRINTABLE").
bool isEncodingName(QByteArrayView word)
{
    for (const char* e : {"QUOTED-PRINTABLE", "BASE64", "8BIT", "7BIT"})
        if (word.compare(QByteArrayView(e), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QByteArray fromQuotedPrintable(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const int hi =
            i + 2 < in.size() ? QByteArrayView("0123456789ABCDEF").indexOf(char(std::toupper(in[i + 1]))) : -1;
        const int lo = hi >= 0 ? QByteArrayView("0123456789ABCDEF").indexOf(char(std::toupper(in[i + 2]))) : -1;
        if (in[i] == '=' && lo >= 0) {
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

// A value's bytes as text: UTF-8 unless the line names another character
// set. Null when the bytes are not text in it.
QString decodeValue(const QByteArray& bytes, const QString& charset)
{
    if (charset.isEmpty() || charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        return isUtf8(bytes) ? QString::fromUtf8(bytes) : QString();
    QStringDecoder decode(charset.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    if (!decode.isValid())
        return {};
    QString text = decode(bytes);
    return decode.hasError() ? QString() : text;
}

}  // namespace

bool parseLine(const QByteArray& line, Property& prop)
{
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && line[i] != ';' && line[i] != ':')
        ++i;
    if (i == n)
        return false;
    QByteArrayView name = QByteArrayView(line).first(i);
    prop.group.clear();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) {
        if (!validName(name.first(dot).toByteArray().replace('.', "")))
            return false;
        prop.group = QString::fromLatin1(name.first(dot));
        name = name.sliced(dot + 1);
    }
    if (!validName(name))
        return false;
    prop.name = QString::fromLatin1(name).toUpper();
    prop.params.clear();
    while (line[i] == ';') {
        const qsizetype start = ++i;
        while (i < n && line[i] != '=' && line[i] != ';' && line[i] != ':')
            ++i;
        if (i == n)
            return false;
        const QByteArrayView pname = QByteArrayView(line).sliced(start, i - start);
        if (!validName(pname))
            return false;
        if (line[i] != '=') {
            if (isEncodingName(pname))
                prop.params.append({QStringLiteral("ENCODING"), QString::fromLatin1(pname).toUpper()});
            else
                prop.params.append({QStringLiteral("TYPE"), QString::fromLatin1(pname).toLower()});
            continue;
        }
        ++i;
        QByteArray pvalue;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != ';' && line[i] != ':'))) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                pvalue += line[i];
            ++i;
        }
        if (i == n || !isUtf8(pvalue))
            return false;
        prop.params.append({QString::fromLatin1(pname).toUpper(), QString::fromUtf8(pvalue)});
    }
    prop.head = line.left(i);
    QByteArray value = line.mid(i + 1);
    if (prop.param(QStringLiteral("ENCODING")).compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0)
        value = fromQuotedPrintable(value);
    prop.value = decodeValue(value, prop.param(QStringLiteral("CHARSET")));
    return !prop.value.isNull() || value.isEmpty();
}

void Unfolder::append(QByteArrayView bytes)
{
    dropRead();
    m_buffer.append(bytes);
}

void Unfolder::append(const QByteArray& bytes)
{
    dropRead();
    if (m_buffer.isEmpty())
        m_buffer = bytes;
    else
        m_buffer.append(bytes);
}

// What is read and not held goes first, so the buffer stays about one piece long.
void Unfolder::dropRead()
{
    qsizetype keep = m_started ? std::min(m_line.begin, m_base + m_pos) : m_base + m_pos;
    if (m_hold >= 0)
        keep = std::min(keep, m_hold);
    if (const qsizetype drop = std::max<qsizetype>(0, keep - m_base); drop > 0) {
        m_buffer.remove(0, drop);
        m_base += drop;
        m_pos -= drop;
        m_scan = std::max<qsizetype>(0, m_scan - drop);
    }
}

QByteArrayView Unfolder::bytes(qsizetype begin, qsizetype end) const
{
    return QByteArrayView(m_buffer).sliced(begin - m_base, end - begin);
}

bool Unfolder::next(Line& out, bool atEnd)
{
    const qsizetype size = m_buffer.size();
    // Looked for until the first line is whole: a line shorter than the mark is none.
    if (m_base == 0 && m_pos == 0 && m_buffer.startsWith("\xEF\xBB\xBF"))
        m_pos = 3;
    // Of the logical line being built: whether its name and parameters have
    // ended (a colon was seen), and whether they ask for quoted-printable,
    // whose value of version 2.1 goes on after a line that ends in "=". Each
    // part is looked at once, so a line of many continuations is read once.
    // A line is handed out when the next one shows that it ended.
    while (m_pos < size) {
        const char* const data = m_buffer.constData();
        qsizetype stop = std::max(m_pos, m_scan);  // a line that came in pieces is searched once
        while (stop < size && data[stop] != '\n' && data[stop] != '\r')
            ++stop;
        qsizetype end = stop;
        if (end == size || (data[end] == '\r' && end + 1 == size)) {
            if (!atEnd) {
                m_scan = stop;
                return false;  // the line, or its CR LF, may go on in the next piece
            }
        }
        if (end < size)
            end += data[end] == '\r' && end + 1 < size && data[end + 1] == '\n' ? 2 : 1;
        const QByteArrayView line(data + m_pos, stop - m_pos);
        qsizetype added = 0;  // where the new part of the logical line starts
        bool ended = false;
        if (m_softBreak) {
            m_line.text.chop(1);
            added = m_line.text.size();
            m_line.text += line;
            m_line.end = m_base + end;
        } else if (m_started && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
            added = m_line.text.size();
            m_line.text += line.sliced(1);
            m_line.end = m_base + end;
        } else {
            if (m_started) {
                // Handed out without a copy; the caller's last line lends its room to the next.
                std::swap(out, m_line);
                ended = true;
            }
            m_line.text.truncate(0);
            m_line.text += line;
            m_line.begin = m_base + m_pos;
            m_line.end = m_base + end;
            m_started = true;
            m_headDone = m_quotedPrintable = false;
        }
        const QByteArray& text = m_line.text;
        if (!m_headDone) {
            const qsizetype colon = text.indexOf(':', added);
            m_headDone = colon >= 0;
            m_quotedPrintable = colon > 0 && text.left(colon).toUpper().contains("QUOTED-PRINTABLE");
        }
        m_softBreak = m_quotedPrintable && text.endsWith('=');
        m_pos = end;
        if (ended)
            return true;
    }
    if (!atEnd || !m_started)
        return false;
    std::swap(out, m_line);
    m_started = false;
    return true;
}

QList<Line> unfold(const QByteArray& bytes)
{
    Unfolder unfolder;
    unfolder.append(bytes);
    QList<Line> lines;
    Line line;
    while (unfolder.next(line, true))
        lines.append(line);
    return lines;
}

namespace {

bool isMarker(QByteArrayView line, QByteArrayView what)
{
    return line.trimmed().compare(what, Qt::CaseInsensitive) == 0;
}

}  // namespace

QStringList Property::types() const
{
    QStringList out;
    for (const auto& [name, value] : params)
        if (name == u"TYPE")
            for (const QString& t : value.split(u','))
                out << t.trimmed().toLower();
    return out;
}

QString Property::param(const QString& name) const
{
    for (const auto& [pname, value] : params)
        if (pname == name)
            return value;
    return {};
}

const Property* Card::find(const QString& name) const
{
    for (const Property& p : props)
        if (p.name == name)
            return &p;
    return nullptr;
}

bool Reader::next(Card& out, bool atEnd)
{
    while (m_lines.next(m_line, atEnd)) {
        const Line& line = m_line;
        const QByteArrayView text = line.text;
        if (!m_inCard) {
            if (text.trimmed().isEmpty())
                continue;
            if (isMarker(text, "BEGIN:VCARD")) {
                m_inCard = true;
                m_bad = false;
                m_strayRun = false;
                m_card = {};
                m_cardBegin = line.begin;
                m_lines.hold(m_cardBegin);
            } else if (!m_strayRun) {
                // Text between cards that is not a card: counted once per run.
                ++m_malformed;
                m_strayRun = true;
            }
            continue;
        }
        if (isMarker(text, "END:VCARD")) {
            m_inCard = false;
            m_lines.hold(-1);
            if (m_bad || (m_card.version != u"2.1" && m_card.version != u"3.0" && m_card.version != u"4.0")) {
                ++m_malformed;
                continue;
            }
            m_card.raw = m_lines.bytes(m_cardBegin, line.end).toByteArray();
            m_card.endLine = line.begin - m_cardBegin;
            out = std::exchange(m_card, {});
            return true;
        }
        if (isMarker(text, "BEGIN:VCARD")) {
            // The card before never ended: it is lost, this one starts afresh.
            ++m_malformed;
            m_bad = false;
            m_card = {};
            m_cardBegin = line.begin;
            m_lines.hold(m_cardBegin);
            continue;
        }
        if (text.isEmpty())
            continue;
        Property prop;
        if (!parseLine(line.text, prop)) {
            m_bad = true;
            continue;
        }
        prop.begin = line.begin - m_cardBegin;
        prop.end = line.end - m_cardBegin;
        if (prop.name == u"VERSION")
            m_card.version = prop.value.trimmed();
        else
            m_card.props.append(std::move(prop));
    }
    if (atEnd && m_inCard) {
        ++m_malformed;
        m_inCard = false;
    }
    return false;
}

ReadResult read(const QByteArray& bytes)
{
    Reader reader;
    reader.append(bytes);
    ReadResult result;
    Card card;
    while (reader.next(card, true))
        result.cards.append(std::move(card));
    result.malformed = reader.malformed();
    return result;
}

void appendEscaped(QByteArray& line, QByteArrayView text)
{
    // Byte by byte: no octet of a UTF-8 sequence of several is ASCII.
    const qsizetype at = line.size();
    line.resize(at + 2 * text.size());
    char* w = line.data() + at;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char escaped = c == '\\' ? '\\' : c == ',' ? ',' : c == ';' ? ';' : c == '\r' || c == '\n' ? 'n' : 0;
        if (!escaped) {
            *w++ = c;
            continue;
        }
        *w++ = '\\';
        *w++ = escaped;
        // CR LF and a lone CR are both one line break.
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    line.truncate(w - line.constData());
}

QString unescapeText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
    }
    return out;
}

QStringList components(const QString& value)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\')
            ++i;
        else if (value[i] == u';') {
            parts << unescapeText(value.mid(start, i - start));
            start = i + 1;
        }
    }
    parts << unescapeText(value.mid(start));
    return parts;
}

void appendFolded(QByteArray& out, QByteArrayView line)
{
    // Written in place: a fold comes at least every 71 octets.
    const qsizetype at = out.size();
    out.resize(at + line.size() + (line.size() / 71 + 1) * 3 + 2);
    char* w = out.data() + at;
    const char* const bytes = line.data();
    qsizetype pos = 0;
    qsizetype room = 75;  // continuation lines give one octet to the leading blank
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        w = std::copy(bytes + pos, bytes + cut, w);
        w = std::copy_n("\r\n ", 3, w);
        pos = cut;
        room = 74;
    }
    w = std::copy(bytes + pos, bytes + line.size(), w);
    w = std::copy_n("\r\n", 2, w);
    out.truncate(w - out.constData());
}

}  // namespace VCard
