#pragma once

// Helpers shared by the RTF and rich-text box tests: a document's formatting
// as a short text, so a table row can state it.

#include <QFile>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <utility>

namespace RtfTest {

// "f=Arial fs=10 b i u s fg=#ff0000 bg=#00ff00": the font family when set (or
// defaultFamily), the size in points when set, then only what is switched on.
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
                                                  {f.fontUnderline(), "u"}, {f.fontStrikeOut(), "s"}};
    for (const auto& [on, name] : flags)
        if (on)
            parts << QLatin1String(name);
    const std::pair<int, const char*> brushes[] = {{QTextFormat::ForegroundBrush, "fg="},
                                                   {QTextFormat::BackgroundBrush, "bg="}};
    for (const auto& [property, name] : brushes)
        if (f.hasProperty(property) && f.brushProperty(property).style() != Qt::NoBrush)
            parts << QLatin1String(name) + f.brushProperty(property).color().name();
    return parts.join(u' ');
}

// "qc li=720 ri=360 fi=-360 sb=120 sa=240" in twips; only what is not the default.
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
    return parts.join(u' ');
}

// The whole document, one line per paragraph: "<paragraph attributes>", then
// each run of text as "[character attributes]text" (an empty paragraph shows
// its own character format). With withDefaultFamily, runs without a family
// show the one they are drawn in, so that documents which draw the same way
// describe the same.
inline QString describe(const QTextDocument& doc, bool withDefaultFamily = true)
{
    const QString family = withDefaultFamily ? doc.defaultFont().family() : QString();
    QStringList lines;
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
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace RtfTest
