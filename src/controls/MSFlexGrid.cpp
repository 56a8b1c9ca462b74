#include "controls/MSFlexGrid.h"

#include <QHeaderView>

#include "controls/Twips.h"

namespace {
constexpr int kDefaultRowHeight = 240;
constexpr int kDefaultColWidth = 960;
}  // namespace

MSFlexGrid::MSFlexGrid(QWidget* parent)
    : QTableWidget(parent)
{
    // The fixed cells are the headings; Qt's own header views would be a
    // second, different kind of heading.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(twips(kDefaultRowHeight));
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setDefaultSectionSize(twips(kDefaultColWidth));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setWordWrap(false);
    // A text wider than its cell is cut at the cell's edge.
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setGridColor(bgrColor(0x00C0C0C0));

    setRowCount(2);
    setColumnCount(2);
    fillCells();
    setCurrentCell(m_row, m_col);

    connect(this, &QTableWidget::cellClicked, this, &MSFlexGrid::onCellClicked);
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int col) {
        // Arrow keys move the current cell among the ordinary cells only.
        if (row >= m_fixedRows && col >= m_fixedCols) {
            m_row = row;
            m_col = col;
        }
    });
}

void MSFlexGrid::setRows(int rows)
{
    setRowCount(qMax(rows, m_fixedRows));
    fillCells();
    if (m_row >= rowCount())
        setRow(rowCount() - 1);
}

void MSFlexGrid::setCols(int cols)
{
    setColumnCount(qMax(cols, m_fixedCols));
    fillCells();
    if (m_col >= columnCount())
        setCol(columnCount() - 1);
}

void MSFlexGrid::setFixedRows(int rows)
{
    m_fixedRows = qBound(0, rows, rowCount());
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            styleCell(r, c);
}

void MSFlexGrid::setFixedCols(int cols)
{
    m_fixedCols = qBound(0, cols, columnCount());
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            styleCell(r, c);
}

void MSFlexGrid::setRow(int row)
{
    m_row = qBound(0, row, rowCount() - 1);
    setCurrentCell(m_row, m_col);
}

void MSFlexGrid::setCol(int col)
{
    m_col = qBound(0, col, columnCount() - 1);
    setCurrentCell(m_row, m_col);
}

QTableWidgetItem* MSFlexGrid::cell(int row, int col)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return nullptr;
    QTableWidgetItem* it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, col, it);
        styleCell(row, col);
    }
    return it;
}

void MSFlexGrid::fillCells()
{
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (!item(r, c))
                cell(r, c);
}

void MSFlexGrid::styleCell(int row, int col)
{
    QTableWidgetItem* it = item(row, col);
    if (!it)
        return;
    it->setFlags(Qt::ItemIsEnabled);
    const bool fixed = row < m_fixedRows || col < m_fixedCols;
    it->setBackground(fixed ? palette().color(QPalette::Button) : QColor(Qt::white));
    it->setForeground(QColor(Qt::black));
    it->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void MSFlexGrid::setCellBackColor(const QColor& color)
{
    if (QTableWidgetItem* it = cell(m_row, m_col))
        it->setBackground(color);
}

void MSFlexGrid::setCellAlignment(int alignment)
{
    if (QTableWidgetItem* it = cell(m_row, m_col))
        it->setTextAlignment(alignment == 0 ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
}

QString MSFlexGrid::TextMatrix(int row, int col) const
{
    const QTableWidgetItem* it = item(row, col);
    return it ? it->text() : QString();
}

void MSFlexGrid::setTextMatrix(int row, int col, const QString& text)
{
    if (QTableWidgetItem* it = cell(row, col))
        it->setText(text);
}

QColor MSFlexGrid::cellBackColor(int row, int col) const
{
    const QTableWidgetItem* it = item(row, col);
    return it ? it->background().color() : QColor();
}

int MSFlexGrid::ColWidth(int col) const
{
    return columnWidth(col) * 15;
}

void MSFlexGrid::setColWidth(int col, int widthTwips)
{
    setColumnWidth(col, twips(widthTwips));
}

void MSFlexGrid::setGridColor(const QColor& color)
{
    setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; background: white; }"
                                 "QTableView::item { padding: 0px 1px; }")
                      .arg(color.name()));
}

void MSFlexGrid::onCellClicked(int row, int col)
{
    // The heading row names the columns; a click there is no slot.
    if (row < m_fixedRows)
        return;
    m_row = row;
    m_col = qMax(col, m_fixedCols);
    setCurrentCell(m_row, m_col);
    emit Click();
}
