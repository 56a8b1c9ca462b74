#include "controls/MSFlexGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyledItemDelegate>

#include "controls/Controls.h"

#include "controls/Twips.h"

namespace {
constexpr int kDefaultRowHeight = 240;
constexpr int kDefaultColWidth = 960;

Qt::Alignment alignmentOf(int alignment)
{
    return alignment == 0 ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter;
}
}  // namespace

QColor GridModel::back(int row, int col) const
{
    const auto it = m_backs.constFind({row, col});
    if (it != m_backs.constEnd())
        return *it;
    return isFixed(row, col) ? m_fixedColour : QColor(Qt::white);
}

void GridModel::setRows(int rows)
{
    setTotal(rows);
    m_backs.removeIf([rows](const auto& cell) { return cell.key().first >= rows; });
    m_rowTips.removeIf([rows](const auto& tip) { return tip.key() >= rows; });
    m_alignments.removeIf([rows](const auto& cell) { return cell.key().first >= rows; });
}

void GridModel::setCols(int cols)
{
    beginResetModel();
    m_cols = cols;
    m_backs.removeIf([cols](const auto& cell) { return cell.key().second >= cols; });
    m_alignments.removeIf([cols](const auto& cell) { return cell.key().second >= cols; });
    endResetModel();
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int row = index.row();
    const int col = index.column();
    switch (role) {
    case Qt::BackgroundRole:
        return back(row, col);
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole: {
        const auto it = m_alignments.constFind({row, col});
        if (it != m_alignments.constEnd())
            return int(*it);
        return int(m_colAlignments.value(col, Qt::AlignLeft | Qt::AlignVCenter));
    }
    case Qt::AccessibleTextRole:
        return spokenText(row, col);
    case Qt::ToolTipRole:
        return isFixed(row, col) ? QVariant() : m_rowTips.value(row);

    default:
        return RowsModel::data(index, role);
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return m_fixedRows > 0 ? text(0, section) : QVariant();
    return m_fixedCols > 0 ? text(section, 0) : QVariant();
}

QString GridModel::spokenText(int row, int col) const
{
    QString spoken = text(row, col);
    if (!spoken.isEmpty() || isFixed(row, col))
        return spoken;
    QStringList headings;
    if (m_fixedCols > 0)
        headings << text(row, 0);
    if (m_fixedRows > 0)
        headings << text(0, col);
    headings.removeAll(QString());
    return headings.join(QStringLiteral(", "));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

namespace {
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* grid = static_cast<const MSFlexGrid*>(parent());
        option->font = grid->cellFont(index.row(), index.column());
        option->text = grid->shownText(index.row(), index.column());
    }
};
}  // namespace

MSFlexGrid::MSFlexGrid(QWidget* parent)
    : QTableView(parent)
{
    setItemDelegate(new CellDelegate(this));
    m_cells.m_fixedColour = palette().color(QPalette::Button);
    setModel(&m_cells);
    // The arrow keys move between cells; Tab leaves the grid for the screen's next control.
    setTabKeyNavigation(false);
    // The fixed cells are the headings; Qt's own header views would be a
    // second, different kind of heading.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(twips(kDefaultRowHeight));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setDefaultSectionSize(twips(kDefaultColWidth));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setWordWrap(false);
    // A text wider than its cell is cut at the cell's edge.
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setGridColor(bgrColor(0x00C0C0C0));

    m_cells.setRows(2);
    showCurrent();

    connect(this, &QTableView::clicked, this, &MSFlexGrid::onCellClicked);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        // Arrow keys move the current cell among the ordinary cells only.
        if (current.row() >= FixedRows() && current.column() >= FixedCols()) {
            m_row = current.row();
            m_col = current.column();
        }
    });
}

void MSFlexGrid::showCurrent()
{
    // A row of a query is read before it can be current.
    TextMatrix(m_row, 0);
    setCurrentIndex(m_cells.index(m_row, m_col));
}

void MSFlexGrid::setRows(int rows)
{
    m_cells.setRows(qMax(rows, FixedRows()));
    if (m_row >= Rows())
        setRow(Rows() - 1);
}

void MSFlexGrid::setCols(int cols)
{
    m_cells.setCols(qMax(cols, FixedCols()));
    if (m_col >= Cols())
        setCol(Cols() - 1);
    else
        showCurrent();
}

void MSFlexGrid::setFixedRows(int rows)
{
    m_cells.m_fixedRows = qBound(0, rows, Rows());
    viewport()->update();
}

void MSFlexGrid::setFixedCols(int cols)
{
    m_cells.m_fixedCols = qBound(0, cols, Cols());
    viewport()->update();
}

void MSFlexGrid::setRow(int row)
{
    m_row = qBound(0, row, Rows() - 1);
    showCurrent();
}

void MSFlexGrid::setCol(int col)
{
    m_col = qBound(0, col, Cols() - 1);
    showCurrent();
}

void MSFlexGrid::setCellBackColor(const QColor& color)
{
    if (color.isValid())
        m_cells.m_backs.insert({m_row, m_col}, color);
    else
        m_cells.m_backs.remove({m_row, m_col});
    m_cells.touch(m_row, m_col);
}

