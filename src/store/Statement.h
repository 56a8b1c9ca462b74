#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement on a connection's handle, finalized when it goes.
// A failure throws StoreError with SQLite's reason, put into `trouble` (at
// its %1) when one is given.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql, const QString& trouble = QString());
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QString& text);
    Statement& bind(int index, qint64 value);
    // Bytes as they are (a BLOB), not as text.
    Statement& bind(int index, const QByteArray& bytes);
    // True while there is a row.
    bool step();
    void reset();
    // Reset, and every value unbound (NULL).
    void clear();
    QString text(int column) const;
    // The same as stored (UTF-8), without a copy: valid until the next step.
    QByteArrayView bytes(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;

private:
    [[noreturn]] void fail() const;

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_trouble;
};
