#include "rtf/RtfWriterCore.h"

#include <QTextTable>

namespace Rtf {

namespace {

// Column widths in twips: fixed widths as given, percentages of a 6.5 inch
// line (a Letter page with one-inch margins), the rest shared alike.
std::vector<int> columnWidths(const QTextTable* table)
{
    constexpr int kLine = 9360;
    const int columns = table->columns();
    const QList<QTextLength> constraints = table->format().columnWidthConstraints();
    std::vector<int> widths(std::size_t(columns), kLine / std::max(1, columns));
    for (int c = 0; c < columns && c < constraints.size(); ++c) {
        const QTextLength& l = constraints[c];
        if (l.type() == QTextLength::FixedLength)
            widths[std::size_t(c)] = qRound(l.rawValue() * 15);
        else if (l.type() == QTextLength::PercentageLength)
            widths[std::size_t(c)] = qRound(l.rawValue() * kLine / 100);
        widths[std::size_t(c)] = std::clamp(widths[std::size_t(c)], 1, kMaxTwips);
    }
    return widths;
}

}  // namespace

// Each row: its definition (merges, borders, right cell edges), then each
// cell's paragraphs, the last ended by \cell. A cell covered by a merge is
// an empty \cell.
void Writer::table(const QTextTable* table)
{
    const std::vector<int> widths = columnWidths(table);
    for (int r = 0; r < table->rows(); ++r) {
        m_body.word("trowd");
        m_body.word("trgaph", 108);
        int edge = 0;
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r)
                m_body.word("clvmrg");
            else if (cell.rowSpan() > 1)
                m_body.word("clvmgf");
            if (cell.column() != c)
                m_body.word("clmrg");
            else if (cell.columnSpan() > 1)
                m_body.word("clmgf");
            for (const char* side : {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr"}) {
                m_body.word(side);
                m_body.word("brdrs");
                m_body.word("brdrw", 10);
            }
            edge = std::min(edge + widths[std::size_t(c)], kMaxTwips);
            m_body.word("cellx", edge);
        }
        m_body.newline();
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) {
                paragraph(QTextBlock(), true, "cell");
                continue;
            }
            const QTextBlock last = table->document()->findBlock(cell.lastPosition());
            for (QTextBlock b = table->document()->findBlock(cell.firstPosition()); b.isValid(); b = b.next()) {
                paragraph(b, true, b == last ? "cell" : "par");
                if (b == last)
                    break;
            }
        }
        m_body.word("row");
        m_body.newline();
    }
}

}  // namespace Rtf
