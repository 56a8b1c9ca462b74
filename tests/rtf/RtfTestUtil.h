#pragma once

// Helpers shared by the RTF and rich-text box tests: a document as a short
// text, so a table row can state it.

#include "rtf/RtfFormats.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <utility>

namespace RtfTest {

// A 2x1 red PNG, in hex.
inline constexpr char kPng[] = "89504e470d0a1a0a0000000d49484452000000020000000108020000007b40e8dd0000000d49444154789c63f8cfc000440008fe01ffc69e79f70000000049454e44ae426082";

// "f=Arial fs=10 b i u s fg=#ff0000 bg=#00ff00": the font family when set (or
// defaultFamily), the size in points when set, then only what is switched on;
// an image shows its drawn size, a kept picture "raw".
inline QString charAttrs(const QTextCharFormat& f, const QString& defaultFamily = QString())
{
    QStringList parts;
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    const QString family = families.isEmpty() ? defaultFamily : families.first();
    if (!family.isEmpty())
        parts << QStringLiteral("f=") + family;
    if (f.hasProperty(QTextFormat::FontPointSize))
        parts << QStringLiteral("fs=") + QString::number(f.fontPointSize());
    const std::pair<bool, const char*> flags[] = {{f.fontWeight() >= QFont::DemiBold, "b"}, {f.fontItalic(), "i"},
        {f.fontUnderline(), "u"}, {f.fontStrikeOut(), "s"}, {f.hasProperty(RtfFormats::RawPicture), "raw"}};
    for (const auto& [on, name] : flags)
        if (on)
            parts << QLatin1String(name);
    for (const auto& [property, name] : {std::pair(QTextFormat::ForegroundBrush, "fg="), {QTextFormat::BackgroundBrush, "bg="}})
        if (f.hasProperty(property) && f.brushProperty(property).style() != Qt::NoBrush)
            parts << QLatin1String(name) + f.brushProperty(property).color().name();
    if (f.isImageFormat())
        parts << QStringLiteral("img=%1x%2").arg(f.toImageFormat().width()).arg(f.toImageFormat().height());
    return parts.join(u' ');
}

// "qc li=720 ri=360 fi=-360 sb=120 sa=240 lh=1:150" in twips (line height:
// Qt's type and value); only what is not the default.
inline QString paraAttrs(const QTextBlockFormat& f)
{
    QStringList parts;
    const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
    if (h & (Qt::AlignJustify | Qt::AlignHCenter | Qt::AlignRight))
        parts << QLatin1String((h & Qt::AlignJustify) ? "qj" : (h & Qt::AlignHCenter) ? "qc" : "qr");
    const std::pair<const char*, double> spacing[] = {{"li", f.leftMargin()}, {"ri", f.rightMargin()},
        {"fi", f.textIndent()}, {"sb", f.topMargin()}, {"sa", f.bottomMargin()}};
    for (const auto& [name, px] : spacing)
        if (qRound(px * 15) != 0)
            parts << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(qRound(px * 15));
    if (f.lineHeightType() != QTextBlockFormat::SingleHeight)
        parts << QStringLiteral("lh=%1:%2").arg(f.lineHeightType()).arg(f.lineHeight());
    return parts.join(u' ');
}

// The whole document, one line per paragraph: "<paragraph attributes>", a
// list item's "#list:style.indent" (lists numbered as met; style as in
// QTextListFormat), a cell's "@row,column" ("+rows x columns" when merged),
// then each run of text as "[character attributes]text" (an empty paragraph
// shows its own character format). With withDefaultFamily, runs without a
// family show the one they are drawn in.
inline QString describe(const QTextDocument& doc, bool withDefaultFamily = true)
{
    const QString family = withDefaultFamily ? doc.defaultFont().family() : QString();
    QStringList lines;
    QHash<const QTextList*, int> lists;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line = QStringLiteral("<%1>").arg(paraAttrs(b.blockFormat()));
        if (const QTextList* l = b.textList())
            line += QStringLiteral("#%1:%2.%3").arg(*lists.insert(l, lists.value(l, int(lists.size()) + 1)))
                        .arg(l->format().style()).arg(l->format().indent());
        if (const QTextTable* t = QTextCursor(b).currentTable()) {
            const QTextTableCell c = t->cellAt(b.position());
            line += QStringLiteral("@%1,%2").arg(c.row()).arg(c.column());
            if (c.rowSpan() > 1 || c.columnSpan() > 1)
                line += QStringLiteral("+%1x%2").arg(c.rowSpan()).arg(c.columnSpan());
        }
        if (b.length() == 1)
            line += QStringLiteral("[%1]").arg(charAttrs(b.charFormat(), family));
        QString attrs, text;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QString a = charAttrs(it.fragment().charFormat(), family);
            if (a != attrs && !text.isEmpty()) {
                line += QStringLiteral("[%1]%2").arg(attrs, text);
                text.clear();
            }
            attrs = a;
            text += it.fragment().text();
        }
        if (!text.isEmpty())
            line += QStringLiteral("[%1]%2").arg(attrs, text);
        lines << line;
    }
    return lines.join(u'\n');
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace RtfTest
