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

private:
    Connection* m_con = nullptr;
    QString m_from;  // table and condition
    QByteArray m_pageSql;
    QByteArray m_value;
    bool m_filtered = false;
    int m_columns = 0;
    int m_count = 0;
    qint64 m_lastRowid = 0;
    bool m_atEnd = true;
};
