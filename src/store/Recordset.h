#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

class Connection;
class Recordset;

// A field of the current row, read with value()/toString() and written by
// assignment: rst.Fields("FirstName") = text.
class FieldRef {
public:
    FieldRef& operator=(const QVariant& value);
    QVariant value() const;
    QString toString() const { return value().toString(); }
    operator QVariant() const { return value(); }

private:
    friend class Recordset;
    FieldRef(Recordset& rs, int column)
        : m_rs(rs)
        , m_column(column)
    {
    }
    Recordset& m_rs;
    int m_column;
};

// A client-side copy of the rows of one table, or of the rows matching one
// equality condition, in the order they were added. Values always reach SQL
// as bound parameters.
class Recordset {
public:
    // `source` is a table name or "SELECT * FROM <table> WHERE <field> = ?"
    // (keywords in any letter case); `params` fills the "?".
    void Open(Connection& con, const QString& source, const QVariantList& params = {});
    void Close();
    bool isOpen() const { return m_con != nullptr; }

    // True when there is no current row (EOF itself is a C macro).
    bool isEOF() const;
    void MoveFirst();
    void MoveNext();
    int RecordCount() const { return int(m_rows.size()); }

    // Fields are named exactly as the table names them. Reading or writing a
    // field without a current row, or a field the table does not have, throws
    // StoreError.
    FieldRef Fields(const QString& name);
    QVariant Fields(const QString& name) const;

    // Starts a new empty row that becomes current; Update inserts it.
    void AddNew();
    // Writes the new or changed current row in one transaction; a row read
    // from the table must have had a field assigned.
    void Update();
    // Removes the current row; the row after it becomes current.
    void Delete();

private:
    friend class FieldRef;
    struct Row {
        qint64 rowid = 0;
        QVariantList values;
        std::vector<bool> changed;
        bool isNew = false;
    };

    int column(const QString& name) const;
    Row& currentRow();
    const Row& currentRow() const;
    void reloadRow(Row& row);

    Connection* m_con = nullptr;
    QString m_table;
    QStringList m_columns;
    std::vector<Row> m_rows;
    int m_current = 0;
};

// Reads a key from a text box: a whole number, or nothing.
std::optional<qint64> parseKey(const QString& text);
