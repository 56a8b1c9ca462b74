#include "rtf/RtfParser.h"

#include <limits>

namespace Rtf {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
// A byte that is text as it stands: printable ASCII but for the three
// characters RTF gives a meaning.
bool isPlain(char c)
{
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

void Parser::run()
{
    while (m_p < m_end) {
        if (m_stop && (++m_steps & 0xfff) == 0 && m_stop->load(std::memory_order_relaxed))
            break;
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
            if (m_st.dest == Dest::Pict) {
                m_pict.hex.append(c);  // hex digits of the picture; the rest is ignored when decoded
                break;
            }
            if (m_ucSkip > 0) {
                --m_ucSkip;
                break;
            }
            if (m_st.dest == Dest::Text && isPlain(c) && m_pendingBytes.isEmpty()) {
                // Most of a note is plain ASCII text: taken as one span
                // instead of byte by byte.
                const char* start = m_p - 1;
                while (m_p < m_end && isPlain(*m_p))
                    ++m_p;
                textSpan(QLatin1StringView(start, m_p - start));
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
    m_st.owner = false;
    m_st.start = m_p - 1 - m_data.constData();
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
    if (!inner.owner)
        return;
    switch (inner.dest) {
    case Dest::Pict:
        endPicture(inner);
        break;
    case Dest::Footnote:
        if (m_notes.size() < 10000)
            m_notes << m_note.simplified();
        break;
    case Dest::Pn:
        // \pn describes the paragraph it stands in, not just its own group.
        m_st.pa.pnStyle = inner.pa.pnStyle;
        m_st.pa.pnLevel = inner.pa.pnLevel;
        m_st.pa.pnStart = inner.pa.pnStart;
        break;
    default:
        break;
    }
}

void Parser::controlWord()
{
    m_wordStart = m_p - 1;
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
        if (m_st.dest == Dest::Pict)
            m_pict.bin.append(m_p, qsizetype(n));
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

    switch (info.op) {
    case Op::FontTable:
    case Op::ColorTable:
    case Op::SkipDest:
    case Op::ObjectDest:
    case Op::ResultDest:
    case Op::FldRslt:
    case Op::Upr:
    case Op::Ud:
    case Op::KeepText:
    case Op::Container:
    case Op::ListTable:
    case Op::ListOverrideTable:
    case Op::LevelText:
    case Op::PnDest:
    case Op::Pict:
    case Op::Footnote:
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

    // Words that count wherever they stand; the document's own settings
    // only in its text, not in a picture or a group we skip.
    const bool document = m_st.dest == Dest::Text;
    switch (info.op) {
    case Op::Rtf:
        return;
    case Op::Ansi:
        if (document && !m_docCodepageNamed)
            m_docCodepage = 1252;
        return;
    case Op::Mac:
        if (document && !m_docCodepageNamed)
            m_docCodepage = 10000;
        return;
    case Op::Pc:
        if (document && !m_docCodepageNamed)
            m_docCodepage = 437;
        return;
    case Op::Pca:
        if (document && !m_docCodepageNamed)
            m_docCodepage = 850;
        return;
    case Op::AnsiCpg:
        if (document && hasParam && codecName(param)) {
            m_docCodepage = param;
            m_docCodepageNamed = true;
        }
        return;
    case Op::Deff:
        if (document) {
            m_deff = param;
            m_formats.clear();
        }
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

    if (tableWord(info, param) || listWord(info, param) || pictWord(info, param))
        return;
    const Dest d = m_st.dest;
    if (d != Dest::Text && d != Dest::ListText && d != Dest::Footnote)
        return;
    if (charWord(info.op, hasParam, param) || paraWord(info, hasParam, param))
        return;
    if (d == Dest::Text)
        rowWord(info, param);
}

void Parser::handleDestination(Op op, bool ignorable)
{
    Dest& dest = m_st.dest;
    const Dest parent = dest;
    switch (op) {
    case Op::FontTable:
        dest = parent == Dest::Text ? Dest::FontTable : Dest::Skip;
        return;
    case Op::ColorTable:
        if (parent == Dest::Text) {
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
        dest = parent == Dest::Text ? Dest::Object : Dest::Skip;
        return;
    case Op::ResultDest:
        // An object's result is the text (or picture) it shows in place.
        dest = parent == Dest::Object ? Dest::Text : Dest::Skip;
        return;
    case Op::FldRslt:
        if (parent != Dest::Text)
            dest = Dest::Skip;
        return;
    case Op::Upr:
        m_st.uprReturn = parent;
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
        if (ignorable)
            dest = Dest::Skip;
        else if (parent == Dest::Text)
            dest = Dest::ListText;
        return;
    case Op::Container:
        return;
    case Op::ListTable:
        dest = parent == Dest::Text ? Dest::ListTable : Dest::Skip;
        return;
    case Op::ListOverrideTable:
        dest = parent == Dest::Text ? Dest::ListOverrides : Dest::Skip;
        return;
    case Op::LevelText:
        dest = parent == Dest::ListTable && !m_listDefs.empty() && m_levelIndex >= 0 ? Dest::LevelText : Dest::Skip;
        return;
    case Op::PnDest:
    case Op::Pict:
    case Op::Footnote:
        if (parent != Dest::Text) {
            dest = Dest::Skip;
            return;
        }
        m_st.owner = true;
        if (op == Op::PnDest) {
            dest = Dest::Pn;
            m_st.pa.pnStyle = QTextListFormat::ListDecimal;
            m_st.pa.pnLevel = 0;
            m_st.pa.pnStart = 1;
        } else if (op == Op::Pict) {
            dest = Dest::Pict;
            m_pict = Picture{};
            // A kept picture is the group from \pict on: text before it in
            // the same group is the document's already.
            m_st.start = m_wordStart - m_data.constData();
        } else {
            flushRun();
            dest = Dest::Footnote;
            m_note.clear();
        }
        return;
    default:
        return;
    }
}

}  // namespace Rtf
