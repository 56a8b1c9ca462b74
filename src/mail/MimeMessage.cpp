#include "mail/MimeMessage.h"

#include <gmime/gmime.h>

#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

template <typename T>
struct GUnref {
    void operator()(T* p) const { g_object_unref(p); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

void initOnce()
{
    static const bool done = [] {
        g_mime_init();
        return true;
    }();
    (void)done;
}

// Undeclared 8-bit header text: UTF-8 when it is, else what Windows writes.
GMimeParserOptions* parserOptions()
{
    static GMimeParserOptions* const options = [] {
        GMimeParserOptions* o = g_mime_parser_options_new();
        const char* charsets[] = {"utf-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(o, charsets);
        g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
        return o;
    }();
    return options;
}

// Windows programs label their own code page ISO-8859-1; its C1 range is
// never text, so those characters are read as Windows-1252, as every mail
// reader does.
QString fixC1(QString s)
{
    static const char16_t kCp1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    for (QChar& c : s) {
        if (c.unicode() >= 0x80 && c.unicode() < 0xA0)
            c = QChar(kCp1252[c.unicode() - 0x80]);
    }
    return s;
}

QString fromCharset(const QByteArray& bytes, QByteArray charset)
{
    charset = charset.trimmed().toLower();
    if (charset.isEmpty() || charset == "utf-8" || charset == "utf8") {
        // Unlabelled or mislabelled 8-bit text: UTF-8 when it is, else Windows-1252.
        QString s = QString::fromUtf8(bytes);
        if (!s.contains(QChar::ReplacementCharacter) || charset.startsWith("utf"))
            return s;
        charset = "windows-1252";
    }
    if (charset == "iso-8859-1" || charset == "us-ascii" || charset == "latin1" || charset == "ascii")
        charset = "windows-1252";
    gsize written = 0;
    char* converted =
        g_convert(bytes.constData(), bytes.size(), "UTF-8", charset.constData(), nullptr, &written, nullptr);
    if (!converted)  // unknown charset or invalid bytes: one character per byte, none lost
        return fixC1(QString::fromLatin1(bytes));
    QString s = QString::fromUtf8(converted, qsizetype(written));
    g_free(converted);
    return s;
}

QString utf8(const char* s)
{
    return fixC1(QString::fromUtf8(s ? s : ""));
}

QByteArray partBytes(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return QByteArray(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
}

QString entity(const QString& name)
{
    // The named characters of HTML 4 from U+00A0 on, in order, and the few others mail uses.
    static const QStringList kLatin1 =
        QStringLiteral(
            "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 sup3 "
            "acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc Atilde "
            "Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc "
            "Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml "
            "aring aelig ccedil egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc "
            "otilde ouml divide oslash ugrave uacute ucirc uuml yacute thorn yuml")
            .split(QLatin1Char(' '));
    static const QHash<QString, char32_t> kOther = {
        {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
        {"euro", 0x20AC},  {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},
        {"rsquo", 0x2019}, {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"bull", 0x2022},  {"trade", 0x2122}};
    char32_t code = 0;
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                         : name.mid(1).toUInt(&ok);
        if (!ok || code == 0 || code >= 0x110000)
            return {};
    } else if (const qsizetype i = kLatin1.indexOf(name); i >= 0) {
        code = char32_t(0xA0 + i);
    } else {
        code = kOther.value(name);
        if (!code)
            return QLatin1Char('&') + name + QLatin1Char(';');
    }
    return QString::fromUcs4(&code, 1);
}

// The words of an HTML part: tags dropped, blocks on lines of their own.
// Nothing it names is ever fetched.
QString htmlToText(const QString& html)
{
    static const QRegularExpression kHidden(QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>|<!--.*?-->"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression kBreak(QStringLiteral("<(br|/p|/div|/tr|/li|/h[1-6]|/table)\\b[^>]*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression kTag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression kSpace(QStringLiteral("[ \\t\\r\\n]+"));
    static const QRegularExpression kEntity(QStringLiteral("&(#?[A-Za-z0-9]{1,8});"));
    QString s = html;
    s.remove(kHidden);
    s.replace(kSpace, QStringLiteral(" "));
    s.replace(kBreak, QStringLiteral("\n"));
    s.remove(kTag);
    QString out;
    qsizetype from = 0;
    for (auto it = kEntity.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(s).mid(from, m.capturedStart() - from);
        out += entity(m.captured(1));
        from = m.capturedEnd();
    }
    out += QStringView(s).mid(from);
    QStringList lines = out.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n')).trimmed() + QLatin1Char('\n');
}

// Uuencoded files in a plain text (how this program sends attachments) are
// taken out of the text and offered as attachments.
QString takeUuencoded(const QString& text, QList<MimeAttachment>& attachments)
{
    static const QRegularExpression kBegin(QStringLiteral("^begin [0-7]{3,4} (.+)$"));
    // Most texts have no "begin" line at all, and come back as they are without being cut into lines.
    if (!text.startsWith(QLatin1String("begin ")) && !text.contains(QLatin1String("\nbegin ")))
        return text;
    const QStringList lines = text.split(QLatin1Char('\n'));
    // The first "end" line at or after each line, found in one pass from the
    // bottom, so a text of many "begin" lines without an end is read once.
    std::vector<qsizetype> nextEnd(size_t(lines.size()) + 1, lines.size());
    for (qsizetype k = lines.size() - 1; k >= 0; --k)
        nextEnd[size_t(k)] = lines[k].trimmed() == QLatin1String("end") ? k : nextEnd[size_t(k) + 1];
    QStringList kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch begin = kBegin.match(lines[i]);
        const qsizetype end = nextEnd[size_t(i) + 1];
        if (!begin.hasMatch() || end == lines.size()) {
            kept << lines[i];
            continue;
        }
        QByteArray block;
        for (qsizetype k = i + 1; k < end; ++k)
            block += lines[k].toLatin1() + '\n';
        QByteArray data(block.size(), Qt::Uninitialized);
        int state = GMIME_UUDECODE_STATE_BEGIN;
        guint32 save = 0;
        data.truncate(qsizetype(g_mime_encoding_uudecode_step(
            reinterpret_cast<const unsigned char*>(block.constData()), size_t(block.size()),
            reinterpret_cast<unsigned char*>(data.data()), &state, &save)));
        attachments.append({begin.captured(1), data});
        i = end;
    }
    return kept.join(QLatin1Char('\n'));
}

// A header's value as it came, encoded words and all, unfolded (its only
// line breaks are folds); empty when there is none.
QByteArray rawHeader(GMimeObject* o, const char* name)
{
    GMimeHeader* h = g_mime_header_list_get_header(g_mime_object_get_header_list(o), name);
    return h ? QByteArray(g_mime_header_get_raw_value(h)).replace('\r', "").replace('\n', "") : QByteArray();
}

QString decodeWords(const QByteArray& value);

class Walker {
public:
    explicit Walker(MimeMessage& out)
        : m_out(out)
    {
    }

    void walk(GMimeObject* object)
    {
        if (!object || ++m_depth > kMaxDepth)
            return;
        if (GMIME_IS_MESSAGE_PART(object))
            embedded(object, g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)));
        else if (GMIME_IS_MULTIPART(object))
            multipart(GMIME_MULTIPART(object));
        else if (GMIME_IS_PART(object))
            part(GMIME_PART(object));
        --m_depth;
    }

private:
    static constexpr int kMaxDepth = 50;

    // A text to show: anything but one marked as an attachment, named or not
    // (a name in Content-Type alone does not make a file of it). A type that
    // is not one word, a slash and another ("text", "", a header cut short)
    // is plain text, as mail readers take it.
    static bool isText(GMimeObject* o, const char* subtype)
    {
        if (!GMIME_IS_PART(o))
            return false;
        // (The parser makes such a type application/octet-stream.)
        const QByteArray type = rawHeader(o, "Content-Type");
        const bool plainless =
            qstrcmp(subtype, "plain") == 0 && !type.isNull() && type.split(';').value(0).count('/') != 1;
        GMimeContentDisposition* d = g_mime_object_get_content_disposition(o);
        return (g_mime_content_type_is_type(g_mime_object_get_content_type(o), "text", subtype) || plainless)
               && !(d && g_mime_content_disposition_is_attachment(d));
    }

    // A digest's part may carry the message's fields as its own (a digest's
    // parts are messages without saying so); they stand in for the
    // message's when it has none.
    void embedded(GMimeObject* holder, GMimeMessage* message)
    {
        if (!message)
            return;
        m_embedded = true;
        char* from = internet_address_list_to_string(g_mime_message_get_from(message), nullptr, false);
        QString heading = QStringLiteral("\n---------- Attached message ----------\n");
        const std::pair<const char*, QString> lines[] = {
            {"From", utf8(from)},
            {"Date", utf8(g_mime_object_get_header(GMIME_OBJECT(message), "Date"))},
            {"Subject", utf8(g_mime_message_get_subject(message))}};
        for (const auto& [label, ownValue] : lines) {
            const QString value = ownValue.isEmpty() ? decodeWords(rawHeader(holder, label)).trimmed() : ownValue;
            if (!value.isEmpty())
                heading += QLatin1String(label) + QLatin1String(": ") + value + QLatin1Char('\n');
        }
        addText(heading + QLatin1Char('\n'));
        g_free(from);
        walk(g_mime_message_get_mime_part(message));
    }

    void multipart(GMimeMultipart* mp)
    {
        const int count = g_mime_multipart_get_count(mp);
        if (g_mime_content_type_is_type(g_mime_object_get_content_type(GMIME_OBJECT(mp)), "multipart", "alternative")) {
            // One of the forms: plain text first, else the HTML, else the first that holds more.
            GMimeObject* chosen = nullptr;
            for (const char* subtype : {"plain", "html"}) {
                for (int i = 0; i < count && !chosen; ++i) {
                    if (isText(g_mime_multipart_get_part(mp, i), subtype))
                        chosen = g_mime_multipart_get_part(mp, i);
                }
            }
            for (int i = 0; i < count; ++i)
                calendarIn(g_mime_multipart_get_part(mp, i));
            for (int i = 0; i < count && !chosen; ++i) {
                if (GMIME_IS_MULTIPART(g_mime_multipart_get_part(mp, i)))
                    chosen = g_mime_multipart_get_part(mp, i);
            }
            // The HTML form is kept for a formatted view, though the plain one is the text.
            for (int i = 0; i < count && m_html.isNull(); ++i) {
                if (GMimeObject* form = g_mime_multipart_get_part(mp, i); form != chosen && isText(form, "html"))
                    m_html = partText(GMIME_PART(form));
            }
            return walk(chosen);
        }
        for (int i = 0; i < count; ++i)
            walk(g_mime_multipart_get_part(mp, i));
    }

    void part(GMimePart* p)
    {
        GMimeObject* o = GMIME_OBJECT(p);
        const bool plain = isText(o, "plain");
        if (plain || isText(o, "html")) {
            const QString text = partText(p);
            ++m_textParts;
            if (!plain && m_html.isNull())
                m_html = text;
            addText(plain ? takeUuencoded(text, m_out.attachments) : htmlToText(text));
            return;
        }
        calendarIn(o);
        m_out.attachments.append({utf8(g_mime_part_get_filename(p)), partBytes(p)});
    }

    void calendarIn(GMimeObject* o)
    {
        if (m_out.calendar.isEmpty() && GMIME_IS_PART(o)
            && g_mime_content_type_is_type(g_mime_object_get_content_type(o), "text", "calendar"))
            m_out.calendar = partBytes(GMIME_PART(o));
    }

    static QString partText(GMimePart* p)
    {
        QString text = fromCharset(partBytes(p), g_mime_object_get_content_type_parameter(GMIME_OBJECT(p), "charset"));
        // CR LF becomes LF in one pass (QString::replace moves the rest of
        // the text once per thousand lines: minutes for a long text).
        QChar* w = text.data();
        const QChar* const end = w + text.size();
        for (const QChar* r = w; r < end; ++r)
            if (*r != u'\r' || r + 1 == end || r[1] != u'\n')
                *w++ = *r;
        text.truncate(w - text.constData());
        return text;
    }

    void addText(const QString& text)
    {
        if (!m_out.text.isEmpty() && !m_out.text.endsWith(QLatin1Char('\n')))
            m_out.text += QLatin1Char('\n');
        m_out.text += text;
    }

public:
    // The HTML source when one text part (or one choice of forms) is all there is.
    QString html() const { return m_textParts == 1 && !m_embedded ? m_html : QString(); }

private:
    MimeMessage& m_out;
    int m_depth = 0;
    int m_textParts = 0;
    bool m_embedded = false;
    QString m_html;
};

}  // namespace

namespace {

GMimeMessage* parse(const char* data, qsizetype size, GMimeParserOptions* options = nullptr)
{
    initOnce();
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(data, size_t(size)));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return g_mime_parser_construct_message(parser.get(), options ? options : parserOptions());
}

struct OptionsFree {
    void operator()(GMimeParserOptions* o) const { g_mime_parser_options_free(o); }
};

// Where the parser met, in a part's or an enclosed message's header, a line
// that is no header field. The parser drops that line and the rest of the
// part; mail readers take it for the first line of the body.
std::unique_ptr<GMimeParserOptions, OptionsFree> noticingBadHeaders(QList<qsizetype>& offsets)
{
    initOnce();
    std::unique_ptr<GMimeParserOptions, OptionsFree> options(g_mime_parser_options_clone(parserOptions()));
    g_mime_parser_options_set_warning_callback(
        options.get(),
        [](gint64 offset, GMimeParserWarning code, const gchar*, gpointer into) {
            if (code == GMIME_CRIT_INVALID_HEADER_NAME && offset >= 0)
                static_cast<QList<qsizetype>*>(into)->append(qsizetype(offset));
        },
        &offsets);
    return options;
}

// The message with an empty line put before the first line that is no field
// in each such header, so that the parser reads the part's body from there.
// From `from` on only: the message's own header is read as it is. One pass.
QByteArray withBodiesOpened(const QByteArray& raw, QList<qsizetype> offsets, qsizetype from)
{
    const auto lineAt = [&](qsizetype at) {
        const qsizetype end = raw.indexOf('\n', at);
        return QByteArrayView(raw).sliced(at, (end < 0 ? raw.size() : end) - at);
    };
    const auto isField = [](QByteArrayView line) {
        const qsizetype colon = line.indexOf(':');
        return colon > 0 && std::all_of(line.begin(), line.begin() + colon, [](char c) { return c > ' ' && c <= '~'; });
    };
    // An empty line or a boundary ends what was opened.
    const auto endsPart = [](QByteArrayView line) {
        if (line.endsWith('\r'))
            line.chop(1);
        return line.isEmpty() || (line.startsWith("--") && line.size() > 2 && line[2] != ' ');
    };
    std::sort(offsets.begin(), offsets.end());
    QByteArray out;
    qsizetype copied = 0, checked = 0;
    bool open = false;
    for (const qsizetype at : offsets) {
        if (at < std::max(from, checked) || at >= raw.size())
            continue;
        for (; open && checked < at; checked += lineAt(checked).size() + 1)
            open = !endsPart(lineAt(checked));
        if (open)
            continue;
        // The parser may name the header's start: its first line that is no field.
        qsizetype bad = at;
        while (bad < raw.size() && (isField(lineAt(bad)) || (bad > at && (raw[bad] == ' ' || raw[bad] == '\t'))))
            bad += lineAt(bad).size() + 1;
        checked = bad;
        if (bad >= raw.size() || endsPart(lineAt(bad)))
            continue;
        out += QByteArrayView(raw).sliced(copied, bad - copied);
        out += lineAt(bad).endsWith('\r') ? "\r\n" : "\n";
        copied = bad;
        open = true;
    }
    if (copied == 0)
        return raw;
    return out += QByteArrayView(raw).sliced(copied);
}

// A header's encoded words (RFC 2047) read as §6.2 asks: adjacent words,
// with only white space between them, are joined before their bytes become
// text, so a character split across two words stays whole. Raw 8-bit text
// between them is UTF-8 when it is, else Windows-1252.
QString decodeWords(const QByteArray& value)
{
    static const QRegularExpression word(QStringLiteral(R"(=\?([^?*\s]+)(\*[^?]*)?\?([BbQq])\?([^?\s]*)\?=)"));
    QString out;
    QByteArray pending, charset;
    const auto flush = [&] {
        out += fromCharset(pending, charset);
        pending.clear();
    };
    qsizetype at = 0;
    bool afterWord = false;
    for (auto it = word.globalMatch(QString::fromLatin1(value)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QByteArray between = value.mid(at, m.capturedStart() - at);
        const QByteArray wordCharset = m.captured(1).toLatin1().toLower();
        if (!afterWord || !between.trimmed().isEmpty() || wordCharset != charset) {
            flush();
            if (!afterWord || !between.trimmed().isEmpty())
                out += fromCharset(between, {});
            charset = wordCharset;
        }
        const QByteArray payload = m.captured(4).toLatin1();
        pending += m.captured(3).compare(QLatin1String("b"), Qt::CaseInsensitive) == 0
                       ? QByteArray::fromBase64(payload)
                       : QByteArray::fromPercentEncoding(QByteArray(payload).replace('_', ' '), '=');
        at = m.capturedEnd();
        afterWord = true;
    }
    flush();
    return fixC1(out + fromCharset(value.mid(at), {}));
}

// A group's members stand in its place; groups inside groups are not
// allowed, so one level is all that is followed.
void addAddresses(InternetAddressList* list, QList<MimeAddress>& out, int depth)
{
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(a) && depth == 0)
            addAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out, 1);
        else if (INTERNET_ADDRESS_IS_MAILBOX(a))
            out.append({utf8(internet_address_get_name(a)),
                        utf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)))});
    }
}

