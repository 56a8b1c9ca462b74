#include "controls/RtfReader.h"

#include "controls/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Where the text of a group goes. Skip, Object and Upr read no text; Object
// and Upr differ from Skip only in which inner group may bring text back
// (\result, \ud).
enum class Dest : std::uint8_t { Text, Skip, FontTable, ColorTable, Object, Upr };

bool readsText(Dest d) { return d == Dest::Text || d == Dest::FontTable || d == Dest::ColorTable; }

enum class Align : std::uint8_t { Left, Center, Right, Justify };

struct CharProps {
    int font = -1;  // font number; -1: the default font (\deff)
    int halfPoints = 24;
    int fg = 0;  // colour table index, 0: automatic
    int bg = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const CharProps&) const = default;
};

struct CharPropsHash {
    std::size_t operator()(const CharProps& p) const
    {
        std::size_t h = std::hash<int>()(p.font);
        for (int v : {p.halfPoints, p.fg, p.bg, int(p.bold) | int(p.italic) << 1 | int(p.underline) << 2 | int(p.strike) << 3})
            h = h * 31 + std::hash<int>()(v);
        return h;
    }
};

struct ParaProps {
    Align align = Align::Left;
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;  // twips
    bool operator==(const ParaProps&) const = default;
};

struct GroupState {
    CharProps ch;
    ParaProps pa;
    int uc = 1;
    Dest dest = Dest::Text;
    Dest uprReturn = Dest::Text;  // the destination \ud restores inside \upr
    bool uprChild = false;
};

struct FontEntry {
    QString name;
    int codepage = 0;  // 0: the document's code page
};

// Deeper nesting than this is damaged input; the extra levels are counted
// but share their parent's state, so memory stays bounded.
constexpr int kMaxDepth = 1024;
constexpr int kMaxTwips = 31680;  // 22 inches, the widest page Word offers

int clampInt(long long v, long long lo, long long hi) { return int(std::clamp(v, lo, hi)); }

int codepageOfCharset(int charset)
{
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;  // ANSI, default, symbol: the document's code page
    }
}

bool isDoubleByte(int cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361; }

const char* codecName(int cp)
{
    switch (cp) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 874: return "windows-874";
    case 932: return "windows-932";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1361: return "johab";
    case 10000: return "macintosh";
    default: break;
    }
    if (cp >= 1250 && cp <= 1258) {
        static const char* const names[] = {"windows-1250", "windows-1251", "windows-1252",
                                            "windows-1253", "windows-1254", "windows-1255",
                                            "windows-1256", "windows-1257", "windows-1258"};
        return names[cp - 1250];
    }
    return nullptr;
}

using ByteTable = std::array<char16_t, 256>;

// What a control word does. Looked up once per word through one table.
enum class Op : std::uint8_t {
    // document
    Rtf, Ansi, Mac, Pc, Pca, AnsiCpg, Deff, Uc, U, Bin,
    // destinations
    FontTable, ColorTable, SkipDest, ObjectDest, ResultDest, FldRslt, Upr, Ud, KeepText,
    // font and colour tables
    FCharset, Cpg, Red, Green, Blue,
    // character formatting
    Plain, Bold, Italic, Underline, UlNone, Strike, Font, FontSize, Cf, Bg,
    // paragraph formatting
    Pard, Ql, Qc, Qr, Qj, Li, Ri, Fi, Sb, Sa,
    // special characters
    Par, Line, Tab, Cell, Char,
};

struct WordInfo {
    Op op;
    char16_t ch = 0;  // for Op::Char
};

