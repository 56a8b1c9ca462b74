#pragma once

#include <QHash>
#include <QMap>
#include <QTableView>

#include "controls/RowsModel.h"

// The cells of the grid: the texts of its rows (added by code, or the rows of
// a query read as they come into view), each cell's colour and alignment, and
// the look of the fixed heading cells.
class GridModel : public RowsModel {
    Q_OBJECT
public:
    using RowsModel::RowsModel;

    int m_cols = 2;
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    QColor m_fixedColour;
    QHash<QPair<int, int>, QColor> m_backs;
    QHash<QPair<int, int>, Qt::Alignment> m_alignments;
    QHash<int, Qt::Alignment> m_colAlignments;
    QHash<int, QString> m_rowTips;
    bool m_sortable = false;

    // Cells beyond the new edges lose their colour and alignment.
    void setRows(int rows);
    void setCols(int cols);
    bool isFixed(int row, int col) const { return row < m_fixedRows || col < m_fixedCols; }
    QColor back(int row, int col) const;
    void touch(int row, int col) { emit dataChanged(index(row, col), index(row, col)); }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The fixed cells name the rows and columns, for a screen reader.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A cell as it is read: its text, or where it stands when it has none.
    QString spokenText(int row, int col) const;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};

// A grid of text cells with fixed heading rows and columns, worked through a
// current cell: code moves Row and Col, then reads or writes Text and
// CellBackColor of that cell. A click on a cell of a row makes that row
// current (a click in the fixed column picks the row's first ordinary cell)
// and raises Click.
class MSFlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit MSFlexGrid(QWidget* parent = nullptr);

    // Counting the rows of a query not read yet.
    int Rows() const { return m_cells.total(); }
    void setRows(int rows);
    int Cols() const { return m_cells.m_cols; }
    void setCols(int cols);
    int FixedRows() const { return m_cells.m_fixedRows; }
    void setFixedRows(int rows);
    int FixedCols() const { return m_cells.m_fixedCols; }
    void setFixedCols(int cols);
    // Appends the rows of a query, the first column numbering them from 1;
    // they are read as they come into view.
    void addNumberedQuery(QueryPages pages) { m_cells.addQuery(std::move(pages), true); }
    // A click on a heading cell sorts the rows below by its column (again:
    // the other way), the heading marked with the way; a numbered query's
    // number column gives them back in its order. The headings are the
    // fixed rows there are when this is set.
    void setSortable(bool sortable);
    bool isSortable() const { return m_cells.m_sortable; }
    // The column sorted by (-1: none) and which way; sortBy as a click would.
    int sortColumn() const { return m_cells.sortColumn(); }
    Qt::SortOrder sortOrder() const { return m_cells.sortOrder(); }
    // The current cell stays where it was (the first row stays current).
    void sortBy(int column, Qt::SortOrder order);

    // The current cell.
    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    QString Text() const { return TextMatrix(m_row, m_col); }
    void setText(const QString& text) { setTextMatrix(m_row, m_col, text); }
    QColor CellBackColor() const { return cellBackColor(m_row, m_col); }
    // An invalid colour gives the cell its ordinary one again.
    void setCellBackColor(const QColor& color);
    // What a row's ordinary cells say when the pointer rests on them.
    void setRowToolTip(int row, const QString& tip);
    // 0 = left and top; anything else is the ordinary left and centre.
    void setCellAlignment(int alignment);
    // The same for every cell of a column that has no alignment of its own.
    void setColAlignment(int col, int alignment);

    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);
    QColor cellBackColor(int row, int col) const;

    // The face a cell is drawn in: a heading wider than its cell in a smaller
    // one, so that no heading is cut; an ordinary cell's text is cut at its edge.
    QFont cellFont(int row, int col) const;

    // Widths in twips.
    int ColWidth(int col) const;
    void setColWidth(int col, int widthTwips);
    void setGridColor(const QColor& color);
    // Grown past its present size, the grid gives the extra width to the
    // columns of `shares` (column, part of it) and spreads the extra height
    // over its rows.
    void setStretch(const QMap<int, double>& shares);
    // A cell whose text lists items with `separator` between them and does
    // not fit shows the items that do, and how many more ("… +3"); its text
    // (and what a screen reader is told) is still all of them.
    void setListSeparator(const QString& separator) { m_separator = separator; }
    // What the cell shows in its column's present width.
    QString shownText(int row, int col) const;

signals:
    void Click();

protected:
    // Enter on a cell is a click on it.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onCellClicked(const QModelIndex& index);
    // A cell's text, and on the heading sorted by, which way.
    QString headingShown(int row, int col) const;
    void showCurrent();

    GridModel m_cells;
    int m_row = 1;
    int m_col = 1;
    void stretch();
    QMap<int, double> m_stretch;
    QMap<int, int> m_unstretchedWidths;
    QSize m_unstretched;  // the size the columns and rows were set for
    QString m_separator;
};
