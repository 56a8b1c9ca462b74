#pragma once

#include <QTableWidget>

// A grid of text cells with fixed heading rows and columns, worked through a
// current cell: code moves Row and Col, then reads or writes Text and
// CellBackColor of that cell. A click on a cell of a row makes that row
// current (a click in the fixed column picks the row's first ordinary cell)
// and raises Click.
class MSFlexGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit MSFlexGrid(QWidget* parent = nullptr);

    int Rows() const { return rowCount(); }
    void setRows(int rows);
    int Cols() const { return columnCount(); }
    void setCols(int cols);
    int FixedRows() const { return m_fixedRows; }
    void setFixedRows(int rows);
    int FixedCols() const { return m_fixedCols; }
    void setFixedCols(int cols);

    // The current cell.
    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    QString Text() const { return TextMatrix(m_row, m_col); }
    void setText(const QString& text) { setTextMatrix(m_row, m_col, text); }
    QColor CellBackColor() const { return cellBackColor(m_row, m_col); }
    void setCellBackColor(const QColor& color);
    // 0 = left and top; anything else is the ordinary left and centre.
    void setCellAlignment(int alignment);

    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);
    QColor cellBackColor(int row, int col) const;

    // Widths in twips.
    int ColWidth(int col) const;
    void setColWidth(int col, int widthTwips);
    void setGridColor(const QColor& color);

signals:
    void Click();

private:
    QTableWidgetItem* cell(int row, int col);
    void fillCells();
    void styleCell(int row, int col);
    void onCellClicked(int row, int col);

    int m_fixedRows = 1;
    int m_fixedCols = 1;
    int m_row = 1;
    int m_col = 1;
};
