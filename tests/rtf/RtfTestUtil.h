#pragma once

// Helpers shared by the RTF and rich-text box tests: a document as a short
// text, so a table row can state it.

#include "rtf/RtfFormats.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"
#include "support/Files.h"

#include <QTest>

#include <QTextCursor>
#include <QTextList>
#include <QTextTable>

namespace RtfTest {

// A 2x1 red PNG, in hex.
inline constexpr char kPng[] = "89504e470d0a1a0a0000000d49484452000000020000000108020000007b40e8dd0000000d49444154789c6"
                               "3f8cfc000440008fe01ffc69e79f70000000049454e44ae426082";

// "f=Arial fs=10 b i u s raw fg=#ff0000 bg=#00ff00 img=40x30": the font
// family when set (or defaultFamily), the size in points when set, then only
// what is switched on; "raw" marks a kept picture, img an image's size.
inline QString charAttrs(const QTextCharFormat& f, const QString& defaultFamily)
{
    QStringList parts;
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (const QString family = families.isEmpty() ? defaultFamily : families.first(); !family.isEmpty())
        parts << u"f="_qs + family;
    if (f.hasProperty(QTextFormat::FontPointSize))
        parts << u"fs="_qs + QString::number(f.fontPointSize());
    for (const auto& [on, name] : {std::pair(f.fontWeight() >= QFont::DemiBold, "b"),
                                   {f.fontItalic(), "i"},
                                   {f.fontUnderline(), "u"},
                                   {f.fontStrikeOut(), "s"},
                                   {f.hasProperty(RtfFormats::RawPicture), "raw"}})
        if (on)
            parts << QLatin1String(name);
    for (const auto& [property, name] :
         {std::pair(QTextFormat::ForegroundBrush, "fg="), {QTextFormat::BackgroundBrush, "bg="}})
        if (f.hasProperty(property) && f.brushProperty(property).style() != Qt::NoBrush)
            parts << QLatin1String(name) + f.brushProperty(property).color().name();
    if (f.isImageFormat())
        parts << u"img=%1x%2"_qs.arg(f.toImageFormat().width()).arg(f.toImageFormat().height());
    return parts.join(u' ');
}

// The whole document, one line per paragraph: "<paragraph attributes>" in
// twips ("qc li=720 ri=360 fi=-360 sb=120 sa=240", a line height as
// "lh=<Qt's type>:<value>"), a list item's "#list:style.indent" (lists
// numbered as met, QTextListFormat's style), a cell's "@row,column" (with
// "+rows x columns" when merged), then each run of text as
// "[character attributes]text" (an empty paragraph shows its own character
// format). With withDefaultFamily, runs without a family show the one they
// are drawn in.
inline QString describe(const QTextDocument& doc, bool withDefaultFamily = true)
{
    const QString family = withDefaultFamily ? doc.defaultFont().family() : QString();
    QStringList lines;
    QHash<const QTextList*, int> lists;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        QStringList para;
        const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
        if (h & (Qt::AlignJustify | Qt::AlignHCenter | Qt::AlignRight))
            para << QLatin1String((h & Qt::AlignJustify) ? "qj" : (h & Qt::AlignHCenter) ? "qc" : "qr");
        for (const auto& [name, px] : {std::pair("li", f.leftMargin()),
                                       {"ri", f.rightMargin()},
                                       {"fi", f.textIndent()},
                                       {"sb", f.topMargin()},
                                       {"sa", f.bottomMargin()}})
            if (qRound(px * 15) != 0)
                para << u"%1=%2"_qs.arg(QLatin1String(name)).arg(qRound(px * 15));
        if (f.lineHeightType() != QTextBlockFormat::SingleHeight)
            para << u"lh=%1:%2"_qs.arg(f.lineHeightType()).arg(f.lineHeight());
        QString line = u"<"_qs + para.join(u' ') + u'>';
        if (const QTextList* l = b.textList())
            line += u"#%1:%2.%3"_qs.arg(*lists.insert(l, lists.value(l, int(lists.size()) + 1)))
                        .arg(l->format().style())
                        .arg(l->format().indent())
                    + (RtfFormats::listStart(l->format()) != 1 ? u"^%1"_qs.arg(RtfFormats::listStart(l->format()))
                                                               : QString());
        if (const QTextTable* t = QTextCursor(b).currentTable()) {
            const QTextTableCell c = t->cellAt(b.position());
            line += u"@%1,%2"_qs.arg(c.row()).arg(c.column());
            if (c.rowSpan() > 1 || c.columnSpan() > 1)
                line += u"+%1x%2"_qs.arg(c.rowSpan()).arg(c.columnSpan());
        }
        if (b.length() == 1)
            line += u"[%1]"_qs.arg(charAttrs(b.charFormat(), family));
        QString attrs, text;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QString a = charAttrs(it.fragment().charFormat(), family);
            if (a != attrs && !text.isEmpty())
                line += u"[%1]%2"_qs.arg(attrs, std::exchange(text, QString()));
            attrs = a;
            text += it.fragment().text();
        }
        lines << (text.isEmpty() ? line : line + u"[%1]%2"_qs.arg(attrs, text));
    }
    return lines.join(u'\n');
}

// What the writer made of doc is ASCII (bar \bin data), reads back as the
// same document, and writing that again gives the same bytes.
inline void checkRoundTrip(const QTextDocument& doc, const QByteArray& written)
{
    QVERIFY(std::all_of(written.begin(), written.end(), [](char ch) { return uchar(ch) < 0x80; })
            || written.contains("\\bin"));
    QTextDocument back;
    back.setDefaultFont(doc.defaultFont());
    QVERIFY(RtfReader::read(written, back));
    QCOMPARE(describe(back), describe(doc));
    QCOMPARE(RtfWriter::write(back), written);
}

}  // namespace RtfTest