void MSFlexGrid::setRowToolTip(int row, const QString& tip)
{
    if (tip.isEmpty())
        m_cells.m_rowTips.remove(row);
    else
        m_cells.m_rowTips.insert(row, tip);
}

void MSFlexGrid::setCellAlignment(int alignment)
{
    m_cells.m_alignments.insert({m_row, m_col}, alignmentOf(alignment));
    m_cells.touch(m_row, m_col);
}

void MSFlexGrid::setColAlignment(int col, int alignment)
{
    m_cells.m_colAlignments.insert(col, alignmentOf(alignment));
    viewport()->update();
}

QString MSFlexGrid::TextMatrix(int row, int col) const
{
    return col >= 0 && col < Cols() ? m_cells.text(row, col) : QString();
}

void MSFlexGrid::setTextMatrix(int row, int col, const QString& text)
{
    if (col >= 0 && col < Cols())
        m_cells.setText(row, col, text);
}

QColor MSFlexGrid::cellBackColor(int row, int col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        return QColor();
    return m_cells.back(row, col);
}

QFont MSFlexGrid::cellFont(int row, int col) const
{
    if (!m_cells.isFixed(row, col))
        return font();
    // The room the view leaves for a cell's text: its width less a margin each side.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return fittingFont(font(), headingShown(row, col), columnWidth(col) - 2 * margin);
}

QString MSFlexGrid::headingShown(int row, int col) const
{
    QString text = TextMatrix(row, col);
    if (m_cells.m_sortable && row == FixedRows() - 1 && col == m_cells.sortColumn())
        text += m_cells.sortOrder() == Qt::AscendingOrder ? QStringLiteral(" \u25B2") : QStringLiteral(" \u25BC");
    return text;
}

int MSFlexGrid::ColWidth(int col) const
{
    return columnWidth(col) * 15;
}

void MSFlexGrid::setColWidth(int col, int widthTwips)
{
    setColumnWidth(col, twips(widthTwips));
    if (m_stretch.contains(col)) {
        m_unstretchedWidths[col] = columnWidth(col);
        stretch();
    }
}

void MSFlexGrid::setStretch(const QMap<int, double>& shares)
{
    m_stretch = shares;
    m_unstretched = size();
    for (auto it = shares.begin(); it != shares.end(); ++it)
        m_unstretchedWidths[it.key()] = columnWidth(it.key());
}

void MSFlexGrid::stretch()
{
    if (m_stretch.isEmpty())
        return;
    const QSize extra = (size() - m_unstretched).expandedTo(QSize(0, 0));
    for (auto it = m_stretch.begin(); it != m_stretch.end(); ++it)
        setColumnWidth(it.key(), m_unstretchedWidths.value(it.key()) + int(it.value() * extra.width()));
    if (const int rows = model()->rowCount(); rows > 0)
        verticalHeader()->setDefaultSectionSize(twips(kDefaultRowHeight) + extra.height() / rows);
}

void MSFlexGrid::resizeEvent(QResizeEvent* event)
{
    stretch();
    QTableView::resizeEvent(event);
}

QString MSFlexGrid::shownText(int row, int col) const
{
    QString text = headingShown(row, col);
    if (m_separator.isEmpty())
        return text;
    const QStringList items = text.split(m_separator);
    const QFontMetrics metrics(cellFont(row, col));
    const int width = columnWidth(col) - 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    if (items.size() < 2 || metrics.horizontalAdvance(text) <= width)
        return text;
    const QString more = QStringLiteral(" \u2026 +%1");
    for (qsizetype shown = items.size() - 1; shown >= 1; --shown) {
        QString fits = items.mid(0, shown).join(m_separator) + more.arg(items.size() - shown);
        if (metrics.horizontalAdvance(fits) <= width)
            return fits;
    }
    const QString rest = QStringLiteral(" +%1").arg(items.size() - 1);  // the cut item says so itself
    return metrics.elidedText(items[0], Qt::ElideRight, width - metrics.horizontalAdvance(rest)) + rest;
}

void MSFlexGrid::setGridColor(const QColor& color)
{
    setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; background: white; }"
                                 "QTableView::item { padding: 0px 1px; }")
                      .arg(color.name()));
}

void MSFlexGrid::setSortable(bool sortable)
{
    m_cells.m_sortable = sortable;
    m_cells.setPinned(sortable ? FixedRows() : 0);
}

void MSFlexGrid::sortBy(int column, Qt::SortOrder order)
{
    if (column == sortColumn() && order == sortOrder())
        return;
    m_cells.sort(column, order);
    if (m_row < Rows())
        showCurrent();
}

void MSFlexGrid::onCellClicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    // The heading row names the columns; a click there is no slot.
    if (index.row() < FixedRows()) {
        if (m_cells.m_sortable) {
            const bool again = index.column() == m_cells.sortColumn() && m_cells.sortOrder() == Qt::AscendingOrder;
            sortBy(index.column(), again ? Qt::DescendingOrder : Qt::AscendingOrder);
        }
        return;
    }
    m_row = index.row();
    m_col = qMax(index.column(), FixedCols());
    showCurrent();
    emit Click();
}

void MSFlexGrid::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        onCellClicked(currentIndex());
        return;
    }
    QTableView::keyPressEvent(event);
}