// The sender as the list shows it: the addresses parsed from the header's
// `raw` value, or for one the parser refuses ("MAILER DAEMON <>") its name,
// else the header as it stands.
QString shownSender(InternetAddressList* parsed, const QByteArray& raw)
{
    char* text = parsed ? internet_address_list_to_string(parsed, nullptr, false) : nullptr;
    QString out = utf8(text);
    g_free(text);
    if (!out.isEmpty())
        return out;
    const QString shown = decodeWords(raw);
    const QString name = shown.section(u'<', 0, 0).trimmed().remove(u'"');
    return name.isEmpty() ? shown.trimmed() : name;
}

// The ids of In-Reply-To (its first) and References, without their angle
// brackets; what is no id is passed over.
void readReferences(const char* inReplyTo, const char* references, MimeMessage& out)
{
    const auto ids = [](const char* field) {
        QStringList out;
        GMimeReferences* parsed = field ? g_mime_references_parse(parserOptions(), field) : nullptr;
        for (int i = 0; parsed && i < g_mime_references_length(parsed); ++i)
            out << utf8(g_mime_references_get_message_id(parsed, i));
        if (parsed)
            g_mime_references_free(parsed);
        return out;
    };
    out.inReplyTo = ids(inReplyTo).value(0);
    // Some programs write words around the id ("your message of ... <id>"), which the parser gives up on.
    const QByteArray words(inReplyTo);
    const qsizetype open = words.indexOf('<');
    const qsizetype close = words.indexOf('>', open + 1);
    if (out.inReplyTo.isEmpty() && open >= 0 && close > open + 1)
        out.inReplyTo = QString::fromUtf8(words.mid(open + 1, close - open - 1)).trimmed();
    out.references = ids(references);
}

