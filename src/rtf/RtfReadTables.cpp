#include "rtf/RtfParser.h"

#include <QTextTableFormat>

namespace Rtf {

namespace {

constexpr int kMaxColumns = 63;  // Word's limit

}  // namespace

bool Parser::rowWord(const WordInfo& info, int param)
{
    switch (info.op) {
    case Op::Trowd:
        m_rowDef = RowDef{};
        return true;
    case Op::Cellx:
        if (int(m_rowDef.edges.size()) < kMaxColumns) {
            m_rowDef.edges.push_back(clampInt(param, -kMaxTwips, kMaxTwips));
            m_rowDef.merges.push_back(m_rowDef.pending);
        }
        m_rowDef.pending = 0;
        return true;
    case Op::CellMerge:
        m_rowDef.pending |= std::uint8_t(info.ch);
        return true;
    case Op::Cell:
        // A cell mark makes its paragraph a cell even without \intbl.
        m_st.pa.intbl = true;
        endCell();
        return true;
    case Op::Row:
        endRow();
        return true;
    default:
        return false;
    }
}

void Parser::placeInTable()
{
    if (m_st.pa.intbl) {
        if (!m_tableOpen) {
            startTable();
        } else if (m_rowDone) {
            startRow();
        } else if (m_cellDone) {
            m_cellDone = false;
            ++m_cell;
            moveToCell();
        }
    } else if (m_tableOpen) {
        endTable();
    }
}

// The text read so far of the paragraph that turns out to be the first cell
// goes into that cell.
void Parser::startTable()
{
    m_pendingPar = false;
    m_tableEdges = m_rowDef.edges;
    QTextTableFormat format;
    format.setBorder(1);
    format.setCellPadding(4);
    format.setCellSpacing(0);
    format.setBorderCollapse(true);
    m_table = m_cur.insertTable(1, std::max<int>(1, int(m_tableEdges.size())), format);
    m_tableOpen = true;
    m_rowDone = m_cellDone = false;
    m_row = 0;
    m_downStart.assign(std::size_t(m_table->columns()), -1);
    m_merges.clear();
    m_downMerges.clear();
    layoutRow();
}

void Parser::startRow()
{
    m_table->appendRows(1);
    ++m_row;
    m_rowDone = m_cellDone = false;
    layoutRow();
}

// Which columns each cell of the row covers: a cell whose right edge lies
// past several edges of the first row spans those columns.
void Parser::layoutRow()
{
    m_rowStart.clear();
    m_rowSpan.clear();
    m_rowMerges = m_rowDef.merges;
    const int known = int(m_tableEdges.size());
    int column = 0;
    for (int edge : m_rowDef.edges) {
        int end = column;
        while (end + 1 < known && m_tableEdges[std::size_t(end)] < edge - 20)
            ++end;
        m_rowStart.push_back(column);
        m_rowSpan.push_back(end - column + 1);
        column = end + 1;
    }
    m_cell = 0;
    moveToCell();
}

void Parser::moveToCell()
{
    int column = m_cell;
    if (std::size_t(m_cell) < m_rowStart.size())
        column = m_rowStart[std::size_t(m_cell)];
    else if (!m_rowStart.empty())
        column = m_rowStart.back() + m_rowSpan.back() + m_cell - int(m_rowStart.size());
    column = std::min(column, kMaxColumns - 1);
    if (column >= m_table->columns()) {
        m_table->appendColumns(column + 1 - m_table->columns());
        m_downStart.resize(std::size_t(m_table->columns()), -1);
    }
    m_cur.setPosition(m_table->cellAt(m_row, column).firstPosition());
    m_pendingPar = false;
}

void Parser::endCell()
{
    beginText();
    flushRun();
    closeParagraph();
    m_cellDone = true;
}

void Parser::endRow()
{
    if (!m_tableOpen || m_rowDone)
        return;
    if (!m_cellDone)
        endCell();
    // Cells that span columns by their edges or by \clmgf/\clmrg, and the
    // vertical merges (\clvmgf/\clvmrg) they begin or continue.
    for (std::size_t i = 0; i < m_rowStart.size(); ++i) {
        const std::uint8_t merge = i < m_rowMerges.size() ? m_rowMerges[i] : 0;
        const int column = std::min(m_rowStart[i], kMaxColumns - 1);
        if (std::size_t(column) >= m_downStart.size())
            m_downStart.resize(std::size_t(column) + 1, -1);
        int span = m_rowSpan[i];
        while (i + 1 < m_rowStart.size() && i + 1 < m_rowMerges.size() && (m_rowMerges[i + 1] & MergeNext))
            span += m_rowSpan[++i];
        if (merge & MergeDown) {
            const int top = m_downStart[std::size_t(column)];
            const auto it = m_downMerges.find({top, column});
            if (it != m_downMerges.end())
                m_merges[it->second][2] = m_row - top + 1;
            continue;
        }
        m_downStart[std::size_t(column)] = (merge & MergeDownFirst) ? m_row : -1;
        if (span > 1 || (merge & MergeDownFirst)) {
            m_downMerges[{m_row, column}] = m_merges.size();
            m_merges.push_back({m_row, column, 1, span});
        }
    }
    m_rowDone = true;
    m_cellDone = false;
}

void Parser::endTable()
{
    for (const auto& [row, column, rows, columns] : m_merges) {
        const int down = std::min(rows, m_table->rows() - row);
        const int across = std::min(columns, m_table->columns() - column);
        if (down > 1 || across > 1)
            m_table->mergeCells(row, column, down, across);
    }
    // Cells the file left out (ours always have a size) get the formatting in force, as a cell of
    // their own would have.
    const QTextCharFormat format = charFormat(m_st.ch);
    for (int r = 0; r < m_table->rows(); ++r) {
        for (int c = 0; c < m_table->columns(); ++c) {
            QTextCursor cell = m_table->cellAt(r, c).firstCursorPosition();
            if (!cell.block().charFormat().hasProperty(QTextFormat::FontPointSize))
                cell.setBlockCharFormat(format);
        }
    }
    // Column widths from the first row's cell edges.
    if (int(m_tableEdges.size()) == m_table->columns()) {
        QList<QTextLength> widths;
        int left = 0;
        for (int edge : m_tableEdges) {
            widths << QTextLength(QTextLength::FixedLength, std::max(1, edge - left) / 15.0);
            left = std::max(left, edge);
        }
        QTextTableFormat tableFormat = m_table->format();
        tableFormat.setColumnWidthConstraints(widths);
        m_table->setFormat(tableFormat);
    }
    QTextCursor after = m_table->lastCursorPosition();
    after.movePosition(QTextCursor::NextBlock);
    m_cur.setPosition(after.position());
    m_tableOpen = m_rowDone = m_cellDone = false;
    m_table = nullptr;
    m_pendingPar = false;
}

}  // namespace Rtf
