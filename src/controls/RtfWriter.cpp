#include "controls/RtfWriter.h"

#include "controls/Cp1252.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The reader clamps to the same ranges, so what we write reads back as is.
constexpr int kMaxTwips = 31680;

struct RunProps {
    int font = 0;
    int halfPoints = 24;
    int fg = 0;
    int bg = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const RunProps&) const = default;
};

struct ParaProps {
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;
    bool operator==(const ParaProps&) const = default;
};

// Appends RTF tokens and puts a blank after a control word only where the
// next character would otherwise run into it.
class Emitter {
public:
    QByteArray out;

    void word(const char* name)
    {
        out += '\\';
        out += name;
        m_needDelim = true;
    }
    void word(const char* name, int param)
    {
        word(name);
        out += QByteArray::number(param);
    }
    void newline()
    {
        out += "\r\n";
        m_needDelim = false;
    }
    void raw(const char* s)
    {
        out += s;
        m_needDelim = false;
    }
    void plain(char c)
    {
        if (m_needDelim)
            out += ' ';
        m_needDelim = false;
        out += c;
    }
    // One character of text; false when it is not written at all. In a font
    // name the ';' that ends the name and the tab and line words are left out.
    bool character(char16_t c, bool fontName)
    {
        switch (c) {
        case u'\\': raw("\\\\"); return true;
        case u'{': raw("\\{"); return true;
        case u'}': raw("\\}"); return true;
        case u';':
            if (fontName)
                return false;
            plain(';');
            return true;
        case u'\t':
            if (fontName)
                return false;
            word("tab");
            return true;
        case QChar::LineSeparator:
            if (fontName)
                return false;
            word("line");
            return true;
        case QChar::Nbsp: raw("\\~"); return true;
        default:
            break;
        }
        if (dropped(c))
            return false;
        if (c < 0x80) {
            plain(char(c));
            return true;
        }
        const int byte = Cp1252::fromUnicode(c);
        if (byte >= 0) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
            m_needDelim = false;
            return true;
        }
        // \uc1 is in force: one '?' for readers that do not know \u. The
        // blank before it is the word's delimiter; some readers (pandoc)
        // take any character after the number for one.
        out += "\\u";
        out += QByteArray::number(int(std::int16_t(c)));
        out += " ?";
        m_needDelim = false;
        return true;
    }

    // Characters that stand for document structure (paragraph and frame
    // marks, embedded objects) or are controls: never written as text.
    static bool dropped(char16_t c)
    {
        return (c < 0x20 && c != u'\t') || c == 0x7F || c == QChar::ParagraphSeparator
            || c == QChar::ObjectReplacementCharacter || c == 0xFDD0 || c == 0xFDD1;
    }

private:
    bool m_needDelim = false;
};

class Writer {
public:
    explicit Writer(const QTextDocument& doc) : m_doc(doc), m_defaultFont(doc.defaultFont()) {}

    QByteArray run();

private:
    void paragraph(const QTextBlock& block, bool first);
    void apply(const RunProps& p);
    RunProps runProps(const QTextCharFormat& f);
    ParaProps paraProps(const QTextBlockFormat& f) const;
    QString family(const QTextCharFormat& f) const;
    int fontIndex(const QString& family);
    int colorIndex(const QBrush& brush);
    QByteArray header() const;

    const QTextDocument& m_doc;
    const QFont m_defaultFont;
    Emitter m_body;
    RunProps m_current;  // the state a reader is in: RTF's defaults at the start
    ParaProps m_para;
    QHash<QString, int> m_fontIndex;
    QStringList m_fonts;
    QHash<QRgb, int> m_colorIndex;
    std::vector<QRgb> m_colors;
};

QByteArray Writer::run()
{
    bool first = true;
    for (QTextBlock block = m_doc.begin(); block.isValid(); block = block.next()) {
        paragraph(block, first);
        first = false;
    }
    if (m_fonts.isEmpty())
        fontIndex(m_defaultFont.family());
    QByteArray out = header();
    out += m_body.out;
    out += '}';
    return out;
}