void readHeader(GMimeMessage* parsed, MimeMessage& out)
{
    out.from = shownSender(g_mime_message_get_from(parsed), rawHeader(GMIME_OBJECT(parsed), "From"));
    out.subject = decodeWords(rawHeader(GMIME_OBJECT(parsed), "Subject")).trimmed();
    out.date = utf8(g_mime_object_get_header(GMIME_OBJECT(parsed), "Date"));
    const std::pair<InternetAddressList*, QList<MimeAddress>*> lists[] = {
        {g_mime_message_get_from(parsed), &out.fromAddresses},
        {g_mime_message_get_reply_to(parsed), &out.replyTo},
        {g_mime_message_get_to(parsed), &out.to},
        {g_mime_message_get_cc(parsed), &out.cc}};
    for (const auto& [list, into] : lists)
        addAddresses(list, *into, 0);
    out.messageId = utf8(g_mime_message_get_message_id(parsed));
    readReferences(g_mime_object_get_header(GMIME_OBJECT(parsed), "In-Reply-To"),
                   g_mime_object_get_header(GMIME_OBJECT(parsed), "References"), out);
}

// The header with the empty line that ends it; all of the message when no
// line is empty.
qsizetype headerLength(const QByteArray& raw)
{
    for (qsizetype line = 0;;) {
        const qsizetype end = raw.indexOf('\n', line);
        if (end < 0)
            return raw.size();
        if (end == line || (end == line + 1 && raw[line] == '\r'))
            return end + 1;
        line = end + 1;
    }
}

}  // namespace

