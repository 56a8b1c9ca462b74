#include "store/Recordset.h"

#include <sqlite3.h>

#include <QRegularExpression>

#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

// A prepared statement that finalizes itself.
class RowStatement {
public:
    RowStatement(sqlite3* db, const QString& sql)
        : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK)
            throw StoreError(failureReason(db));
    }
    ~RowStatement() { sqlite3_finalize(m_stmt); }
    RowStatement(const RowStatement&) = delete;
    RowStatement& operator=(const RowStatement&) = delete;

    void bind(int index, const QVariant& value)
    {
        int rc;
        switch (value.typeId()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(m_stmt, index);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
        if (rc != SQLITE_OK)
            throw StoreError(failureReason(m_db));
    }

    // Returns true while there is a row; throws on failure.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw StoreError(failureReason(m_db));
    }

    QVariant column(int i) const
    {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            return QVariant(qint64(sqlite3_column_int64(m_stmt, i)));
        case SQLITE_NULL:
            return QVariant();
        default:
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i)),
                                     sqlite3_column_bytes(m_stmt, i));
        }
    }
    int columnCount() const { return sqlite3_column_count(m_stmt); }
    QString columnName(int i) const { return QString::fromUtf8(sqlite3_column_name(m_stmt, i)); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw StoreError(failureReason(db));
}