const std::unordered_map<std::string_view, WordInfo>& wordTable()
{
    static const std::unordered_map<std::string_view, WordInfo> table = [] {
        std::unordered_map<std::string_view, WordInfo> t;
        auto add = [&t](std::string_view w, Op op, char16_t ch = 0) { t.emplace(w, WordInfo{op, ch}); };
        add("rtf", Op::Rtf);
        add("ansi", Op::Ansi);
        add("mac", Op::Mac);
        add("pc", Op::Pc);
        add("pca", Op::Pca);
        add("ansicpg", Op::AnsiCpg);
        add("deff", Op::Deff);
        add("uc", Op::Uc);
        add("u", Op::U);
        add("bin", Op::Bin);

        add("fonttbl", Op::FontTable);
        add("colortbl", Op::ColorTable);
        for (std::string_view w :
             {"stylesheet", "info", "pict", "header", "headerl", "headerr", "headerf", "footer",
              "footerl", "footerr", "footerf", "footnote", "fldinst", "filetbl", "listtable",
              "listoverridetable", "revtbl", "rsidtbl", "generator", "xmlnstbl", "themedata",
              "colorschememapping", "latentstyles", "datastore", "pgdsctbl", "bkmkstart", "bkmkend",
              "pn", "shp", "shpinst", "shprslt", "nonshppict", "shppict", "objdata", "objclass",
              "author", "operator", "title", "subject", "keywords", "comment", "doccomm", "company",
              "template", "docvar", "userprops", "private", "annotation", "atnid", "atnauthor",
              "atnref", "atndate", "atrfstart", "atrfend", "xe", "tc", "txe", "rxe", "ftnsep",
              "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "mmathPr", "blipuid", "picprop",
              "background", "passwordhash", "pnseclvl", "listpicture", "wgrffmtfilter", "fchars",
              "lchars", "defchp", "defpap", "panose", "falt", "fname", "fontemb", "fontfile",
              "do", "formfield", "datafield", "pntxta", "pntxtb", "protusertbl", "mhtmltag",
              "htmltag", "sp", "sn", "sv", "tcn", "tbllvl", "oleclsid", "fldtype", "bkmkpub"})
            add(w, Op::SkipDest);
        add("object", Op::ObjectDest);
        add("result", Op::ResultDest);
        add("fldrslt", Op::FldRslt);
        add("upr", Op::Upr);
        add("ud", Op::Ud);
        // Bullet and number texts that rich-edit controls write for readers
        // without list support: they are what the user sees.
        add("pntext", Op::KeepText);
        add("listtext", Op::KeepText);

        add("fcharset", Op::FCharset);
        add("cpg", Op::Cpg);
        add("red", Op::Red);
        add("green", Op::Green);
        add("blue", Op::Blue);

        add("plain", Op::Plain);
        add("b", Op::Bold);
        add("i", Op::Italic);
        for (std::string_view w :
             {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth",
              "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",
              "ulwave"})
            add(w, Op::Underline);
        add("ulnone", Op::UlNone);
        add("strike", Op::Strike);
        add("striked", Op::Strike);
        add("f", Op::Font);
        add("fs", Op::FontSize);
        add("cf", Op::Cf);
        add("highlight", Op::Bg);
        add("cb", Op::Bg);
        add("chcbpat", Op::Bg);

        add("pard", Op::Pard);
        add("ql", Op::Ql);
        add("qc", Op::Qc);
        add("qr", Op::Qr);
        add("qj", Op::Qj);
        add("li", Op::Li);
        add("lin", Op::Li);
        add("ri", Op::Ri);
        add("rin", Op::Ri);
        add("fi", Op::Fi);
        add("sb", Op::Sb);
        add("sa", Op::Sa);

        add("par", Op::Par);
        add("sect", Op::Par);
        add("page", Op::Par);
        add("row", Op::Par);
        add("line", Op::Line);
        add("tab", Op::Tab);
        add("cell", Op::Cell);
        add("nestcell", Op::Cell);
        add("emdash", Op::Char, 0x2014);
        add("endash", Op::Char, 0x2013);
        add("emspace", Op::Char, 0x2003);
        add("enspace", Op::Char, 0x2002);
        add("qmspace", Op::Char, 0x2005);
        add("bullet", Op::Char, 0x2022);
        add("lquote", Op::Char, 0x2018);
        add("rquote", Op::Char, 0x2019);
        add("ldblquote", Op::Char, 0x201C);
        add("rdblquote", Op::Char, 0x201D);
        add("zwj", Op::Char, 0x200D);
        add("zwnj", Op::Char, 0x200C);
        add("ltrmark", Op::Char, 0x200E);
        add("rtlmark", Op::Char, 0x200F);
        return t;
    }();
    return table;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One pass over the bytes: a tokenizer and a stack of group states feeding a
// text cursor. Text is gathered into runs of one format and inserted run by
// run, so the work is linear in the size of the input.
class Parser {
public:
    Parser(const QByteArray& data, QTextCursor& cursor)
        : m_p(data.constData()), m_end(data.constData() + data.size()), m_cur(cursor)
    {
    }

    void run();

private:
    void controlWord();
    void controlSymbol(char c);
    void handleWord(std::string_view word, bool hasParam, int param);
    void handleDestination(Op op, bool ignorable);
    void openGroup();
    void closeGroup();

    void textByte(unsigned char b);
    void appendChar(char16_t ch);
    void flushBytes();
    void textChar(char16_t ch);
    void flushRun();
    void startPendingParagraph();
    void endParagraph();
    void finish();

    void endFontEntry();
    void endColorEntry();

    int currentCodepage() const;
    const ByteTable& byteTable(int cp);
    const QTextCharFormat& charFormat(const CharProps& props);
    QTextCharFormat makeCharFormat(const CharProps& props) const;
    static QTextBlockFormat blockFormat(const ParaProps& props);

    const char* m_p;
    const char* m_end;
    QTextCursor& m_cur;

    GroupState m_st;
    std::vector<GroupState> m_stack;
    int m_overflow = 0;  // group levels past kMaxDepth
    bool m_ignorableNext = false;
    int m_ucSkip = 0;  // fallback characters still to skip after \u

    int m_docCodepage = 1252;
    bool m_docCodepageNamed = false;
    int m_deff = 0;  // RTF's default when \deff is missing

    QHash<int, FontEntry> m_fonts;
    int m_tableFont = -1;  // the font being defined in \fonttbl
    QString m_fontName;

    std::vector<QColor> m_colors;  // index 0 and any entry without components: automatic
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorGiven = false;

    std::map<int, ByteTable> m_tables;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;
    QByteArray m_pendingBytes;  // bytes of a double-byte code page not yet decoded
    int m_pendingCodepage = 0;
    bool m_needTrail = false;

    QString m_run;
    CharProps m_runProps;
    // Formats built so far; cleared when a font or colour table changes.
    std::unordered_map<CharProps, QTextCharFormat, CharPropsHash> m_formats;
    bool m_pendingPar = false;  // a \par read, its new paragraph not made yet
};

void Parser::run()
{
    while (m_p < m_end) {
        const char c = *m_p++;
        switch (c) {
        case '{':
            openGroup();
            break;
        case '}':
            closeGroup();
            break;
        case '\\':
            if (m_p >= m_end)
                break;
            if (isLetter(*m_p))
                controlWord();
            else
                controlSymbol(*m_p++);
            break;
        case '\r':
        case '\n':
            break;
        default:
            m_ignorableNext = false;
            if (m_ucSkip > 0) {
                --m_ucSkip;
                break;
            }
            textByte(static_cast<unsigned char>(c));
            break;
        }
    }
    finish();
}

void Parser::openGroup()
{
    flushBytes();
    m_ucSkip = 0;
    m_ignorableNext = false;
    if (m_stack.size() >= kMaxDepth) {
        ++m_overflow;
        return;
    }
    m_stack.push_back(m_st);
    const Dest parent = m_st.dest;
    if (parent == Dest::Upr) {
        m_st.dest = Dest::Skip;
        m_st.uprChild = true;
    } else {
        m_st.uprChild = false;
    }
}

void Parser::closeGroup()
{
    flushBytes();
    m_ucSkip = 0;
    m_ignorableNext = false;
    if (m_overflow > 0) {
        --m_overflow;
        return;
    }
    // The outermost group stays open: text after a stray closing brace is
    // still read, and the last paragraph keeps the document's properties.
    if (m_stack.size() <= 1)
        return;
    if (m_st.dest == Dest::FontTable)
        endFontEntry();
    const GroupState inner = m_st;
    m_st = m_stack.back();
    m_stack.pop_back();
    // Leaving the colour table's group ends an entry that lacks its ';'.
    if (inner.dest == Dest::ColorTable && m_st.dest != Dest::ColorTable && m_colorGiven)
        endColorEntry();
}

void Parser::controlWord()
{
    const char* start = m_p;
    while (m_p < m_end && isLetter(*m_p))
        ++m_p;
    std::string_view word(start, std::size_t(m_p - start));
    bool hasParam = false;
    long long value = 0;
    bool negative = false;
    if (m_p < m_end && *m_p == '-' && m_p + 1 < m_end && isDigit(m_p[1])) {
        negative = true;
        ++m_p;
    }
    while (m_p < m_end && isDigit(*m_p)) {
        hasParam = true;
        if (value < 100000000000LL)
            value = value * 10 + (*m_p - '0');
        ++m_p;
    }
    if (m_p < m_end && *m_p == ' ')
        ++m_p;
    if (negative)
        value = -value;
    const int param = clampInt(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    if (word.size() > 32)
        word = {};  // not a control word any writer makes

    if (word == "bin") {
        // Binary data belongs to the group (a picture); it is never text.
        const long long n = std::min<long long>(std::max(0, param), m_end - m_p);
        m_p += n;
        m_ignorableNext = false;
        return;
    }
    flushBytes();
    if (m_ucSkip > 0) {
        --m_ucSkip;
        m_ignorableNext = false;
        return;
    }
    handleWord(word, hasParam, param);
}

void Parser::controlSymbol(char c)
{
    if (c == '\'') {
        int v = -1;
        if (m_p < m_end && hexValue(*m_p) >= 0) {
            v = hexValue(*m_p++);
            if (m_p < m_end && hexValue(*m_p) >= 0)
                v = v * 16 + hexValue(*m_p++);
        }
        m_ignorableNext = false;
        if (m_ucSkip > 0) {
            --m_ucSkip;
            return;
        }
        if (v >= 0)
            textByte(static_cast<unsigned char>(v));
        return;
    }
    if (c == '*') {
        m_ignorableNext = true;
        return;
    }
    m_ignorableNext = false;
    flushBytes();
    if (m_ucSkip > 0) {
        --m_ucSkip;
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        appendChar(char16_t(c));
        break;
    case '~':
        appendChar(0x00A0);
        break;
    case '-':
        appendChar(0x00AD);
        break;
    case '_':
        appendChar(0x2011);
        break;
    case '\r':
    case '\n':
        if (m_st.dest == Dest::Text)
            endParagraph();
        break;
    default:
        break;  // \| \: and the like carry nothing we show
    }
}

void Parser::handleWord(std::string_view word, bool hasParam, int param)
{
    const bool ignorable = m_ignorableNext;
    m_ignorableNext = false;
    const auto& table = wordTable();
    const auto it = table.find(word);
    if (it == table.end()) {
        // An unknown destination marked with \* is skipped whole; other
        // unknown words are dropped and their text kept.
        if (ignorable)
            m_st.dest = Dest::Skip;
        return;
    }
    const WordInfo info = it->second;
    const bool on = !hasParam || param != 0;

    switch (info.op) {
    case Op::FontTable: case Op::ColorTable: case Op::SkipDest: case Op::ObjectDest:
    case Op::ResultDest: case Op::FldRslt: case Op::Upr: case Op::Ud: case Op::KeepText:
        handleDestination(info.op, ignorable);
        return;
    default:
        break;
    }
    if (ignorable) {
        // A known word that is no destination, marked with \*: still a group
        // meant for readers that know more than we do.
        m_st.dest = Dest::Skip;
        return;
    }

    // Words that count wherever they stand.
    switch (info.op) {
    case Op::Rtf:
        return;
    case Op::Ansi:
        if (!m_docCodepageNamed) m_docCodepage = 1252;
        return;
    case Op::Mac:
        if (!m_docCodepageNamed) m_docCodepage = 10000;
        return;
    case Op::Pc:
        if (!m_docCodepageNamed) m_docCodepage = 437;
        return;
    case Op::Pca:
        if (!m_docCodepageNamed) m_docCodepage = 850;
        return;
    case Op::AnsiCpg:
        if (hasParam && codecName(param)) {
            m_docCodepage = param;
            m_docCodepageNamed = true;
        }
        return;
    case Op::Deff:
        m_deff = param;
        m_formats.clear();
        return;
    case Op::Uc:
        m_st.uc = clampInt(param, 0, 255);
        return;
    case Op::U: {
        int v = param;
        if (v < 0)
            v += 65536;
        appendChar(char16_t(clampInt(v, 0, 0xFFFF)));
        m_ucSkip = m_st.uc;
        return;
    }
    default:
        break;
    }

    if (m_st.dest == Dest::FontTable) {
        switch (info.op) {
        case Op::Font:
            endFontEntry();
            m_tableFont = param;
            m_fonts[param] = FontEntry{};
            m_formats.clear();
            return;
        case Op::FCharset:
            if (m_fonts.contains(m_tableFont))
                m_fonts[m_tableFont].codepage = codepageOfCharset(param);
            return;
        case Op::Cpg:
            if (m_fonts.contains(m_tableFont) && codecName(param))
                m_fonts[m_tableFont].codepage = param;
            return;
        default:
            if (info.op == Op::Char || info.op == Op::Tab)
                break;  // characters in a font name
            return;
        }
    }
    if (m_st.dest == Dest::ColorTable) {
        switch (info.op) {
        case Op::Red: m_red = clampInt(param, 0, 255); m_colorGiven = true; return;
        case Op::Green: m_green = clampInt(param, 0, 255); m_colorGiven = true; return;
        case Op::Blue: m_blue = clampInt(param, 0, 255); m_colorGiven = true; return;
        default: return;
        }
    }
    if (!readsText(m_st.dest))
        return;

    CharProps& ch = m_st.ch;
    ParaProps& pa = m_st.pa;
    switch (info.op) {
    case Op::Plain: ch = CharProps{}; break;
    case Op::Bold: ch.bold = on; break;
    case Op::Italic: ch.italic = on; break;
    case Op::Underline: ch.underline = on; break;
    case Op::UlNone: ch.underline = false; break;
    case Op::Strike: ch.strike = on; break;
    case Op::Font: ch.font = hasParam ? param : -1; break;
    case Op::FontSize: ch.halfPoints = hasParam && param > 0 ? clampInt(param, 2, 3276) : 24; break;
    case Op::Cf: ch.fg = std::max(0, param); break;
    case Op::Bg: ch.bg = std::max(0, param); break;

    case Op::Pard: pa = ParaProps{}; break;
    case Op::Ql: pa.align = Align::Left; break;
    case Op::Qc: pa.align = Align::Center; break;
    case Op::Qr: pa.align = Align::Right; break;
    case Op::Qj: pa.align = Align::Justify; break;
    case Op::Li: pa.li = clampInt(param, -kMaxTwips, kMaxTwips); break;
    case Op::Ri: pa.ri = clampInt(param, -kMaxTwips, kMaxTwips); break;
    case Op::Fi: pa.fi = clampInt(param, -kMaxTwips, kMaxTwips); break;
    case Op::Sb: pa.sb = clampInt(param, 0, kMaxTwips); break;
    case Op::Sa: pa.sa = clampInt(param, 0, kMaxTwips); break;

    case Op::Par:
        if (m_st.dest == Dest::Text)
            endParagraph();
        break;
    case Op::Line: appendChar(QChar::LineSeparator); break;
    case Op::Tab: appendChar(u'\t'); break;
    case Op::Cell: appendChar(u'\t'); break;
    case Op::Char: appendChar(info.ch); break;
    default: break;
    }
}

void Parser::handleDestination(Op op, bool ignorable)
{
    Dest& dest = m_st.dest;
    switch (op) {
    case Op::FontTable:
        if (dest == Dest::Text) dest = Dest::FontTable;
        else dest = Dest::Skip;
        return;
    case Op::ColorTable:
        if (dest == Dest::Text) {
            dest = Dest::ColorTable;
            m_colors.clear();
            m_formats.clear();
            m_colorGiven = false;
        } else {
            dest = Dest::Skip;
        }
        return;
    case Op::SkipDest:
        dest = Dest::Skip;
        return;
    case Op::ObjectDest:
        dest = dest == Dest::Text ? Dest::Object : Dest::Skip;
        return;
    case Op::ResultDest:
        // An object's result is the text (or picture) it shows in place.
        dest = dest == Dest::Object ? Dest::Text : Dest::Skip;
        return;
    case Op::FldRslt:
        if (dest != Dest::Text) dest = Dest::Skip;
        return;
    case Op::Upr:
        m_st.uprReturn = dest;
        dest = Dest::Upr;
        return;
    case Op::Ud:
        // Only \ud directly inside \upr: it brings back what \upr hid.
        if (m_st.uprChild && !m_stack.empty())
            dest = m_stack.back().uprReturn;
        else
            dest = Dest::Skip;
        return;
    case Op::KeepText:
        if (ignorable) dest = Dest::Skip;
        return;
    default:
        return;
    }
}

int Parser::currentCodepage() const
{
    const int font = m_st.dest == Dest::FontTable ? m_tableFont : (m_st.ch.font >= 0 ? m_st.ch.font : m_deff);
    const auto it = m_fonts.constFind(font);
    if (it != m_fonts.constEnd() && it->codepage != 0)
        return it->codepage;
    return m_docCodepage;
}

const ByteTable& Parser::byteTable(int cp)
{
    auto it = m_tables.find(cp);
    if (it != m_tables.end())
        return it->second;
    ByteTable t;
    for (int b = 0; b < 256; ++b)
        t[b] = Cp1252::toUnicode(static_cast<unsigned char>(b));
    if (cp != 1252) {
        if (const char* name = codecName(cp)) {
            QStringDecoder dec(name, QStringConverter::Flag::Stateless);
            if (dec.isValid()) {
                for (int b = 0x80; b < 256; ++b) {
                    const char byte = char(b);
                    const QString s = dec.decode(QByteArrayView(&byte, 1));
                    if (s.size() == 1 && !dec.hasError())
                        t[b] = s.at(0).unicode();
                    dec.resetState();
                }
            }
        }
    }
    return m_tables.emplace(cp, t).first->second;
}

void Parser::textByte(unsigned char b)
{
    if (!m_pendingBytes.isEmpty()) {
        if (m_needTrail) {
            m_pendingBytes.append(char(b));
            m_needTrail = false;
            return;
        }
    }
    if (b < 0x80) {
        flushBytes();
        appendChar(b);
        return;
    }
    const int cp = currentCodepage();
    if (isDoubleByte(cp)) {
        if (!m_pendingBytes.isEmpty() && m_pendingCodepage != cp)
            flushBytes();
        m_pendingCodepage = cp;
        m_pendingBytes.append(char(b));
        m_needTrail = true;
        return;
    }
    flushBytes();
    appendChar(byteTable(cp)[b]);
}

void Parser::flushBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    const QByteArray bytes = m_pendingBytes;
    m_pendingBytes.clear();
    m_needTrail = false;
    auto& dec = m_decoders[m_pendingCodepage];
    if (!dec)
        dec = std::make_unique<QStringDecoder>(codecName(m_pendingCodepage), QStringConverter::Flag::Stateless);
    QString s;
    if (dec->isValid()) {
        dec->resetState();
        s = dec->decode(bytes);
    } else {
        for (char b : bytes)
            s.append(QChar(Cp1252::toUnicode(static_cast<unsigned char>(b))));
    }
    for (QChar c : std::as_const(s))
        appendChar(c.unicode());
}

void Parser::appendChar(char16_t ch)
{
    if (!m_pendingBytes.isEmpty())
        flushBytes();
    // Controls, paragraph and frame marks and object placeholders would
    // change the document's structure, not its text.
    if ((ch < 0x20 && ch != u'\t') || ch == 0x7F || ch == QChar::ParagraphSeparator || ch == 0xFDD0
        || ch == 0xFDD1 || ch == QChar::ObjectReplacementCharacter)
        return;
    switch (m_st.dest) {
    case Dest::Text:
        textChar(ch);
        break;
    case Dest::FontTable:
        // A font name has no tabs or line breaks; the writer leaves them
        // out too, so names read back the same.
        if (ch == u';')
            endFontEntry();
        else if (ch != u'\t' && ch != QChar::LineSeparator && m_fontName.size() < 256)
            m_fontName.append(QChar(ch));
        break;
    case Dest::ColorTable:
        if (ch == u';')
            endColorEntry();
        break;
    default:
        break;
    }
}

void Parser::endFontEntry()
{
    m_formats.clear();
    if (m_fonts.contains(m_tableFont) && m_fonts[m_tableFont].name.isEmpty())
        m_fonts[m_tableFont].name = m_fontName.trimmed();
    m_fontName.clear();
}

void Parser::endColorEntry()
{
    m_formats.clear();
    if (m_colors.size() < 4096)
        m_colors.push_back(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
    m_red = m_green = m_blue = 0;
    m_colorGiven = false;
}

void Parser::textChar(char16_t ch)
{
    if (m_pendingPar)
        startPendingParagraph();
    if (!(m_st.ch == m_runProps)) {
        flushRun();
        m_runProps = m_st.ch;
    }
    m_run.append(QChar(ch));
}

void Parser::flushRun()
{
    if (m_run.isEmpty())
        return;
    m_cur.insertText(m_run, charFormat(m_runProps));
    m_run.resize(0);
}

void Parser::startPendingParagraph()
{
    m_pendingPar = false;
    m_cur.insertBlock();
}

// A paragraph mark: the paragraph gets the properties in force now. The next
// paragraph is made only when something follows, so the final \par of a file
// ends the last paragraph instead of adding an empty one.
void Parser::endParagraph()
{
    flushRun();
    if (m_pendingPar)
        startPendingParagraph();
    m_cur.setBlockFormat(blockFormat(m_st.pa));
    m_cur.setBlockCharFormat(charFormat(m_st.ch));
    m_pendingPar = true;
}

void Parser::finish()
{
    flushBytes();
    flushRun();
    if (!m_pendingPar) {
        m_cur.setBlockFormat(blockFormat(m_st.pa));
        m_cur.setBlockCharFormat(charFormat(m_st.ch));
    }
}

const QTextCharFormat& Parser::charFormat(const CharProps& props)
{
    auto it = m_formats.find(props);
    if (it == m_formats.end())
        it = m_formats.emplace(props, makeCharFormat(props)).first;
    return it->second;
}

QTextCharFormat Parser::makeCharFormat(const CharProps& props) const
{
    QTextCharFormat f;
    auto font = m_fonts.constFind(props.font >= 0 ? props.font : m_deff);
    if (font == m_fonts.constEnd())
        font = m_fonts.constFind(m_deff);
    if (font != m_fonts.constEnd())
        f.setFontFamilies(QStringList{font->name});
    f.setFontPointSize(props.halfPoints / 2.0);
    f.setFontWeight(props.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(props.italic);
    f.setFontUnderline(props.underline);
    f.setFontStrikeOut(props.strike);
    if (props.fg > 0 && std::size_t(props.fg) < m_colors.size() && m_colors[props.fg].isValid())
        f.setForeground(m_colors[props.fg]);
    if (props.bg > 0 && std::size_t(props.bg) < m_colors.size() && m_colors[props.bg].isValid())
        f.setBackground(m_colors[props.bg]);
    return f;
}

QTextBlockFormat Parser::blockFormat(const ParaProps& props)
{
    QTextBlockFormat f;
    switch (props.align) {
    case Align::Left: f.setAlignment(Qt::AlignLeft); break;
    case Align::Center: f.setAlignment(Qt::AlignHCenter); break;
    case Align::Right: f.setAlignment(Qt::AlignRight); break;
    case Align::Justify: f.setAlignment(Qt::AlignJustify); break;
    }
    // Qt measures in pixels at 96 dots per inch: 15 twips each.
    f.setLeftMargin(props.li / 15.0);
    f.setRightMargin(props.ri / 15.0);
    f.setTextIndent(props.fi / 15.0);
    f.setTopMargin(props.sb / 15.0);
    f.setBottomMargin(props.sa / 15.0);
    return f;
}

qsizetype rtfStart(const QByteArray& data)
{
    qsizetype i = 0;
    if (data.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    return QByteArrayView(data).sliced(i).startsWith("{\\rtf") ? i : -1;
}

}  // namespace

namespace RtfReader {

bool isRtf(const QByteArray& data) { return rtfStart(data) >= 0; }

bool read(const QByteArray& data, QTextDocument& doc)
{
    const qsizetype start = rtfStart(data);
    if (start < 0)
        return false;
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    {
        // Clearing inside the edit block makes the whole load one change
        // that replaces everything, which a document layout (the box's) takes
        // as a fresh document and lays out in steps instead of at once.
        QTextCursor cursor(&doc);
        cursor.beginEditBlock();
        doc.clear();
        cursor.setPosition(0);
        const QByteArray body = QByteArray::fromRawData(data.constData() + start, data.size() - start);
        Parser(body, cursor).run();
        cursor.endEditBlock();
    }
    doc.setUndoRedoEnabled(undo);
    doc.setModified(false);
    return true;
}

QTextDocumentFragment readFragment(const QByteArray& data)
{
    QTextDocument doc;
    if (!read(data, doc))
        return {};
    return QTextDocumentFragment(&doc);
}

QString decodePlainText(const QByteArray& data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.constData() + 3, data.size() - 3);
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder dec(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return dec.decode(QByteArrayView(data).sliced(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    QString latin;
    latin.reserve(data.size());
    for (char b : data)
        latin.append(QChar(Cp1252::toUnicode(static_cast<unsigned char>(b))));
    return latin;
}

}  // namespace RtfReader