namespace {

// The text of a message in which the parser finds none, though it has some
// (a multipart whose boundary is wrong or missing, a body without the empty
// line before it): its body, less the lines that only mark parts and the
// header fields that follow them, and what follows the last closing line
// ("--" + a boundary that began a part + "--"), which is no part of the message.
QString bodyAsText(const QByteArray& raw)
{
    static const QRegularExpression field(QStringLiteral("^[!-9;-~]+:"));
    const QList<QByteArray> lines = raw.split('\n');
    qsizetype i = 0;
    while (i < lines.size()
           && (field.match(QString::fromLatin1(lines[i])).hasMatch()
               || (i > 0 && (lines[i].startsWith(' ') || lines[i].startsWith('\t')))))
        ++i;
    if (i < lines.size() && lines[i].trimmed().isEmpty())
        ++i;
    QByteArray body;
    QSet<QByteArray> begun;
    qsizetype epilogue = -1;
    bool partHeader = false;
    for (; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (line.startsWith("--")) {
            const QByteArray boundary = line.mid(2).trimmed();
            if (boundary.endsWith("--") && begun.contains(boundary.chopped(2))) {
                epilogue = body.size();
            } else {
                begun.insert(boundary);
                epilogue = -1;
            }
            partHeader = true;
            continue;
        }
        if (partHeader && !line.isEmpty() && field.match(QString::fromLatin1(line)).hasMatch())
            continue;
        if (std::exchange(partHeader, false) && line.isEmpty())
            continue;
        body += line + '\n';
    }
    if (epilogue >= 0)
        body.truncate(epilogue);
    return fixC1(fromCharset(body.trimmed(), {})) + QLatin1Char('\n');
}

}  // namespace

