#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
class Connection;

// The address book and the day planner as rows with a UID, read and written
// by field name. Which local row stands for which UID is kept in a table of
// its own, tblSyncMap, so the four tables keep their shape.
struct TableShape {
    QString kind;   // "contact" or "appointment": the map's name for the table
    QString table;  // tblAddress, tblOrginize
    QString key;    // Org_ID, OrgRow
    QStringList fields;

    static const TableShape& contacts();
    static const TableShape& appointments();
};

struct KeyedRecord {
    qint64 key = 0;
    QString uid;         // empty when the row was never exported or imported
    QStringList values;  // in the order of TableShape::fields
};

class SyncRecords {
public:
    enum class Put { Added, Updated, Unchanged };

    // Creates the map table (and the triggers that forget a deleted row) if
    // they are missing, and waits for a busy file as long as a person would.
    SyncRecords(Connection& con, const TableShape& shape);
    ~SyncRecords();
    SyncRecords(const SyncRecords&) = delete;
    SyncRecords& operator=(const SyncRecords&) = delete;

    // Every row in stored order, with its UID where it has one; the rows stay
    // as read until assignUids() or commit().
    QList<KeyedRecord> all();
    // Gives the rows without a UID one, in one transaction.
    void assignUids(QList<KeyedRecord>& records);

    // Adds the record, or updates the row that has this UID. All of it or
    // nothing: a refused write throws StoreError and leaves no trace.
    Put put(const QString& uid, const QStringList& values);
    // Writes kept by put() become permanent; until then they form batches so
    // that a large import is not one disk flush per record.
    void commit();

private:
    void exec(const char* sql);
    qint64 keyOf(const QString& uid);
    void begin();

    sqlite3* m_db;
    const TableShape& m_shape;
    bool m_inTransaction = false;
    int m_pending = 0;
};
