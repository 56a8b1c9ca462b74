#include "rtf/RtfWriter.h"

#include "rtf/RtfWriterCore.h"

#include <QColor>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <algorithm>

namespace Rtf {

QByteArray Writer::run()
{
    frame(m_doc.rootFrame());
    if (m_fonts.isEmpty())
        fontIndex(m_defaultFont.family());
    QByteArray out = header();
    out += m_body.out;
    out += '}';
    return out;
}

void Writer::apply(const RunProps& p)
{
    RunProps& c = m_current;
    Emitter& e = m_body;
    if (p.font != c.font)
        e.word("f", p.font);
    if (p.halfPoints != c.halfPoints)
        e.word("fs", p.halfPoints);
    if (p.bold != c.bold)
        p.bold ? e.word("b") : e.word("b", 0);
    if (p.italic != c.italic)
        p.italic ? e.word("i") : e.word("i", 0);
    if (p.underline != c.underline)
        p.underline ? e.word("ul") : e.word("ulnone");
    if (p.strike != c.strike)
        p.strike ? e.word("strike") : e.word("strike", 0);
    if (p.fg != c.fg)
        e.word("cf", p.fg);
    if (p.bg != c.bg)
        e.word("highlight", p.bg);
    c = p;
}

// A character of text in the font a reader is in: in a face of another
// character set \'hh would be read in that set, so everything outside ASCII
// goes out as \u there.
void Writer::text(char16_t c)
{
    m_body.unicodeOnly =
        std::size_t(m_current.font) < m_unicodeFont.size() && m_unicodeFont[std::size_t(m_current.font)];
    m_body.character(c, false);
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

int Writer::fontIndex(const QString& family)
{
    const auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.constEnd())
        return *it;
    const int index = int(m_fonts.size());
    m_fonts.append(family);
    m_unicodeFont.push_back(fontClass(family).charset != 0);
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
        const FontClass c = fontClass(m_fonts[i]);
        e.word(c.family);
        e.word("fcharset", c.charset);
        // The name is read in the face's own character set too.
        e.unicodeOnly = c.charset != 0;
        for (QChar ch : m_fonts[i])
            e.character(ch.unicode(), true);
        e.unicodeOnly = false;
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
    listTable(e);
    e.raw("{\\*\\generator Tessaly 2002;}");
    e.word("viewkind", 4);
    e.newline();
    return e.out;
}

}  // namespace Rtf

namespace {

// A paragraph format of another document for a block of ours: the list it
// belongs to is one of that document, so the block keeps its own (or none).
QTextBlockFormat ownFormat(QTextBlockFormat format, const QTextBlock& block)
{
    format.clearProperty(QTextFormat::ObjectIndex);
    if (block.blockFormat().hasProperty(QTextFormat::ObjectIndex))
        format.setObjectIndex(block.blockFormat().objectIndex());
    return format;
}

}  // namespace

namespace RtfWriter {

QByteArray write(const QTextDocument& doc)
{
    return Rtf::Writer(doc).run();
}

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
            QTextCursor(to).setBlockFormat(ownFormat(from.blockFormat(), to));
            if (from == last)
                break;
        }
    } else {
        // Nothing selected: the paragraph's format and the format that
        // typing at the insertion point would get.
        target.setBlockFormat(ownFormat(cursor.blockFormat(), target.block()));
        target.setBlockCharFormat(cursor.charFormat());
    }
    return write(doc);
}

}  // namespace RtfWriter