MimeMessage decodeMime(const QByteArray& raw)
{
    MimeMessage out;
    // Each round opens the bodies the one before uncovered (a digest's part
    // whose body, once opened, is a message whose header runs into its own).
    constexpr int kRounds = 3;
    QByteArray text = raw;
    QList<qsizetype> badHeaders;
    std::unique_ptr<GMimeParserOptions, OptionsFree> options;
    GPtr<GMimeMessage> message;
    for (int round = 0;; ++round) {
        message.reset();
        badHeaders.clear();
        options = noticingBadHeaders(badHeaders);
        message.reset(parse(text.constData(), text.size(), options.get()));
        if (!message)
            return out;
        QByteArray opened = round < kRounds ? withBodiesOpened(text, badHeaders, headerLength(text)) : text;
        if (opened.size() == text.size())
            break;
        text = std::move(opened);
    }
    GMimeMessage* const parsed = message.get();
    readHeader(parsed, out);
    Walker walker(out);
    walker.walk(g_mime_message_get_mime_part(parsed));
    out.html = walker.html();
    // Named here once, for every screen that shows, saves or forwards the files.
    for (qsizetype i = 0; i < out.attachments.size(); ++i)
        out.attachments[i].name = attachmentFileName(out.attachments[i].name, int(i + 1));
    if (out.text.trimmed().isEmpty() && out.attachments.isEmpty()) {
        const QString body = bodyAsText(raw);
        out.text = body.trimmed().isEmpty() ? QString() : body;
    }
    return out;
}

