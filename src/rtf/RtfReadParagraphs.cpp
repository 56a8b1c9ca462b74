#include "rtf/RtfFormats.h"
#include "rtf/RtfParser.h"

#include <QTextListFormat>

namespace Rtf {

namespace {

QTextListFormat::Style styleOf(const ListLevel& level)
{
    switch (level.nfc) {
    case 1:
        return QTextListFormat::ListUpperRoman;
    case 2:
        return QTextListFormat::ListLowerRoman;
    case 3:
        return QTextListFormat::ListUpperAlpha;
    case 4:
        return QTextListFormat::ListLowerAlpha;
    case 23:
    case 255: {
        // Bullets: the character shown tells the kind; Symbol and Wingdings
        // faces put theirs in the private use area.
        const char16_t c = level.text.isEmpty() ? u'\u2022' : level.text.at(0).unicode();
        if (c == u'o' || c == 0x25CB || c == 0x25E6)
            return QTextListFormat::ListCircle;
        if (c == 0xF0A7 || c == 0xA7 || c == 0x25AA || c == 0x25A0)
            return QTextListFormat::ListSquare;
        return QTextListFormat::ListDisc;
    }
    default:
        return QTextListFormat::ListDecimal;
    }
}

}  // namespace

bool Parser::paraWord(const WordInfo& info, bool hasParam, int param)
{
    const bool on = !hasParam || param != 0;
    ParaProps& pa = m_st.pa;
    switch (info.op) {
    case Op::Pard:
        pa = ParaProps{};
        break;
    case Op::Ql:
        pa.align = Align::Left;
        break;
    case Op::Qc:
        pa.align = Align::Center;
        break;
    case Op::Qr:
        pa.align = Align::Right;
        break;
    case Op::Qj:
        pa.align = Align::Justify;
        break;
    case Op::Li:
        pa.li = clampInt(param, -kMaxTwips, kMaxTwips);
        break;
    case Op::Ri:
        pa.ri = clampInt(param, -kMaxTwips, kMaxTwips);
        break;
    case Op::Fi:
        pa.fi = clampInt(param, -kMaxTwips, kMaxTwips);
        break;
    case Op::Sb:
        pa.sb = clampInt(param, 0, kMaxTwips);
        break;
    case Op::Sa:
        pa.sa = clampInt(param, 0, kMaxTwips);
        break;
    case Op::Sl:
        pa.sl = clampInt(param, -kMaxTwips, kMaxTwips);
        break;
    case Op::SlMult:
        pa.slmult = hasParam && param == 1;
        break;
    case Op::InTable:
        pa.intbl = on;
        break;
    case Op::Ls:
        pa.ls = std::max(0, param);
        break;
    case Op::Ilvl:
        pa.ilvl = clampInt(param, 0, 8);
        break;

    case Op::Par:
        if (m_st.dest == Dest::Text)
            endParagraph();
        else if (m_st.dest == Dest::Footnote)
            m_note.append(u' ');
        break;
    case Op::Line:
        appendChar(QChar::LineSeparator);
        break;
    case Op::Tab:
        appendChar(u'\t');
        break;
    case Op::Char:
        appendChar(info.ch);
        break;
    case Op::FootnoteMark:
        for (QChar c : QString::number(m_notes.size() + 1))
            appendChar(c.unicode());
        break;
    default:
        return false;
    }
    return true;
}

bool Parser::listWord(const WordInfo& info, int param)
{
    switch (m_st.dest) {
    case Dest::ListTable: {
        ListLevel* level =
            !m_listDefs.empty() && m_levelIndex >= 0 ? &m_listDefs.back().levels[std::size_t(m_levelIndex)] : nullptr;
        switch (info.op) {
        case Op::List:
            if (m_listDefs.size() < 4096) {
                m_listDefs.emplace_back();
                m_levelIndex = -1;
            }
            break;
        case Op::ListLevel:
            if (!m_listDefs.empty() && m_levelIndex < 8)
                ++m_levelIndex;
            break;
        case Op::ListId:
            if (!m_listDefs.empty())
                m_listDefs.back().id = param;
            break;
        case Op::LevelNfc:
            if (level)
                level->nfc = param;
            break;
        case Op::LevelStart:
            if (level)
                level->start = clampInt(param, 0, 32767);
            break;
        default:
            break;
        }
        return true;
    }
    case Dest::LevelText:
        if (info.op == Op::Char)
            appendChar(info.ch);
        return true;
    case Dest::ListOverrides:
        if (info.op == Op::List)
            m_overrideId = 0;
        else if (info.op == Op::ListId)
            m_overrideId = param;
        else if (info.op == Op::Ls && m_overrides.size() < 4096)
            m_overrides[param] = m_overrideId;
        return true;
    case Dest::Pn: {
        ParaProps& pa = m_st.pa;
        switch (info.op) {
        case Op::PnBullet:
            pa.pnStyle = QTextListFormat::ListDisc;
            pa.pnLevel = 0;
            break;
        case Op::PnBody:
            pa.pnLevel = 0;
            break;
        case Op::PnLevel:
            pa.pnLevel = clampInt(static_cast<long long>(param) - 1, 0, 8);  // \pnlvl-2147483648 too
            break;
        case Op::PnStyle:
            pa.pnStyle = -int(info.ch);
            break;
        case Op::PnStart:
            pa.pnStart = clampInt(param, 0, 32767);
            break;
        default:
            break;
        }
        return true;
    }
    default:
        return false;
    }
}

// The bullet or number a writer put in front of a list item for readers
// that know no lists. It is shown only when the paragraph is not a list.
void Parser::listTextChar(char16_t ch)
{
    if (m_listText.isEmpty())
        m_listTextProps = m_st.ch;
    if (m_listText.size() < 64)
        m_listText.append(QChar(ch));
}

void Parser::startPendingParagraph()
{
    m_pendingPar = false;
    m_cur.insertBlock();
}

// Text is about to go into the document: it lands in the right cell, in a
// new paragraph when one was ended, after the bullet text when that stays.
void Parser::beginText()
{
    placeInTable();
    if (m_pendingPar)
        startPendingParagraph();
    if (!m_listText.isEmpty()) {
        const QString text = std::exchange(m_listText, QString());
        if (m_st.pa.ls == 0 && m_st.pa.pnStyle == 0) {
            flushRun();
            insertRun(text, charFormat(m_listTextProps));
        }
    }
}

// A paragraph mark: the paragraph gets the properties in force now. The next
// paragraph is made only when something follows, so the final \par of a file
// ends the last paragraph instead of adding an empty one.
void Parser::endParagraph()
{
    beginText();
    flushRun();
    closeParagraph();
    m_pendingPar = true;
}

void Parser::closeParagraph()
{
    m_cur.setBlockFormat(blockFormat(m_st.pa));
    m_cur.setBlockCharFormat(charFormat(m_st.ch));
    applyList();
}

// Items of one \ls and level form one list, wherever they stand; an old
// \pn list ends at the first paragraph that is no item.
void Parser::applyList()
{
    const ParaProps& pa = m_st.pa;
    QTextListFormat format;
    int level = 0;
    int start = 1;
    int ls = -1;
    if (pa.ls > 0) {
        ls = pa.ls;
        level = pa.ilvl;
        const auto o = m_overrides.find(pa.ls);
        const auto def = o == m_overrides.end() ? m_listDefs.end()
                                                : std::find_if(m_listDefs.begin(), m_listDefs.end(),
                                                               [&](const ListDef& d) { return d.id == o->second; });
        if (def != m_listDefs.end()) {
            format.setStyle(styleOf(def->levels[std::size_t(level)]));
            start = def->levels[std::size_t(level)].start;
        } else {
            format.setStyle(QTextListFormat::ListDisc);
        }
    } else if (pa.pnStyle != 0) {
        level = pa.pnLevel;
        start = pa.pnStart;
        format.setStyle(QTextListFormat::Style(pa.pnStyle));
    } else {
        for (auto it = m_lists.begin(); it != m_lists.end() && it->first.first == -1;)
            it = m_lists.erase(it);
        return;
    }
    format.setIndent(level + 1);
    if (start != 1)
        format.setProperty(RtfFormats::ListStart, start);
    QPointer<QTextList>& list = m_lists[{ls, level}];
    if (list && list->format().style() == format.style() && RtfFormats::listStart(list->format()) == start)
        list->add(m_cur.block());
    else
        list = m_cur.createList(format);
}

void Parser::finish()
{
    flushBytes();
    flushRun();
    if (m_tableOpen)
        endTable();
    if (!m_pendingPar)
        closeParagraph();
    // Footnotes follow the text, one paragraph each.
    const QTextCharFormat plain = charFormat(CharProps{});
    for (const QString& note : std::as_const(m_notes)) {
        m_cur.insertBlock(QTextBlockFormat(), plain);
        m_cur.insertText(note, plain);
    }
}

QTextBlockFormat Parser::blockFormat(const ParaProps& props)
{
    QTextBlockFormat f;
    switch (props.align) {
    case Align::Left:
        f.setAlignment(Qt::AlignLeft);
        break;
    case Align::Center:
        f.setAlignment(Qt::AlignHCenter);
        break;
    case Align::Right:
        f.setAlignment(Qt::AlignRight);
        break;
    case Align::Justify:
        f.setAlignment(Qt::AlignJustify);
        break;
    }
    // Qt measures in pixels at 96 dots per inch: 15 twips each. A list
    // item's indent is its list's.
    if (props.ls == 0 && props.pnStyle == 0) {
        f.setLeftMargin(props.li / 15.0);
        f.setTextIndent(props.fi / 15.0);
    }
    f.setRightMargin(props.ri / 15.0);
    f.setTopMargin(props.sb / 15.0);
    f.setBottomMargin(props.sa / 15.0);
    if (props.sl != 0) {
        if (props.slmult && props.sl > 0)
            f.setLineHeight(props.sl * 100.0 / 240, QTextBlockFormat::ProportionalHeight);
        else if (!props.slmult)
            f.setLineHeight(std::abs(props.sl) / 15.0,
                            props.sl > 0 ? QTextBlockFormat::MinimumHeight : QTextBlockFormat::FixedHeight);
    }
    return f;
}

}  // namespace Rtf