QString quoted(const QString& identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// Runs `work` inside one transaction: either all of it is written or nothing.
template <class Work>
void inTransaction(sqlite3* db, const QString& what, Work work)
{
    try {
        exec(db, "BEGIN IMMEDIATE");
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("%1 could not be written: %2.").arg(what, e.reason()));
    }
    // Whatever stops the work, the transaction must not outlive it: an open
    // one would make every later write on this connection fail.
    try {
        work();
        exec(db, "COMMIT");
    } catch (const StoreError& e) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw StoreError(QStringLiteral("%1 could not be written: %2.").arg(what, e.reason()));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace

FieldRef& FieldRef::operator=(const QVariant& value)
{
    Recordset::Row& row = m_rs.currentRow();
    row.values[m_column] = value;
    row.changed[std::size_t(m_column)] = true;
    return *this;
}

QVariant FieldRef::value() const
{
    return m_rs.currentRow().values[m_column];
}

void Recordset::Open(Connection& con, const QString& source, const QVariantList& params)
{
    static const QRegularExpression tableOnly(QStringLiteral(R"(^\s*(\w+)\s*$)"));
    static const QRegularExpression select(
        QStringLiteral(R"(^\s*select\s+\*\s+from\s+(\w+)(?:\s+where\s+(\w+)\s*=\s*\?)?\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);

    Close();
    QRegularExpressionMatch m = tableOnly.match(source);
    if (!m.hasMatch())
        m = select.match(source);
    if (!m.hasMatch())
        throw StoreError(QStringLiteral("Unsupported query: %1").arg(source));
    const QString table = m.captured(1);
    const QString field = m.lastCapturedIndex() >= 2 ? m.captured(2) : QString();
    if (params.size() != (field.isEmpty() ? 0 : 1))
        throw StoreError(QStringLiteral("Wrong number of values for: %1").arg(source));

    QString sql = QStringLiteral("SELECT rowid, * FROM %1").arg(quoted(table));
    if (!field.isEmpty())
        sql += QStringLiteral(" WHERE %1 = ?").arg(quoted(field));
    sql += QStringLiteral(" ORDER BY rowid");

    RowStatement stmt(con.handle(), sql);
    if (!field.isEmpty())
        stmt.bind(1, params.front());
    const int count = stmt.columnCount();
    QStringList columns;
    for (int i = 1; i < count; ++i)
        columns << stmt.columnName(i);
    std::vector<Row> rows;
    while (stmt.step()) {
        Row row;
        row.rowid = stmt.column(0).toLongLong();
        row.values.reserve(count - 1);
        for (int i = 1; i < count; ++i)
            row.values << stmt.column(i);
        row.changed.assign(std::size_t(count - 1), false);
        rows.push_back(std::move(row));
    }
    m_con = &con;
    m_table = table;
    m_columns = columns;
    m_rows = std::move(rows);
    m_current = 0;
}

void Recordset::Close()
{
    m_con = nullptr;
    m_rows.clear();
    m_columns.clear();
    m_current = 0;
}

bool Recordset::isEOF() const
{
    return m_current < 0 || m_current >= int(m_rows.size());
}

void Recordset::MoveFirst()
{
    m_current = 0;
}

void Recordset::MoveNext()
{
    if (isEOF())
        throw StoreError(QStringLiteral("There is no current record."));
    ++m_current;
}

int Recordset::column(const QString& name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i] == name)
            return i;
    throw StoreError(QStringLiteral("The table %1 has no field %2.").arg(m_table, name));
}

Recordset::Row& Recordset::currentRow()
{
    if (!isOpen() || isEOF())
        throw StoreError(QStringLiteral("There is no current record."));
    return m_rows[std::size_t(m_current)];
}

const Recordset::Row& Recordset::currentRow() const
{
    return const_cast<Recordset*>(this)->currentRow();
}

FieldRef Recordset::Fields(const QString& name)
{
    const int c = column(name);
    currentRow();
    return FieldRef(*this, c);
}

QVariant Recordset::Fields(const QString& name) const
{
    return currentRow().values[column(name)];
}

void Recordset::AddNew()
{
    if (!isOpen())
        throw StoreError(QStringLiteral("The record set is not open."));
    Row row;
    row.isNew = true;
    for (int i = 0; i < m_columns.size(); ++i)
        row.values << QVariant();
    row.changed.assign(std::size_t(m_columns.size()), false);
    m_rows.push_back(std::move(row));
    m_current = int(m_rows.size()) - 1;
}

void Recordset::reloadRow(Row& row)
{
    RowStatement stmt(m_con->handle(), QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(quoted(m_table)));
    stmt.bind(1, row.rowid);
    if (stmt.step())
        for (int i = 0; i < m_columns.size(); ++i)
            row.values[i] = stmt.column(i);
}

void Recordset::Update()
{
    Row& row = currentRow();
    QStringList names;
    QVariantList values;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (row.changed[std::size_t(i)]) {
            names << quoted(m_columns[i]);
            values << row.values[i];
        }
    }
    sqlite3* db = m_con->handle();
    const QString what = QStringLiteral("The record in %1").arg(m_table);
    inTransaction(db, what, [&] {
        QString sql;
        if (row.isNew) {
            QStringList marks;
            for (int i = 0; i < names.size(); ++i)
                marks << QStringLiteral("?");
            sql = names.isEmpty()
                      ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table))
                      : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(quoted(m_table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        } else {
            sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                      .arg(quoted(m_table), names.join(QStringLiteral(" = ?, ")));
            values << row.rowid;
        }
        RowStatement stmt(db, sql);
        for (int i = 0; i < values.size(); ++i)
            stmt.bind(i + 1, values[i]);
        stmt.step();
        if (row.isNew)
            row.rowid = sqlite3_last_insert_rowid(db);
    });
    row.isNew = false;
    row.changed.assign(row.changed.size(), false);
    reloadRow(row);
}

void Recordset::Delete()
{
    Row& row = currentRow();
    if (!row.isNew) {
        sqlite3* db = m_con->handle();
        inTransaction(db, QStringLiteral("The deletion in %1").arg(m_table), [&] {
            RowStatement stmt(db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(m_table)));
            stmt.bind(1, row.rowid);
            stmt.step();
        });
    }
    m_rows.erase(m_rows.begin() + m_current);
}

std::optional<qint64> parseKey(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral(R"(^\s*\d{1,18}\s*$)"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    return text.trimmed().toLongLong();
}
