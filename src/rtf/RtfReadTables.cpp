#include "rtf/RtfParser.h"

#include <QTextTableFormat>

namespace Rtf {

namespace {

constexpr int kMaxColumns = 63;  // Word's limit
constexpr int kSameEdge = 20;    // twips: edges this close are one column edge

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
    // A table at the very start stands after an empty paragraph.
    if (!m_cur.block().charFormat().hasProperty(QTextFormat::FontPointSize))
        m_cur.setBlockCharFormat(charFormat(m_st.ch));
    QTextTableFormat format;
    format.setBorder(1);
    format.setCellPadding(4);
    format.setCellSpacing(0);
    format.setBorderCollapse(true);
    m_table = m_cur.insertTable(1, 1, format);
    m_tableOpen = true;
    m_grid.clear();
    m_rows.clear();
    m_row = -1;
    startRow();
}

void Parser::startRow()
{
    if (m_row >= 0)
        m_table->appendRows(1);
    ++m_row;
    m_rowDone = m_cellDone = false;
    layoutRow();
}

// The grid column that ends at this edge. A new edge splits a column: the
// cells of earlier rows that covered it now cover both parts.
int Parser::gridColumn(int edge)
{
    const auto at = std::lower_bound(m_grid.begin(), m_grid.end(), edge - kSameEdge);
    if (at != m_grid.end() && *at <= edge + kSameEdge)
        return int(at - m_grid.begin());
    if (int(m_grid.size()) >= kMaxColumns)
        return int(m_grid.size()) - 1;
    const int column = int(at - m_grid.begin());
    m_grid.insert(at, edge);
    // The new column goes right of the split one, so text already in a cell
    // stays where its cell begins.
    if (int(m_grid.size()) > m_table->columns())
        m_table->insertColumns(std::min(column + 1, m_table->columns()), 1);
    for (TableRow& row : m_rows) {
        for (auto& [first, last] : row.cells) {
            if (first > column)
                ++first;
            if (last >= column)
                ++last;
        }
    }
    return column;
}

// Which columns each cell of the row covers: from the column after the
// previous cell's edge to the column of its own.
void Parser::layoutRow()
{
    TableRow row;
    row.merges = m_rowDef.merges;
    for (int edge : m_rowDef.edges)
        gridColumn(edge);
    int first = 0;
    for (int edge : m_rowDef.edges) {
        const int last = std::max(first, gridColumn(edge));
        row.cells.push_back({first, last});
        first = last + 1;
    }
    m_rows.push_back(std::move(row));
    m_cell = 0;
    moveToCell();
}

void Parser::moveToCell()
{
    TableRow& row = m_rows.back();
    if (std::size_t(m_cell) >= row.cells.size()) {
        // More cells than the row defines: each a column of its own.
        const int column = std::min(row.cells.empty() ? 0 : row.cells.back()[1] + 1, kMaxColumns - 1);
        row.cells.push_back({column, column});
        row.merges.push_back(0);
    }
    const int column = row.cells[std::size_t(std::min<std::size_t>(std::size_t(m_cell), row.cells.size() - 1))][0];
    if (column >= m_table->columns())
        m_table->appendColumns(column + 1 - m_table->columns());
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
    m_rowDone = true;
    m_cellDone = false;
}

// Cells that span columns by their edges or by \clmgf/\clmrg, and the
// vertical merges \clvmgf/\clvmrg, from the bottom up so that every merge
// finds its cells still apart.
void Parser::mergeCells()
{
    std::vector<std::array<int, 4>> merges;  // row, column, rows, columns
    std::map<int, std::size_t> open;         // first column -> its vertical merge
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const TableRow& row = m_rows[std::size_t(r)];
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            const std::uint8_t merge = i < row.merges.size() ? row.merges[i] : 0;
            const int column = row.cells[i][0];
            int last = row.cells[i][1];
            while (i + 1 < row.cells.size() && i + 1 < row.merges.size() && (row.merges[i + 1] & MergeNext))
                last = row.cells[++i][1];
            const auto above = open.find(column);
            if ((merge & MergeDown) && above != open.end()) {
                merges[above->second][2] = r - merges[above->second][0] + 1;
                continue;
            }
            open.erase(column);
            if (merge & MergeDownFirst)
                open[column] = merges.size();
            merges.push_back({r, column, 1, last - column + 1});
        }
    }
    for (std::size_t i = merges.size(); i-- > 0;) {
        const auto& [row, column, rows, columns] = merges[i];
        const int down = std::min(rows, m_table->rows() - row);
        const int across = std::min(columns, m_table->columns() - column);
        if (down > 1 || across > 1) {
            keepFormatsOverMerge(row, column, down, across);
            m_table->mergeCells(row, column, down, across);
        }
    }
}

// A merge joins the paragraph of each empty covered cell with the paragraph
// before it, and Qt keeps the covered one's format when the one before is
// empty too: its spacing, indents and list would be lost. The covered
// paragraph takes the format of the one before, so the join keeps it.
void Parser::keepFormatsOverMerge(int row, int column, int rows, int columns)
{
    for (int r = row; r < row + rows; ++r) {
        for (int c = column; c < column + columns; ++c) {
            const QTextTableCell cell = m_table->cellAt(r, c);
            if ((r == row && c == column) || cell.row() != r || cell.column() != c
                || cell.firstPosition() != cell.lastPosition())
                continue;
            QTextCursor covered = cell.firstCursorPosition();
            covered.setBlockFormat(covered.block().previous().blockFormat());
        }
    }
}

void Parser::endTable()
{
    // Cells the file left out (ours always have a size) get the formatting
    // in force, as a cell of their own would have.
    const QTextCharFormat format = charFormat(m_st.ch);
    for (int r = 0; r < m_table->rows(); ++r) {
        for (int c = 0; c < m_table->columns(); ++c) {
            QTextCursor cell = m_table->cellAt(r, c).firstCursorPosition();
            if (!cell.block().charFormat().hasProperty(QTextFormat::FontPointSize))
                cell.setBlockCharFormat(format);
        }
    }
    mergeCells();
    // Column widths from the cell edges.
    if (int(m_grid.size()) == m_table->columns()) {
        QList<QTextLength> widths;
        int left = 0;
        for (int edge : m_grid) {
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