void Writer::paragraph(const QTextBlock& block, bool first)
{
    const ParaProps para = paraProps(block.blockFormat());
    if (first || !(para == m_para)) {
        m_body.word("pard");
        static const char* const align[] = {nullptr, "qc", "qr", "qj"};
        if (para.align != 0)
            m_body.word(align[para.align]);
        if (para.li != 0) m_body.word("li", para.li);
        if (para.ri != 0) m_body.word("ri", para.ri);
        if (para.fi != 0) m_body.word("fi", para.fi);
        if (para.sb != 0) m_body.word("sb", para.sb);
        if (para.sa != 0) m_body.word("sa", para.sa);
        m_para = para;
    }
    bool empty = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        // Formatting goes out only in front of a character that is written,
        // so a fragment holding nothing we write leaves no trace.
        const RunProps props = runProps(fragment.charFormat());
        const QString text = fragment.text();
        for (QChar c : text) {
            if (Emitter::dropped(c.unicode()))
                continue;
            if (!(props == m_current))
                apply(props);
            m_body.character(c.unicode(), false);
            empty = false;
        }
    }
    // An empty paragraph keeps the formatting of its mark: what the user
    // types there gets it.
    if (empty)
        apply(runProps(block.charFormat()));
    m_body.word("par");
    m_body.newline();
}

void Writer::apply(const RunProps& p)
{
    RunProps& c = m_current;
    Emitter& e = m_body;
    if (p.font != c.font) e.word("f", p.font);
    if (p.halfPoints != c.halfPoints) e.word("fs", p.halfPoints);
    if (p.bold != c.bold) p.bold ? e.word("b") : e.word("b", 0);
    if (p.italic != c.italic) p.italic ? e.word("i") : e.word("i", 0);
    if (p.underline != c.underline) p.underline ? e.word("ul") : e.word("ulnone");
    if (p.strike != c.strike) p.strike ? e.word("strike") : e.word("strike", 0);
    if (p.fg != c.fg) e.word("cf", p.fg);
    if (p.bg != c.bg) e.word("highlight", p.bg);
    c = p;
}

QString Writer::family(const QTextCharFormat& f) const
{
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty())
        return families.first();
    if (f.hasProperty(QTextFormat::FontFamily))
        return f.stringProperty(QTextFormat::FontFamily);
    return m_defaultFont.family();
}

RunProps Writer::runProps(const QTextCharFormat& f)
{
    RunProps p;
    p.font = fontIndex(family(f));

    double points = 0;
    if (f.hasProperty(QTextFormat::FontPointSize))
        points = f.doubleProperty(QTextFormat::FontPointSize);
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (points <= 0)
        points = m_defaultFont.pointSizeF() > 0 ? m_defaultFont.pointSizeF() : m_defaultFont.pixelSize() * 0.75;
    p.halfPoints = points > 0 ? std::clamp(qRound(points * 2), 2, 3276) : 24;

    p.bold = (f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() : m_defaultFont.weight()) >= QFont::DemiBold;
    p.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : m_defaultFont.italic();
    if (f.hasProperty(QTextFormat::TextUnderlineStyle))
        p.underline = f.underlineStyle() != QTextCharFormat::NoUnderline;
    else if (f.hasProperty(QTextFormat::FontUnderline))
        p.underline = f.boolProperty(QTextFormat::FontUnderline);
    else
        p.underline = m_defaultFont.underline();
    p.strike = f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : m_defaultFont.strikeOut();
    if (f.hasProperty(QTextFormat::ForegroundBrush))
        p.fg = colorIndex(f.foreground());
    if (f.hasProperty(QTextFormat::BackgroundBrush))
        p.bg = colorIndex(f.background());
    return p;
}

