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
    , m_columns(int(columns.size()))
{
    QStringList names;
    for (const QString& column : columns)
        names << quoted(column);
    const QString where = m_filtered ? QStringLiteral(" WHERE %1 = ?1").arg(quoted(field)) : QString();
    m_pageSql = QStringLiteral("SELECT rowid, %1 FROM %2%3 %4 rowid > ?2 ORDER BY rowid LIMIT ?3")
                    .arg(names.join(QStringLiteral(", ")), quoted(table), where,
                         m_filtered ? QStringLiteral("AND") : QStringLiteral("WHERE"))
                    .toUtf8();
    m_from = quoted(table) + where;
    Query counting(con.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(m_from).toUtf8());
    if (m_filtered)
        counting.bindText(1, m_value);
    counting.step();
    m_count = sqlite3_column_int(counting.stmt, 0);
    m_atEnd = m_count == 0;
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
    int got = 0;
    while (page.step()) {
        QStringList row;
        row.reserve(m_columns);
        for (int i = 1; i <= m_columns; ++i)
            row << page.text(i);
        rows.push_back(std::move(row));
        m_lastRowid = sqlite3_column_int64(page.stmt, 0);
        ++got;
    }
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