namespace {
// The raw value of each of `names` (lower case) in the header: the first
// field of that name, its folded lines joined as they stand, the line ends
// left out. The header ends at its empty line; a line in it that is no
// field is passed over, as the parser passes it.
template <size_t N>
std::array<QByteArray, N> rawFields(const QByteArray& raw, const std::array<QByteArrayView, N>& names)
{
    std::array<QByteArray, N> out;
    std::array<bool, N> seen{};
    QByteArray* into = nullptr;  // the field whose lines these are
    for (qsizetype line = 0, size = raw.size(); line < size;) {
        qsizetype end = raw.indexOf('\n', line);
        end = end < 0 ? size : end;
        QByteArrayView text(raw.constData() + line, end - line);
        if (text.endsWith('\r'))
            text.chop(1);
        line = end + 1;
        if (text.isEmpty())
            break;
        if (text.front() == ' ' || text.front() == '\t') {
            if (into)
                into->append(text);
            continue;
        }
        qsizetype name = 0;
        while (name < text.size() && text[name] > ' ' && text[name] < 127 && text[name] != ':')
            ++name;
        qsizetype colon = name;
        while (colon < text.size() && (text[colon] == ' ' || text[colon] == '\t'))
            ++colon;
        into = nullptr;
        if (name == 0 || colon == text.size() || text[colon] != ':')
            continue;
        for (size_t k = 0; k < names.size(); ++k)
            if (!seen[k] && text.first(name).compare(names[k], Qt::CaseInsensitive) == 0) {
                seen[k] = true;
                into = &out[k];
                into->append(text.sliced(colon + 1));
            }
    }
    return out;
}
}  // namespace

