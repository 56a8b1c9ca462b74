#include "store/QueryPages.h"

#include <sqlite3.h>

#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

QString quoted(const QString& identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// A prepared statement that finalizes itself.
struct Query {
    sqlite3* db;
    sqlite3_stmt* stmt = nullptr;
    Query(sqlite3* handle, const QByteArray& sql)
        : db(handle)
    {
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Query() { sqlite3_finalize(stmt); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    [[noreturn]] void fail() const { throw StoreError(failureReason(db)); }
    void bindText(int index, const QByteArray& text)
    {
        if (sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_STATIC) != SQLITE_OK)
            fail();
    }
    bool step()
    {
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            fail();
        return rc == SQLITE_ROW;
    }
    QString text(int i) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                 sqlite3_column_bytes(stmt, i));
    }
};

}  // namespace

QueryPages::QueryPages(Connection& con, const QString& table, const QStringList& columns, const QString& field,
                       const QString& value)
    : m_con(&con)
    , m_value(value.toUtf8())
    , m_filtered(!field.isEmpty())
{
    for (const QString& column : columns)
        m_names << quoted(column);
    m_from = quoted(table) + (m_filtered ? QStringLiteral(" WHERE %1 = ?1").arg(quoted(field)) : QString());
    prepareSql();
    Query counting(con.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(m_from).toUtf8());
    if (m_filtered)
        counting.bindText(1, m_value);
    counting.step();
    m_count = sqlite3_column_int(counting.stmt, 0);
    m_atEnd = m_count == 0;
}

// Each page is a query of its own that starts after the last row read: by
// its rowid, or by its value of the ordering column and then its rowid.
void QueryPages::prepareSql()
{
    const QString joiner = m_filtered ? QStringLiteral(" AND ") : QStringLiteral(" WHERE ");
    if (m_order < 0) {
        m_pageSql = QStringLiteral("SELECT rowid, %1 FROM %2%3rowid > ?2 ORDER BY rowid LIMIT ?3")
                        .arg(m_names.join(QStringLiteral(", ")), m_from, joiner)
                        .toUtf8();
        return;
    }
    const QString value = QStringLiteral("coalesce(%1, '')").arg(m_names[m_order]);
    const QString by =
        m_numeric ? QStringLiteral("CAST(%1 AS REAL)").arg(value) : value + QStringLiteral(" COLLATE NOCASE");
    // The last row's text is bound and made a value the same way; rows of
    // the same value keep the order they were added in, either way.
    const QString last = m_numeric ? QStringLiteral("CAST(?4 AS REAL)") : QStringLiteral("?4");
    m_pageSql = QStringLiteral("SELECT rowid, %1 FROM %2%3(?4 IS NULL OR %4 %5 %6 OR (%4 = %6 AND rowid > ?2)) "
                               "ORDER BY %4%7, rowid LIMIT ?3")
                    .arg(m_names.join(QStringLiteral(", ")), m_from, joiner, by,
                         m_descending ? QStringLiteral("<") : QStringLiteral(">"), last,
                         m_descending ? QStringLiteral(" DESC") : QString())
                    .toUtf8();
}

void QueryPages::orderBy(int column, bool descending, bool numeric)
{
    m_order = column >= 0 && column < m_names.size() ? column : -1;
    m_descending = descending;
    m_numeric = numeric;
    m_lastRowid = 0;
    m_started = false;
    m_atEnd = m_count == 0;
    if (m_con)
        prepareSql();
}

void QueryPages::read(int max, std::vector<QStringList>& rows)
{
    if (m_atEnd)
        return;
    Query page(m_con->handle(), m_pageSql);
    if (m_filtered)
        page.bindText(1, m_value);
    sqlite3_bind_int64(page.stmt, 2, m_lastRowid);
    sqlite3_bind_int(page.stmt, 3, max);
    if (m_order >= 0 && m_started)
        page.bindText(4, m_lastText);
    const int columns = int(m_names.size());
    int got = 0;
    while (page.step()) {
        QStringList row;
        row.reserve(columns);
        for (int i = 1; i <= columns; ++i)
            row << page.text(i);
        rows.push_back(std::move(row));
        m_lastRowid = sqlite3_column_int64(page.stmt, 0);
        ++got;
    }
    if (got > 0 && m_order >= 0)
        m_lastText = rows.back()[m_order].toUtf8();  // an empty value reads as empty text, as coalesce makes it
    m_started = true;
    m_atEnd = got < max;
}

QString QueryPages::lastText(const QString& column) const
{
    if (m_count == 0)
        return QString();
    Query last(m_con->handle(),
               QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid DESC LIMIT 1").arg(quoted(column), m_from).toUtf8());
    if (m_filtered)
        last.bindText(1, m_value);
    return last.step() ? last.text(0) : QString();
}
