#include "sync/VCard.h"

#include <QStringDecoder>

#include <algorithm>

namespace VCard {

namespace {

bool isNameChar(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
}

bool validName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name)
        if (!isNameChar(c))
            return false;
    return true;
}

// One content line: name, parameters, ':' and the value. False when the
// line has no ':' outside quotes or a name that is not a name.
bool parseLine(const QString& line, Property& prop)
{
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && line[i] != u';' && line[i] != u':')
        ++i;
    if (i == n)
        return false;
    QString name = line.left(i);
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0) {
        if (!validName(name.left(dot).remove(u'.')))
            return false;
        name = name.mid(dot + 1);
    }
    if (!validName(name))
        return false;
    prop.name = name.toUpper();
    prop.params.clear();
    while (line[i] == u';') {
        const qsizetype start = ++i;
        while (i < n && line[i] != u'=' && line[i] != u';' && line[i] != u':')
            ++i;
        if (i == n)
            return false;
        const QString pname = line.mid(start, i - start).toUpper();
        if (!validName(pname))
            return false;
        if (line[i] != u'=') {
            prop.params.append({QStringLiteral("TYPE"), pname.toLower()});
            continue;
        }
        ++i;
        QString pvalue;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != u';' && line[i] != u':'))) {
            if (line[i] == u'"')
                quoted = !quoted;
            else
                pvalue += line[i];
            ++i;
        }
        if (i == n)
            return false;
        prop.params.append({pname, pvalue});
    }
    prop.value = line.mid(i + 1);
    return true;
}

// Physical lines with their line ends removed and folded lines joined. The
// join works on bytes, so a writer that split a UTF-8 sequence across a fold
// is read correctly.
QList<QByteArray> unfold(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > pos && bytes[stop - 1] == '\r')
            --stop;
        const QByteArray line = bytes.mid(pos, stop - pos);
        if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            lines.last() += line.mid(1);
        else
            lines.append(line);
        pos = end + 1;
    }
    return lines;
}

bool isMarker(const QString& line, QLatin1StringView what)
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
    QString version;
    for (const QByteArray& raw : unfold(bytes)) {
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = decode(raw);
        const bool undecodable = decode.hasError();
        if (!inCard) {
            if (line.trimmed().isEmpty())
                continue;
            if (isMarker(line, QLatin1StringView("BEGIN:VCARD"))) {
                inCard = true;
                bad = false;
                strayRun = false;
                card = {};
                version.clear();
            } else if (!strayRun) {
                // Text between cards that is not a card: counted once per run.
                ++result.malformed;
                strayRun = true;
            }
            continue;
        }
        if (isMarker(line, QLatin1StringView("END:VCARD"))) {
            inCard = false;
            if (bad || (version != u"3.0" && version != u"4.0"))
                ++result.malformed;
            else
                result.cards.append(std::exchange(card, {}));
            continue;
        }
        if (isMarker(line, QLatin1StringView("BEGIN:VCARD"))) {
            // The card before never ended: it is lost, this one starts afresh.
            ++result.malformed;
            bad = false;
            card = {};
            version.clear();
            continue;
        }
        if (line.isEmpty())
            continue;
        Property prop;
        if (undecodable || !parseLine(line, prop)) {
            bad = true;
            continue;
        }
        if (prop.name == u"VERSION")
            version = prop.value.trimmed();
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
