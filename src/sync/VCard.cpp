#include "sync/VCard.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>
#include <cctype>

#include <algorithm>

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

QList<Line> unfold(const QByteArray& bytes)
{
    QList<Line> lines;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    // Of the logical line being built: whether its name and parameters have
    // ended (a colon was seen), and whether they ask for quoted-printable,
    // whose value of version 2.1 goes on after a line that ends in "=". Each
    // part is looked at once, so a line of many continuations is read once.
    bool headDone = false, quotedPrintable = false, softBreak = false;
    while (pos < bytes.size()) {
        qsizetype stop = pos;
        while (stop < bytes.size() && bytes[stop] != '\n' && bytes[stop] != '\r')
            ++stop;
        qsizetype end = stop;
        if (end < bytes.size())
            end += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
        const QByteArrayView line = QByteArrayView(bytes).sliced(pos, stop - pos);
        qsizetype added = 0;  // where the new part of the logical line starts
        if (softBreak) {
            lines.last().text.chop(1);
            added = lines.last().text.size();
            lines.last().text += line;
            lines.last().end = end;
        } else if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
            added = lines.last().text.size();
            lines.last().text += line.sliced(1);
            lines.last().end = end;
        } else {
            lines.append({line.toByteArray(), pos, end});
            headDone = quotedPrintable = false;
        }
        const QByteArray& text = lines.last().text;
        if (!headDone) {
            const qsizetype colon = text.indexOf(':', added);
            headDone = colon >= 0;
            quotedPrintable = colon > 0 && text.left(colon).toUpper().contains("QUOTED-PRINTABLE");
        }
        softBreak = quotedPrintable && text.endsWith('=') && end < bytes.size();
        pos = end;
    }
    return lines;
}

namespace {

bool isMarker(const QByteArray& line, QByteArrayView what)
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

ReadResult read(const QByteArray& bytes)
{
    ReadResult result;
    Card card;
    bool inCard = false, bad = false, strayRun = false;
    qsizetype cardBegin = 0;
    for (const Line& line : unfold(bytes)) {
        if (!inCard) {
            if (line.text.trimmed().isEmpty())
                continue;
            if (isMarker(line.text, "BEGIN:VCARD")) {
                inCard = true;
                bad = false;
                strayRun = false;
                card = {};
                cardBegin = line.begin;
            } else if (!strayRun) {
                // Text between cards that is not a card: counted once per run.
                ++result.malformed;
                strayRun = true;
            }
            continue;
        }
        if (isMarker(line.text, "END:VCARD")) {
            inCard = false;
            if (bad || (card.version != u"2.1" && card.version != u"3.0" && card.version != u"4.0")) {
                ++result.malformed;
                continue;
            }
            card.raw = bytes.mid(cardBegin, line.end - cardBegin);
            card.endLine = line.begin - cardBegin;
            result.cards.append(std::exchange(card, {}));
            continue;
        }
        if (isMarker(line.text, "BEGIN:VCARD")) {
            // The card before never ended: it is lost, this one starts afresh.
            ++result.malformed;
            bad = false;
            card = {};
            cardBegin = line.begin;
            continue;
        }
        if (line.text.isEmpty())
            continue;
        Property prop;
        if (!parseLine(line.text, prop)) {
            bad = true;
            continue;
        }
        prop.begin = line.begin - cardBegin;
        prop.end = line.end - cardBegin;
        if (prop.name == u"VERSION")
            card.version = prop.value.trimmed();
        else
            card.props.append(std::move(prop));
    }
    if (inCard)
        ++result.malformed;
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