ParaProps Writer::paraProps(const QTextBlockFormat& f) const
{
    ParaProps p;
    const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
    if (h & Qt::AlignJustify)
        p.align = 3;
    else if (h & Qt::AlignHCenter)
        p.align = 1;
    else if (h & Qt::AlignRight)
        p.align = 2;
    // Qt counts in pixels at 96 dots per inch, 15 twips each; QTextEdit's
    // indent steps are pixels too.
    auto twips = [](double px, int lo) { return std::clamp(qRound(px * 15), lo, kMaxTwips); };
    p.li = twips(f.leftMargin() + f.indent() * m_doc.indentWidth(), -kMaxTwips);
    p.ri = twips(f.rightMargin(), -kMaxTwips);
    p.fi = twips(f.textIndent(), -kMaxTwips);
    p.sb = twips(f.topMargin(), 0);
    p.sa = twips(f.bottomMargin(), 0);
    return p;
}

int Writer::fontIndex(const QString& family)
{
    const auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.constEnd())
        return *it;
    const int index = int(m_fonts.size());
    m_fonts.append(family);
    m_fontIndex.insert(family, index);
    return index;
}

int Writer::colorIndex(const QBrush& brush)
{
    if (brush.style() == Qt::NoBrush)
        return 0;
    const QRgb rgb = brush.color().rgb() & 0xFFFFFF;
    const auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.constEnd())
        return *it;
    m_colors.push_back(rgb);
    const int index = int(m_colors.size());  // index 0 is "automatic"
    m_colorIndex.insert(rgb, index);
    return index;
}

QByteArray Writer::header() const
{
    Emitter e;
    e.raw("{");
    e.word("rtf", 1);
    e.word("ansi");
    e.word("ansicpg", 1252);
    e.word("deff", 0);
    e.word("uc", 1);
    e.raw("{");
    e.word("fonttbl");
    for (int i = 0; i < m_fonts.size(); ++i) {
        e.raw("{");
        e.word("f", i);
        e.word("fnil");
        e.word("fcharset", 0);
        for (QChar c : m_fonts[i])
            e.character(c.unicode(), true);
        e.plain(';');
        e.raw("}");
    }
    e.raw("}");
    e.newline();
    e.raw("{");
    e.word("colortbl");
    e.plain(';');
    for (QRgb rgb : m_colors) {
        e.word("red", qRed(rgb));
        e.word("green", qGreen(rgb));
        e.word("blue", qBlue(rgb));
        e.raw(";");
    }
    e.raw("}");
    e.newline();
    e.raw("{\\*\\generator Tessaly 2002;}");
    e.word("viewkind", 4);
    e.newline();
    return e.out;
}

}  // namespace

namespace RtfWriter {

QByteArray write(const QTextDocument& doc) { return Writer(doc).run(); }

QByteArray writeSelection(const QTextCursor& cursor)
{
    const QTextDocument* source = cursor.document();
    QTextDocument doc;
    if (!source)
        return write(doc);
    doc.setDefaultFont(source->defaultFont());
    doc.setIndentWidth(source->indentWidth());
    QTextCursor target(&doc);
    if (cursor.hasSelection()) {
        target.insertFragment(cursor.selection());
        // Each paragraph the selection touches keeps its alignment and
        // indents, also when only part of it is selected.
        QTextBlock from = source->findBlock(cursor.selectionStart());
        const QTextBlock last = source->findBlock(cursor.selectionEnd());
        for (QTextBlock to = doc.begin(); to.isValid() && from.isValid(); to = to.next(), from = from.next()) {
            QTextCursor(to).setBlockFormat(from.blockFormat());
            if (from == last)
                break;
        }
    } else {
        // Nothing selected: the paragraph's format and the format that
        // typing at the insertion point would get.
        target.setBlockFormat(cursor.blockFormat());
        target.setBlockCharFormat(cursor.charFormat());
    }
    return write(doc);
}

}  // namespace RtfWriter