// The fields alone, as the parsed message would give them: building the
// message costs a hundred times as much, and a sync reads thousands.
MimeMessage decodeMimeHeader(const QByteArray& raw)
{
    initOnce();
    MimeMessage out;
    const auto [from, subject, date, id, inReplyTo, references] =
        rawFields<6>(raw, {"from", "subject", "date", "message-id", "in-reply-to", "references"});
    InternetAddressList* senders = internet_address_list_parse(parserOptions(), from.constData());
    out.from = shownSender(senders, from);
    if (senders)
        g_object_unref(senders);
    out.subject = decodeWords(subject).trimmed();
    char* unfolded = g_mime_utils_header_unfold(date.constData());
    char* decoded = g_mime_utils_header_decode_text(parserOptions(), unfolded);
    out.date = utf8(decoded);
    g_free(decoded);
    g_free(unfolded);
    if (!id.isEmpty()) {
        char* plain = g_mime_utils_decode_message_id(id.constData());
        out.messageId = utf8(plain);
        g_free(plain);
    }
    readReferences(inReplyTo.isEmpty() ? nullptr : inReplyTo.constData(),
                   references.isEmpty() ? nullptr : references.constData(), out);
    return out;
}

QString attachmentFileName(const QString& name, int number)
{
    constexpr qsizetype kMaxBytes = 200;     // well inside what any file system takes
    constexpr qsizetype kMaxExtension = 20;  // longer after its last dot, a name has none
    const QString last = name.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    // Characters one cannot see, and those that turn or hide what follows
    // ("invoice\u202Egpj.exe" shows as "invoiceexe.jpg"), are dropped.
    QString base;
    for (const char32_t c : last.toUcs4()) {
        const QChar::Category kind = QChar::category(c);
        if (kind != QChar::Other_Format && kind != QChar::Other_Control && c != U':')
            base += QString::fromUcs4(&c, 1);
    }
    // A leading dot would hide the file.
    while (!base.isEmpty() && (base.front() == u'.' || base.front().isSpace()))
        base.remove(0, 1);
    base = base.trimmed();
    QByteArray bytes = base.toUtf8();
    if (bytes.size() > kMaxBytes) {
        const qsizetype dot = bytes.lastIndexOf('.');
        const QByteArray extension = dot > 0 && bytes.size() - dot <= kMaxExtension ? bytes.mid(dot) : QByteArray();
        qsizetype cut = kMaxBytes - extension.size();
        while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)  // never inside a character
            --cut;
        base = QString::fromUtf8(bytes.left(cut) + extension).trimmed();
    }
    return base.isEmpty() ? QStringLiteral("attachment-%1").arg(number) : base;
}

