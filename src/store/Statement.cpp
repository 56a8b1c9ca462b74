#include "store/Statement.h"

#include <sqlite3.h>

#include "store/StoreError.h"

Statement::Statement(sqlite3* db, const QString& sql, const QString& trouble)
    : m_db(db)
    , m_trouble(trouble)
{
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK)
        fail();
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& bytes)
{
    // A zero-length BLOB, not NULL, for an empty object.
    sqlite3_bind_blob(m_stmt, index, bytes.isEmpty() ? "" : bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail();
    return rc == SQLITE_ROW;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

void Statement::clear()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

QString Statement::text(int column) const
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                             sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView Statement::bytes(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return {text, sqlite3_column_bytes(m_stmt, column)};
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

void Statement::fail() const
{
    const QString reason = failureReason(m_db);
    throw StoreError(m_trouble.isEmpty() ? reason : m_trouble.arg(reason));
}
