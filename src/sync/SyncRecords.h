#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "kit/Occurrences.h"
#include "sync/KeptObjects.h"

struct sqlite3;
class Connection;

// The address book and the day planner as rows with a UID. The rows are
// written through their tables' owners in the store (Contacts,
// AppointmentRows); which local row stands for which UID is kept in a table
// of its own, tblSyncMap, so the four tables keep their shape.
struct TableShape {
    QString kind;   // "contact", "appointment" or "task": the map's name for the table
    QString table;  // tblAddress, tblOrginize, tblTask
    QString key;    // Org_ID, OrgRow, TaskRow
    QStringList fields;

    static const TableShape& contacts();
    static const TableShape& appointments();
    static const TableShape& tasks();
};

struct KeyedRecord {
    qint64 key = 0;
    QString uid;         // empty when the row was never exported or imported
    QStringList values;  // in the order of TableShape::fields
    // A series' occurrences left out or changed, in one text: they travel
    // in its object, so a change of them is a change of the record.
    QString exceptions = {};
};

// The same as the store holds it (UTF-8), without a copy: what each() hands
// out is valid during the call only.
struct RecordBytes {
    qint64 key = 0;
    QByteArrayView uid;
    std::vector<QByteArrayView> values;
    QByteArrayView object, base;  // what is kept of it (tblSyncKept), empty for a record made here
    // The row is a changed occurrence of this row's series: it goes out
    // inside that series' object, and is given no UID of its own here.
    qint64 seriesRow = 0;
};

// A row of tblSyncMap: which local row (key, -1 when it was deleted here)
// stands for which server resource, and the hash of the fields as last synced.
struct MapEntry {
    QString uid;
    qint64 key = -1;
    QString href;
    QString etag;
    QString hash;
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
    // as read until commit().
    QList<KeyedRecord> all();
    // Every row in stored order, handed to `take` as it is read, each with
    // its UID: a row without one is given one, kept by the next commit().
    // The rows stay as read until then.
    void each(const std::function<void(const RecordBytes&)>& take);

    // Adds the record, or updates the row that has this UID, and with
    // `kept` keeps the object it was read from as keep() does. All of it or
    // nothing: a refused write throws StoreError and leaves no trace.
    Put put(const QString& uid, const QStringList& values, const KeptObject* kept = nullptr,
            const QString& more = QString());
    // Writes kept by put() become permanent; until then they form batches so
    // that a large import is not one disk flush per record.
    void commit();

    // For a sync with a server: the map and the rows by key, written inside
    // one transaction that begin() opens and commit() or rollback() ends.
    QList<MapEntry> entries();
    void link(const MapEntry& entry);
    void forget(const QString& uid);
    // What the server took of the record: the map's key stays as it is now.
    void recordSent(const MapEntry& entry);
    qint64 insertRow(const QStringList& values);
    void updateRow(qint64 key, const QStringList& values);
    void deleteRow(qint64 key);
    // The row's values, or empty when there is no such row.
    QStringList row(qint64 key);
    void begin();
    void rollback();
    // The object a record was read from, kept beside it (tblSyncKept) until
    // a newer one of its UID is read; `more` lists what of it has no field.
    void keep(const QString& uid, const KeptObject& kept, const QString& more);
    // Empty when the record was made here or read before objects were kept.
    KeptObject kept(const QString& uid);
    static KeptObject keptFrom(QByteArrayView object, QByteArrayView base);
    // The changed occurrences in a series' kept object become the rows that
    // replace them, each under its own UID (the series' "#" RECURRENCE-ID);
    // one of ours is found by the occurrence it replaces, one that came from
    // the object before and is gone from it goes.
    // `theirs`: the series becomes what the server holds, every change of
    // its occurrences here replaced.
    void keepOverrides(const QString& uid, const QByteArray& object, bool theirs = false);
    // Row `to` repeats as row `from` does, with the same occurrences left out
    // and changed, these as rows of its own made here.
    void copySeries(qint64 from, qint64 to);
    // How the appointment of `uid` repeats or which days it covers, when it does.
    std::optional<Occurrences::Series> series(const QString& uid);
    std::optional<Occurrences::Series> series(qint64 key);
    // The rows that stand for changed occurrences of the series of row `seriesKey`.
    QList<qint64> overrideRows(qint64 seriesKey);
    // The UID of a row, or empty when it has none yet.
    QString uidOf(qint64 key);
    // The row that stands for a UID, or -1.
    qint64 keyOf(const QString& uid);
    // What the map keeps to see that a row changed since it was synced.
    // With exceptions, two parts: the fields', then theirs.
    static QString hash(const QStringList& values, const QString& exceptions = {});
    // The fields' part of such a hash: what a server's resource is compared with.
    static QString fieldsHash(const QString& hash);
    // The exceptions' part of such a hash (empty: none).
    static QString exceptionsHash(const QString& hash);
    // Every series' KeyedRecord::exceptions, by its row.
    QHash<qint64, QString> exceptions();
    // The same text for the series `uid` in an object as a server holds it.
    static QString exceptionsOf(const QByteArray& object, const QString& uid);
    // A record's exceptions followed by who its kept event invites and how
    // each answered: these live in the kept event alone, so a change of them
    // is a change of the record. What exceptions() gives includes them.
    static QString withAttendance(const QString& exceptions, QByteArrayView kept);
    // A meeting synced before its attendees were counted in its hash keeps
    // a hash that is right for it without them: it is made right with them,
    // so that an unchanged meeting is not sent again. Only `uid`'s, when named.
    void hashAttendance(const QString& uid = {});

private:
    void exec(const char* sql);
    void read(const std::function<void(const RecordBytes&)>& take, bool giveUids);
    // How the kept event repeats or spans days, beside its row.
    void keepSeries(const QString& uid, const QByteArray& object);
    // The key the table's next new row gets, or -1 when it cannot be known.
    qint64 nextKey();
    void mapTo(const QString& uid, qint64 key);

    bool events() const { return &m_shape == &TableShape::appointments(); }
    bool tasks() const { return &m_shape == &TableShape::tasks(); }

    Connection& m_con;
    sqlite3* m_db;
    const TableShape& m_shape;
    bool m_inTransaction = false;
    int m_pending = 0;
    QElapsedTimer m_began;  // when the open transaction began
};
