#include "store/KeyedRows.h"

#include <sqlite3.h>

#include <QStringList>

#include "store/Connection.h"
#include "store/Statement.h"

KeyedRows::KeyedRows(QLatin1StringView table, QLatin1StringView key, std::span<const QLatin1StringView> fields)
{
    QStringList names, sets;
    for (const QLatin1StringView f : fields) {
        names << f;
        sets << f + QLatin1String(" = ?");
    }
    const QString where = QStringLiteral(" WHERE %1 = ?").arg(key);
    m_insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                   .arg(table, names.join(u", "), QStringList(names.size(), QStringLiteral("?")).join(u", "));
    m_update = QStringLiteral("UPDATE %1 SET %2").arg(table, sets.join(u", ")) + where;
    m_delete = QStringLiteral("DELETE FROM %1").arg(table) + where;
    m_select = QStringLiteral("SELECT %1 FROM %2").arg(names.join(u", "), table) + where;
}

qint64 KeyedRows::add(Connection& con, std::span<const QString> values) const
{
    Statement& st = con.prepared(m_insert);
    for (std::size_t i = 0; i < values.size(); ++i)
        st.bind(int(i) + 1, values[i]);
    st.step();
    return sqlite3_last_insert_rowid(con.handle());
}

void KeyedRows::change(Connection& con, qint64 key, std::span<const QString> values) const
{
    Statement& st = con.prepared(m_update);
    for (std::size_t i = 0; i < values.size(); ++i)
        st.bind(int(i) + 1, values[i]);
    st.bind(int(values.size()) + 1, key);
    st.step();
}

bool KeyedRows::remove(Connection& con, qint64 key) const
{
    sqlite3* db = con.handle();
    Statement st(db, m_delete);
    st.bind(1, key);
    st.step();
    return sqlite3_changes(db) > 0;
}

bool KeyedRows::read(Connection& con, qint64 key, std::span<QString> values) const
{
    Statement& st = con.prepared(m_select);
    st.bind(1, key);
    if (!st.step())
        return false;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = st.text(int(i));
    st.reset();
    return true;
}
