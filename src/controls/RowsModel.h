#pragma once

#include <deque>
#include <vector>

#include <QAbstractTableModel>
#include <QSet>
#include <QStringList>

#include "store/QueryPages.h"

// The rows of a list: texts added one row at a time, followed by the rows of
// queries that are read a page at a time as the view scrolls to them
// (canFetchMore/fetchMore) or as code asks for them.
class RowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setHeaders(const QStringList& headers);
    const QStringList& headers() const { return m_headers; }

    // Adds a row after every other; -1 when `key` is not empty and a row has
    // it already.
    int addRow(const QStringList& texts, const QString& key = QString());
    void setText(int row, int column, const QString& text);
    // Appends the query's rows; they are read when wanted. A numbered query's
    // rows begin with their place among its rows, from 1.
    void addQuery(QueryPages pages, bool numbered = false);
    // Takes one row out, wherever it is.
    void removeRow(int row);
    // Drops rows from the end, or adds empty ones.
    void setTotal(int rows);
    void clear();

    // Rows, counting those not read yet.
    int total() const { return int(m_rows.size()) + m_unread; }
    // Reads the query rows up to `row` first (what is read is a cache of the
    // file, so this counts as reading); empty beyond the last row.
    QString text(int row, int column = 0) const;
    QString key(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

protected:
    // Reads at least `rows` more query rows, or all that are left.
    void readMore(int rows);

private:
    QStringList m_headers;
    std::vector<QStringList> m_rows;
    std::vector<QString> m_keys;
    QSet<QString> m_keySet;
    struct Pending {
        QueryPages pages;
        int left;  // counted and not read yet
        bool numbered;
        int number = 0;
    };
    std::deque<Pending> m_queries;
    int m_unread = 0;
};