namespace {

void setContent(GMimePart* part, const QByteArray& bytes)
{
    GPtr<GMimeStream> content(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
    GPtr<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
}

// A text part in UTF-8 (GMime's own setter would pick another charset):
// plain ASCII goes as it is, other text still readable in the source.
GPtr<GMimeTextPart> utf8Part(const char* subtype, const QByteArray& bytes)
{
    GPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype(subtype));
    g_mime_text_part_set_charset(body.get(), "utf-8");
    setContent(GMIME_PART(body.get()), bytes);
    const bool ascii = g_mime_part_get_best_content_encoding(GMIME_PART(body.get()), GMIME_ENCODING_CONSTRAINT_7BIT)
                       == GMIME_CONTENT_ENCODING_7BIT;
    g_mime_part_set_content_encoding(GMIME_PART(body.get()),
                                     ascii ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    return body;
}

QByteArray written(GMimeObject* object)
{
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, format, out.get());
    g_mime_format_options_free(format);
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
}

}  // namespace

QByteArray mimeWithCalendar(const QString& text, const QByteArray& calendar, const QByteArray& method)
{
    initOnce();
    GPtr<GMimeMultipart> forms(g_mime_multipart_new_with_subtype("alternative"));
    GPtr<GMimeTextPart> body = utf8Part("plain", text.toUtf8());
    g_mime_multipart_add(forms.get(), GMIME_OBJECT(body.get()));
    GPtr<GMimeTextPart> event = utf8Part("calendar", calendar);
    // Folded lines of ASCII go as they are, as calendar programs read them best; anything else in base64.
    const bool ascii = std::all_of(calendar.begin(), calendar.end(), [](char c) { return uchar(c) < 0x80; });
    g_mime_part_set_content_encoding(GMIME_PART(event.get()),
                                     ascii ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(event.get()), "method", method.constData());
    g_mime_multipart_add(forms.get(), GMIME_OBJECT(event.get()));
    return written(GMIME_OBJECT(forms.get()));
}

QByteArrayList mimeWithAttachments(const QString& text, const QStringList& names)
{
    initOnce();
    GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    GPtr<GMimeTextPart> body = utf8Part("plain", text.toUtf8());
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));

    const QMimeDatabase types;
    for (const QString& name : names) {
        const QByteArray type = types.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name().toUtf8();
        GPtr<GMimeContentType> contentType(g_mime_content_type_parse(nullptr, type.constData()));
        GPtr<GMimePart> part(g_mime_part_new_with_type(g_mime_content_type_get_media_type(contentType.get()),
                                                       g_mime_content_type_get_media_subtype(contentType.get())));
        setContent(part.get(), QByteArray());
        g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
        g_mime_part_set_filename(part.get(), name.toUtf8().constData());
        // A name that is not ASCII goes in UTF-8, not the smallest charset that holds it.
        for (auto [params, name] :
             {std::pair(g_mime_content_disposition_get_parameters(
                            g_mime_object_get_content_disposition(GMIME_OBJECT(part.get()))),
                        "filename"),
              std::pair(g_mime_content_type_get_parameters(g_mime_object_get_content_type(GMIME_OBJECT(part.get()))),
                        "name")})
            if (GMimeParam* param = g_mime_param_list_get_parameter(params, name))
                g_mime_param_set_charset(param, "utf-8");
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
    }

    const QByteArray whole = written(GMIME_OBJECT(mixed.get()));
    // Each file's part is its header lines and the blank line after them,
    // with nothing below: its content goes there. Header lines hold no
    // blank line, and the text part comes first.
    const QByteArray delimiter = QByteArray("\r\n--") + g_mime_multipart_get_boundary(mixed.get()) + "\r\n";
    QByteArrayList pieces;
    qsizetype from = 0;
    qsizetype at = whole.indexOf(delimiter);
    for (qsizetype k = 0; k < names.size(); ++k) {
        at = whole.indexOf(delimiter, at + delimiter.size());
        const qsizetype content = whole.indexOf("\r\n\r\n", at + delimiter.size()) + 4;
        pieces << whole.sliced(from, content - from);
        from = content;
    }
    return pieces << whole.sliced(from);
}
