#pragma once

// Helpers shared by the RTF and rich-text box tests: the formatting of one
// character or paragraph as a short text, so a table row can state it.

#include <QColor>
#include <QFile>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace RtfTest {

// "f=Arial fs=10 b i u s fg=#ff0000 bg=#00ff00": the font family when set,
// the size in points, then only what is switched on.
// With defaultFamily, a format without a family shows the one it is drawn in.
inline QString charAttrs(const QTextCharFormat& f, const QString& defaultFamily = QString())
{
    QStringList parts;
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty())
        parts << QStringLiteral("f=") + families.first();
    else if (!defaultFamily.isEmpty())
        parts << QStringLiteral("f=") + defaultFamily;
    if (f.hasProperty(QTextFormat::FontPointSize))
        parts << QStringLiteral("fs=") + QString::number(f.fontPointSize());
    if (f.fontWeight() >= QFont::DemiBold)
        parts << QStringLiteral("b");
    if (f.fontItalic())
        parts << QStringLiteral("i");
    if (f.fontUnderline())
        parts << QStringLiteral("u");
    if (f.fontStrikeOut())
        parts << QStringLiteral("s");
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        parts << QStringLiteral("fg=") + f.foreground().color().name();
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        parts << QStringLiteral("bg=") + f.background().color().name();
    return parts.join(u' ');
}

// The format of the character at position (counted from 0).
inline QString charAttrsAt(const QTextDocument& doc, int position)
{
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(position + 1);
    return charAttrs(c.charFormat());
}

// "qc li=720 ri=360 fi=-360 sb=120 sa=240" in twips; only what is not the default.
inline QString paraAttrs(const QTextBlockFormat& f)
{
    QStringList parts;
    const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
    if (h & Qt::AlignJustify)
        parts << QStringLiteral("qj");
    else if (h & Qt::AlignHCenter)
        parts << QStringLiteral("qc");
    else if (h & Qt::AlignRight)
        parts << QStringLiteral("qr");
    auto twips = [&parts](const char* name, double px) {
        if (qRound(px * 15) != 0)
            parts << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(qRound(px * 15));
    };
    twips("li", f.leftMargin());
    twips("ri", f.rightMargin());
    twips("fi", f.textIndent());
    twips("sb", f.topMargin());
    twips("sa", f.bottomMargin());
    return parts.join(u' ');
}

inline QString paraAttrsAt(const QTextDocument& doc, int position)
{
    return paraAttrs(doc.findBlock(position).blockFormat());
}

// The whole document, one line per paragraph: its attributes, then each run
// of text with its formatting. Two documents with the same description show
// the same text the same way.
inline QString describe(const QTextDocument& doc)
{
    QStringList lines;
    const QString family = doc.defaultFont().family();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line = QStringLiteral("<%1>").arg(paraAttrs(b.blockFormat()));
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
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

}  // namespace RtfTest
