#include "rtf/Cp1252.h"
#include "rtf/RtfParser.h"

namespace Rtf {

int codepageOfCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;  // ANSI, default, symbol: the document's code page
    }
}

bool isDoubleByte(int cp)
{
    return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361;
}

const char* codecName(int cp)
{
    switch (cp) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 874:
        return "windows-874";
    case 932:
        return "windows-932";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1361:
        return "johab";
    case 10000:
        return "macintosh";
    default:
        break;
    }
    if (cp >= 1250 && cp <= 1258) {
        static const char* const names[] = {"windows-1250", "windows-1251", "windows-1252",
                                            "windows-1253", "windows-1254", "windows-1255",
                                            "windows-1256", "windows-1257", "windows-1258"};
        return names[cp - 1250];
    }
    return nullptr;
}

bool Parser::tableWord(const WordInfo& info, int param)
{
    if (m_st.dest == Dest::FontTable) {
        switch (info.op) {
        case Op::Font:
            endFontEntry();
            m_tableFont = param;
            m_fonts[param] = FontEntry{};
            m_formats.clear();
            break;
        case Op::FCharset:
            if (m_fonts.contains(m_tableFont))
                m_fonts[m_tableFont].codepage = codepageOfCharset(param);
            break;
        case Op::Cpg:
            if (m_fonts.contains(m_tableFont) && codecName(param))
                m_fonts[m_tableFont].codepage = param;
            break;
        case Op::Char:
            appendChar(info.ch);  // characters in a font name
            break;
        default:
            break;
        }
        return true;
    }
    if (m_st.dest == Dest::ColorTable) {
        switch (info.op) {
        case Op::Red:
            m_red = clampInt(param, 0, 255);
            m_colorGiven = true;
            break;
        case Op::Green:
            m_green = clampInt(param, 0, 255);
            m_colorGiven = true;
            break;
        case Op::Blue:
            m_blue = clampInt(param, 0, 255);
            m_colorGiven = true;
            break;
        default:
            break;
        }
        return true;
    }
    return false;
}

bool Parser::charWord(Op op, bool hasParam, int param)
{
    const bool on = !hasParam || param != 0;
    CharProps& ch = m_st.ch;
    switch (op) {
    case Op::Plain:
        ch = CharProps{};
        return true;
    case Op::Bold:
        ch.bold = on;
        return true;
    case Op::Italic:
        ch.italic = on;
        return true;
    case Op::Underline:
        ch.underline = on;
        return true;
    case Op::UlNone:
        ch.underline = false;
        return true;
    case Op::Strike:
        ch.strike = on;
        return true;
    case Op::Font:
        ch.font = hasParam ? param : -1;
        return true;
    case Op::FontSize:
        ch.halfPoints = hasParam && param > 0 ? clampInt(param, 2, 3276) : 24;
        return true;
    case Op::Cf:
        ch.fg = std::max(0, param);
        return true;
    case Op::Bg:
        ch.bg = std::max(0, param);
        return true;
    default:
        return false;
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
    if ((ch < 0x20 && ch != u'\t') || ch == 0x7F || ch == QChar::ParagraphSeparator || ch == 0xFDD0 || ch == 0xFDD1
        || ch == QChar::ObjectReplacementCharacter)
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
    case Dest::ListText:
        listTextChar(ch);
        break;
    case Dest::LevelText: {
        QString& text = m_listDefs.back().levels[std::size_t(m_levelIndex)].text;
        if (ch != u';' && text.size() < 32)
            text.append(QChar(ch));
        break;
    }
    case Dest::Footnote:
        if (m_note.size() < 65536)
            m_note.append(QChar(ch));
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
    beginText();
    if (!(m_st.ch == m_runProps)) {
        flushRun();
        m_runProps = m_st.ch;
    }
    m_run.append(QChar(ch));
}

void Parser::textSpan(QLatin1StringView text)
{
    beginText();
    if (!(m_st.ch == m_runProps)) {
        flushRun();
        m_runProps = m_st.ch;
    }
    m_run.append(text);
}

void Parser::insertRun(const QString& text, const QTextCharFormat& format)
{
    m_cur.insertText(text, format);
}

void Parser::flushRun()
{
    if (m_run.isEmpty())
        return;
    insertRun(m_run, charFormat(m_runProps));
    m_run.resize(0);
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

}  // namespace Rtf
