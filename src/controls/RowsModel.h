#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>

#include "store/QueryPages.h"

// The rows of a list: texts added one row at a time, followed by the rows of
// queries that are read a page at a time as the view scrolls to them
// (canFetchMore/fetchMore) or as code asks for them. Sorted by a column,
// the rows of a single query are read in that order from the store; any
// other rows are sorted here, again whenever rows are added or changed.
class RowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // How the texts of a column compare: as words (case aside), as numbers
    // (a text that is no number counts as 0), or as dates the way mail
    // writes them (RFC 2822, or ISO 8601; no date comes before every other).
    enum class SortAs { Text, Number, Date };
    void setSortAs(int column, SortAs as) { m_sortAs[column] = as; }
    // Or by the value the screen reads from the text (a time of day as its
    // tool reads one); such a column is sorted here, never in the store.
    void setSortKey(int column, std::function<qint64(const QString&)> key) { m_sortKeys[column] = std::move(key); }
    // Sorts by `column`; -1 gives the order the rows came in.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // The first `rows` rows (a grid's headings) stay on top, out of any sort.
    void setPinned(int rows);

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
    // file, so this counts as reading), and sorts what is due to be sorted;
    // empty beyond the last row.
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
    struct Row {
        QStringList texts;
        QString key;
        qint64 arrival;  // its place in the order the rows came in
    };
    void append(QStringList texts, const QString& key = QString());
    // Sorts what is read, in memory, keeping every index held on a row.
    void sortHere();
    // Sorts again once the present change is over (rows are added, then
    // given their texts), or when a row is read before then.
    void sortLater();
    void sortIfDue();

    QStringList m_headers;
    std::vector<Row> m_rows;
    qint64 m_arrivals = 0;
    QSet<QString> m_keySet;
    struct Pending {
        QueryPages pages;
        int left;  // counted and not read yet
        bool numbered;
        int number = 0;
    };
    std::deque<Pending> m_queries;
    int m_unread = 0;
    // Each query as it was added, for a sort in the store; rows added by
    // code mean the sort is made here.
    std::vector<Pending> m_added;
    bool m_addedRows = false;  // below the pinned ones
    int m_pinned = 0;
    QHash<int, SortAs> m_sortAs;
    QHash<int, std::function<qint64(const QString&)>> m_sortKeys;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sortedInStore = false;
    bool m_sortDue = false;
};
