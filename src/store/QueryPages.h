#pragma once

#include <vector>

#include <QString>
#include <QStringList>

class Connection;

// The rows of one table in the order they were added — all of them, or those
// whose `field` equals `value` — read a page at a time, each row as the texts
// of the chosen columns (an empty value reads as empty text). A list shows
// its first rows at once and reads the others as they are scrolled to. Each
// page is a query of its own that starts after the last row read, so nothing
// keeps the file open between pages.
class QueryPages {
public:
    // Counts the matching rows; throws StoreError.
    QueryPages(Connection& con, const QString& table, const QStringList& columns, const QString& field = QString(),
               const QString& value = QString());

    // No rows: what is left of a query whose file has gone.
    QueryPages() = default;

    // The number of matching rows when counted; fewer are read when some
    // have been deleted since.
    int count() const { return m_count; }
    bool atEnd() const { return m_atEnd; }
    // The text of `column` in the last matching row; empty without one.
    QString lastText(const QString& column) const;
    // Appends up to `max` further rows to `rows`; throws StoreError.
    void read(int max, std::vector<QStringList>& rows);
    // Reads from the first row again, ordered by the chosen column at
    // `column` (-1: in the order they were added), as text with case aside
    // or as numbers (a text that is no number counts as 0); rows that
    // compare the same keep the order they were added in.
    void orderBy(int column, bool descending, bool numeric);

private:
    void prepareSql();

    Connection* m_con = nullptr;
    QString m_from;       // table and condition
    QStringList m_names;  // the chosen columns, quoted
    QByteArray m_pageSql;
    QByteArray m_value;
    bool m_filtered = false;
    int m_count = 0;
    int m_order = -1;
    bool m_descending = false;
    bool m_numeric = false;
    qint64 m_lastRowid = 0;
    QByteArray m_lastText;  // the last row's text in the ordering column
    bool m_started = false;
    bool m_atEnd = true;
};
