#include "rtf/RtfFormats.h"
#include "rtf/RtfWriterCore.h"

#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <optional>

namespace Rtf {

namespace {

// \levelnfc of a list style; bullets are 23.
int numberFormat(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDecimal:
        return 0;
    case QTextListFormat::ListUpperRoman:
        return 1;
    case QTextListFormat::ListLowerRoman:
        return 2;
    case QTextListFormat::ListUpperAlpha:
        return 3;
    case QTextListFormat::ListLowerAlpha:
        return 4;
    default:
        return 23;
    }
}

// The character a bullet style shows, as the reader tells them apart.
char16_t bulletOf(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListCircle:
        return u'o';
    case QTextListFormat::ListSquare:
        return 0x25AA;
    default:
        return 0x2022;
    }
}

int levelOf(const QTextList* list)
{
    return std::clamp(list->format().indent() - 1, 0, 8);
}

}  // namespace

void Writer::frame(const QTextFrame* frame)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame()) {
            if (const auto* table = qobject_cast<const QTextTable*>(child))
                this->table(table);
            else
                this->frame(child);
        } else if (it.currentBlock().isValid()) {
            paragraph(it.currentBlock(), false, "par");
        }
    }
}

void Writer::paragraph(const QTextBlock& block, bool inTable, const char* end)
{
    const ParaProps para = paraProps(block, inTable);
    if (m_first || !(para == m_para)) {
        m_body.word("pard");
        static const char* const align[] = {nullptr, "qc", "qr", "qj"};
        if (para.align != 0)
            m_body.word(align[para.align]);
        if (para.li != 0)
            m_body.word("li", para.li);
        if (para.ri != 0)
            m_body.word("ri", para.ri);
        if (para.fi != 0)
            m_body.word("fi", para.fi);
        if (para.sb != 0)
            m_body.word("sb", para.sb);
        if (para.sa != 0)
            m_body.word("sa", para.sa);
        if (para.sl != 0) {
            m_body.word("sl", para.sl);
            m_body.word("slmult", para.slmult ? 1 : 0);
        }
        if (para.intbl)
            m_body.word("intbl");
        if (para.ls != 0) {
            m_body.word("ls", para.ls);
            m_body.word("ilvl", para.ilvl);
        }
        m_para = para;
    }
    m_first = false;
    if (const QTextList* list = block.textList())
        listText(block, list);
    bool empty = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        // Formatting goes out only in front of a character that is written,
        // so a fragment holding nothing we write leaves no trace.
        const QTextCharFormat format = fragment.charFormat();
        const QString text = fragment.text();
        if (format.isImageFormat()) {
            for (qsizetype i = 0; i < text.size(); ++i)
                picture(format.toImageFormat());
            empty = false;
            continue;
        }
        if (format.hasProperty(RtfFormats::RawPicture)) {
            // The placeholder of a picture we do not show: the group as read,
            // once for each placeholder left whole.
            const QByteArray raw = format.property(RtfFormats::RawPicture).toByteArray();
            for (qsizetype n = text.count(QString::fromUtf16(RtfFormats::kPlaceholder)); n > 0; --n)
                m_body.group(raw);
            empty = false;
            continue;
        }
        // Its font joins the table only once a character of it is written:
        // a font no text uses would not come back when the file is read.
        std::optional<RunProps> props;
        for (QChar c : text) {
            if (Emitter::dropped(c.unicode()))
                continue;
            if (!props)
                props = runProps(format);
            if (!(*props == m_current))
                apply(*props);
            this->text(c.unicode());
            empty = false;
        }
    }
    // An empty paragraph keeps the formatting of its mark: what the user
    // types there gets it. A cell covered by a merge has no paragraph.
    if (empty && block.isValid())
        apply(runProps(block.charFormat()));
    m_body.word(end);
    m_body.newline();
}

ParaProps Writer::paraProps(const QTextBlock& block, bool inTable)
{
    const QTextBlockFormat f = block.blockFormat();
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
    int indent = f.indent();
    double hanging = f.textIndent();
    if (const QTextList* list = block.textList()) {
        // Other readers place an item by its indents; ours by its list.
        indent += list->format().indent();
        if (hanging == 0)
            hanging = -24;
        const int level = levelOf(list);
        auto it = m_listIndex.constFind(list);
        if (it == m_listIndex.constEnd()) {
            // A list nested under the one before is a deeper level of it,
            // as word processors keep it.
            int number = m_lastList && levelOf(m_lastList) < level ? m_listIndex.value(m_lastList) : 0;
            if (number == 0 || m_lists[std::size_t(number - 1)][std::size_t(level)]) {
                m_lists.emplace_back();
                number = int(m_lists.size());
            }
            m_lists[std::size_t(number - 1)][std::size_t(level)] = list;
            it = m_listIndex.insert(list, number);
        }
        m_lastList = list;
        p.ls = *it;
        p.ilvl = level;
    }
    p.li = twips(f.leftMargin() + indent * m_doc.indentWidth(), -kMaxTwips);
    p.ri = twips(f.rightMargin(), -kMaxTwips);
    p.fi = twips(hanging, -kMaxTwips);
    p.sb = twips(f.topMargin(), 0);
    p.sa = twips(f.bottomMargin(), 0);
    switch (f.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (qRound(f.lineHeight()) != 100) {
            p.sl = std::clamp(qRound(f.lineHeight() * 240 / 100), 1, kMaxTwips);
            p.slmult = true;
        }
        break;
    case QTextBlockFormat::FixedHeight:
        p.sl = -twips(f.lineHeight(), 1);
        break;
    case QTextBlockFormat::MinimumHeight:
        p.sl = twips(f.lineHeight(), 1);
        break;
    default:
        break;
    }
    p.intbl = inTable;
    return p;
}

