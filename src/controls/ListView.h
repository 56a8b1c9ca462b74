#pragma once

#include <QListView>
#include <QTreeView>

#include "controls/RowsModel.h"

// A list in report style: columns with headers, rows of texts, optional row
// keys. Rows added by code and the rows of queries, read as they come into
// view; columns sized to their contents from a sample of the rows, widened
// by dragging a heading's edge. A click on a heading sorts by its column
// (again: the other way); the rows keep that order as they change.
class ListView : public QTreeView {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // Adds a column; the width is in twips.
    void addColumn(const QString& header, int widthTwips);
    int columnCount() const { return m_rows.columnCount(); }
    QString headerText(int column) const { return m_rows.headers().value(column); }
    // Adds a row whose first column is `text`; returns its index, or -1 when
    // `key` is not empty and a row already has that key.
    int addItem(const QString& text, const QString& key = QString());
    // Adds the rows of a query after the others.
    void addQuery(QueryPages pages) { m_rows.addQuery(std::move(pages)); }
    void setSortAs(int column, RowsModel::SortAs as) { m_rows.setSortAs(column, as); }
    void setSortKey(int column, std::function<qint64(const QString&)> key)
    {
        m_rows.setSortKey(column, std::move(key));
    }
    // Sets the text of column n + 1 of a row (n counts from 1).
    void setSubItem(int row, int n, const QString& text) { m_rows.setText(row, n, text); }
    QString itemText(int row, int column = 0) const { return m_rows.text(row, column); }
    QString itemKey(int row) const { return m_rows.key(row); }
    int itemCount() const { return m_rows.total(); }
    void removeItem(int row) { m_rows.removeRow(row); }
    void clearItems() { m_rows.clear(); }
    // The selected rows, from the last up, so that removing them one by one keeps the others' places.
    QList<int> selectedRowsFromLast() const;
    void resizeColumnsToContents();
    // A row's place, for a pointer (QTreeWidget's names).
    QModelIndex topLevelItem(int row) const { return m_rows.index(row, 0); }
    QRect visualItemRect(const QModelIndex& index) const { return visualRect(index); }

signals:
    void ItemClick(int row);

private:
    RowsModel m_rows;
};

// A plain list of texts, one column, no heading; the rows of a query are
// read as they come into view.
class NameList : public QListView {
    Q_OBJECT
public:
    explicit NameList(QWidget* parent = nullptr);

    int count() const { return m_rows.total(); }
    QString text(int row) const { return m_rows.text(row); }
    void addQuery(QueryPages pages) { m_rows.addQuery(std::move(pages)); }
    void clear() { m_rows.clear(); }
    int currentRow() const { return currentIndex().row(); }
    void setCurrentRow(int row) { setCurrentIndex(m_rows.index(row, 0)); }
    QRect rowRect(int row) const { return visualRect(m_rows.index(row, 0)); }

signals:
    void currentRowChanged(int row);
    void rowClicked(int row);

private:
    RowsModel m_rows;
};