// In front of a list item: the number or bullet as text for readers that know
// no lists, and on the first level the old form of numbering for those that
// know only that.
void Writer::listText(const QTextBlock& block, const QTextList* list)
{
    const QTextListFormat f = list->format();
    const int start = RtfFormats::listStart(f);
    const bool bullet = numberFormat(f.style()) == 23;
    QString itemText = bullet ? QString(QChar(bulletOf(f.style()))) : list->itemText(block);
    if (!bullet && start != 1 && f.style() == QTextListFormat::ListDecimal)
        itemText = QString::number(list->itemNumber(block) + start) + u'.';
    m_body.raw("{");
    m_body.word("listtext");
    for (QChar c : itemText)
        this->text(c.unicode());
    m_body.word("tab");
    m_body.raw("}");
    // The old form knows one level; on a nested item LibreOffice would take
    // it for a list of its own and lose the nesting that \ilvl gives.
    if (levelOf(list) > 0)
        return;
    m_body.raw("{");
    m_body.word("*");
    m_body.word("pn");
    m_body.word(bullet ? "pnlvlblt" : "pnlvlbody");
    static const char* const styles[] = {"pndec", "pnlcltr", "pnucltr", "pnlcrm", "pnucrm"};
    const int nfc = numberFormat(f.style());
    if (!bullet) {
        static const int order[] = {0, 4, 3, 2, 1};  // \levelnfc of each word above
        m_body.word(styles[std::find(order, order + 5, nfc) - order]);
        m_body.word("pnstart", start);
    }
    m_body.word("pnindent", 0);
    m_body.raw("{");
    m_body.word(bullet ? "pntxtb" : "pntxta");
    if (bullet)
        text(bulletOf(f.style()));
    else
        m_body.plain('.');
    m_body.raw("}}");
}

// One list of the list table for each list of the document, with its
// levels up to its own all alike, and an override naming it: \lsN is the
// Nth list.
void Writer::listTable(Emitter& e) const
{
    if (m_lists.empty())
        return;
    e.raw("{");
    e.word("*");
    e.word("listtable");
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        e.raw("{");
        e.word("list");
        e.word("listtemplateid", int(i) + 1);
        const auto& lists = m_lists[i];
        const auto deepest = std::find_if(lists.rbegin(), lists.rend(), [](const QTextList* l) { return l; });
        for (int level = 0; level < lists.rend() - deepest; ++level) {
            const QTextList* list = lists[std::size_t(level)];
            const QTextListFormat f = list ? list->format() : QTextListFormat();
            const int nfc = list ? numberFormat(f.style()) : 0;
            const int start = RtfFormats::listStart(f);
            e.raw("{");
            e.word("listlevel");
            e.word("levelnfc", nfc);
            e.word("levelnfcn", nfc);
            e.word("leveljc", 0);
            e.word("levelfollow", 0);
            e.word("levelstartat", start);
            e.raw("{");
            e.word("leveltext");
            if (nfc == 23) {
                e.raw("\\'01");
                e.character(bulletOf(f.style()), false);
                e.raw(";}{\\levelnumbers;}");
            } else {
                e.raw("\\'02\\'0");
                e.out += char('0' + level);
                e.raw(".;}{\\levelnumbers\\'01;}");
            }
            e.word("fi", -360);
            e.word("li", 720 * (level + 1));
            e.raw("}");
        }
        e.word("listid", int(i) + 1);
        e.raw("}");
    }
    e.raw("}");
    e.newline();
    e.raw("{");
    e.word("*");
    e.word("listoverridetable");
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        e.raw("{");
        e.word("listoverride");
        e.word("listid", int(i) + 1);
        e.word("listoverridecount", 0);
        e.word("ls", int(i) + 1);
        e.raw("}");
    }
    e.raw("}");
    e.newline();
}

}  // namespace Rtf
