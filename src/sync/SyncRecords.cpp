#include "sync/SyncRecords.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QUuid>

#include <algorithm>

#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/Statement.h"
#include "store/StoreError.h"
#include "sync/EventMap.h"

namespace {

// A command-line import may meet the program's window in the middle of a
// save; the window's writes are short, so waiting this long always suffices.
constexpr int kBusyWaitMs = 15000;
// Records per transaction: a crash loses at most this batch, never half a record.
constexpr int kBatch = 200;

constexpr const char* kMapSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblSyncMap (
  Kind     TEXT NOT NULL,
  UID      TEXT NOT NULL,
  LocalKey INTEGER,
  Href     TEXT NOT NULL DEFAULT '',
  ETag     TEXT NOT NULL DEFAULT '',
  Hash     TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (Kind, UID)
);
-- The card or events of a UID as they were read, and the fields' values then.
CREATE TABLE IF NOT EXISTS tblSyncKept (
  Kind   TEXT NOT NULL,
  UID    TEXT NOT NULL,
  Object BLOB NOT NULL,
  Base   TEXT NOT NULL,
  More   TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (Kind, UID)
);
CREATE INDEX IF NOT EXISTS ixSyncMapLocal ON tblSyncMap(Kind, LocalKey);
-- A deleted row keeps its UID with no local row, so a later sync knows it went.
CREATE TRIGGER IF NOT EXISTS trSyncAddressGone AFTER DELETE ON tblAddress BEGIN
  UPDATE tblSyncMap SET LocalKey = NULL WHERE Kind = 'contact' AND LocalKey = OLD.Org_ID;
END;
CREATE TRIGGER IF NOT EXISTS trSyncOrginizeGone AFTER DELETE ON tblOrginize BEGIN
  UPDATE tblSyncMap SET LocalKey = NULL WHERE Kind = 'appointment' AND LocalKey = OLD.OrgRow;
END;
)sql";

}  // namespace

const TableShape& TableShape::contacts()
{
    static const TableShape shape{QStringLiteral("contact"),
                                  QStringLiteral("tblAddress"),
                                  QStringLiteral("Org_ID"),
                                  {QStringLiteral("FirstName"), QStringLiteral("LastName"),
                                   QStringLiteral("HomeAddress"), QStringLiteral("Suburb"), QStringLiteral("PostCode"),
                                   QStringLiteral("Email"), QStringLiteral("HomePhone"), QStringLiteral("Mobile"),
                                   QStringLiteral("ICQ"), QStringLiteral("WebAddress"), QStringLiteral("Comments")}};
    return shape;
}

const TableShape& TableShape::appointments()
{
    static const TableShape shape{QStringLiteral("appointment"),
                                  QStringLiteral("tblOrginize"),
                                  QStringLiteral("OrgRow"),
                                  {QStringLiteral("DateValue"), QStringLiteral("TimeStart"),
                                   QStringLiteral("TimeFinished"), QStringLiteral("Note")}};
    return shape;
}

SyncRecords::SyncRecords(Connection& con, const TableShape& shape)
    : m_con(con)
    , m_db(con.handle())
    , m_shape(shape)
{
    sqlite3_busy_timeout(m_db, kBusyWaitMs);
    exec(kMapSchema);
    // A map made before syncing with a server lacks the hash.
    Statement hasHash(m_db, QStringLiteral("SELECT 1 FROM pragma_table_info('tblSyncMap') WHERE name = 'Hash'"));
    if (!hasHash.step())
        exec("ALTER TABLE tblSyncMap ADD COLUMN Hash TEXT NOT NULL DEFAULT ''");
}

SyncRecords::~SyncRecords()
{
    // Whatever was not committed did not happen.
    if (m_inTransaction)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SyncRecords::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        throw StoreError(reason);
    }
}

void SyncRecords::begin()
{
    // Inside a transaction opened by someone else, the writes become part of it.
    if (!m_inTransaction && sqlite3_get_autocommit(m_db)) {
        exec("BEGIN IMMEDIATE");
        m_inTransaction = true;
    }
}

void SyncRecords::commit()
{
    if (m_inTransaction) {
        exec("COMMIT");
        m_inTransaction = false;
    }
    m_pending = 0;
}

QList<KeyedRecord> SyncRecords::all()
{
    QList<KeyedRecord> out;
    read(
        [&](const RecordBytes& r) {
            KeyedRecord& k = out.emplace_back();
            k.key = r.key;
            k.uid = QString::fromUtf8(r.uid);
            for (const QByteArrayView v : r.values)
                k.values << QString::fromUtf8(v);
        },
        false);
    return out;
}

void SyncRecords::each(const std::function<void(const RecordBytes&)>& take)
{
    read(take, true);
}

void SyncRecords::read(const std::function<void(const RecordBytes&)>& take, bool giveUids)
{
    // Read and the UIDs given out as it goes in one transaction: a row
    // deleted meanwhile by the window could otherwise leave its key a UID.
    begin();
    QString sql = QStringLiteral("SELECT t.%1, m.UID").arg(m_shape.key);
    for (const QString& f : m_shape.fields)
        sql += QStringLiteral(", t.") + f;
    sql += QStringLiteral(", k.Object, k.Base FROM %1 t LEFT JOIN tblSyncMap m ON m.Kind = ? AND m.LocalKey = t.%2 "
                          "LEFT JOIN tblSyncKept k ON k.Kind = m.Kind AND k.UID = m.UID ORDER BY t.%2")
               .arg(m_shape.table, m_shape.key);
    Statement st(m_db, sql);
    st.bind(1, m_shape.kind);
    const int kept = int(m_shape.fields.size()) + 2;
    Statement give(m_db, QStringLiteral("INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES (?, ?, ?)"));
    RecordBytes r;
    r.values.resize(m_shape.fields.size());
    QByteArray given;
    while (st.step()) {
        r.key = st.integer(0);
        r.uid = st.bytes(1);
        for (int i = 0; i < m_shape.fields.size(); ++i)
            r.values[i] = st.bytes(i + 2);
        r.object = st.bytes(kept);
        r.base = st.bytes(kept + 1);
        const bool giving = giveUids && r.uid.isEmpty();
        if (giving) {
            given = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
            r.uid = given;
        }
        take(r);
        // Only after `take`: the row's bytes are SQLite's until the next statement runs.
        if (giving) {
            give.bind(1, m_shape.kind).bind(2, QString::fromLatin1(given)).bind(3, r.key);
            give.step();
            give.reset();
        }
    }
}

qint64 SyncRecords::keyOf(const QString& uid)
{
    Statement st(m_db, QStringLiteral("SELECT LocalKey FROM tblSyncMap WHERE Kind = ? AND UID = ?"));
    st.bind(1, m_shape.kind).bind(2, uid);
    return st.step() && !st.isNull(0) ? st.integer(0) : -1;
}

SyncRecords::Put SyncRecords::put(const QString& uid, const QStringList& values)
{
    begin();
    exec("SAVEPOINT record");
    try {
        Put result = Put::Added;
        qint64 key = keyOf(uid);
        if (key >= 0) {
            const QStringList stored = row(key);
            if (stored.isEmpty())
                key = -1;  // the map outlived its row
            else
                result = stored == values ? Put::Unchanged : Put::Updated;
        }
        if (result == Put::Updated) {
            updateRow(key, values);
        } else if (key < 0) {
            const qint64 added = insertRow(values);
            Statement map(m_db,
                          QStringLiteral("INSERT OR REPLACE INTO tblSyncMap (Kind, UID, LocalKey) VALUES (?, ?, ?)"));
            map.bind(1, m_shape.kind).bind(2, uid).bind(3, added);
            map.step();
        }
        exec("RELEASE record");
        if (++m_pending >= kBatch)
            commit();
        return result;
    } catch (const StoreError&) {
        sqlite3_exec(m_db, "ROLLBACK TO record; RELEASE record", nullptr, nullptr, nullptr);
        throw;
    }
}

void SyncRecords::rollback()
{
    if (m_inTransaction) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
    }
    m_pending = 0;
}

namespace {

// The fields of one record in one text; no field holds a unit separator.
constexpr QChar kFieldSeparator(0x1f);

}  // namespace

void SyncRecords::keep(const QString& uid, const KeptObject& kept, const QString& more)
{
    Statement st(m_db, QStringLiteral("INSERT OR REPLACE INTO tblSyncKept (Kind, UID, Object, Base, More) "
                                      "VALUES (?, ?, ?, ?, ?)"));
    st.bind(1, m_shape.kind).bind(2, uid).bind(3, kept.object).bind(4, kept.base.join(kFieldSeparator)).bind(5, more);
    st.step();
    if (&m_shape == &TableShape::appointments())
        keepSeries(uid, kept.object);
}

std::optional<Occurrences::Series> SyncRecords::series(const QString& uid)
{
    const qint64 key = keyOf(uid);
    return key < 0 ? std::nullopt : series(key);
}

std::optional<Occurrences::Series> SyncRecords::series(qint64 key)
{
    return Occurrences::seriesOf(m_con, key);
}

void SyncRecords::keepSeries(const QString& uid, const QByteArray& object)
{
    const qint64 key = keyOf(uid);
    if (key < 0)
        return;
    std::optional<Occurrences::Series> series = EventMap::seriesOf(object, uid);
    if (!series) {
        Occurrences::remove(m_con, key);
        return;
    }
    series->row = key;
    if (!series->recurrenceId.isEmpty()) {
        // A replaced occurrence names its series' row, once that is here.
        const QString master = uid.chopped(std::min(uid.size(), series->recurrenceId.size() + 1));
        series->seriesRow = std::max<qint64>(0, keyOf(master));
    } else {
        Statement link(m_db, QStringLiteral("UPDATE tblOrginizeSeries SET SeriesRow = ? WHERE SeriesRow = 0 AND "
                                            "RecurrenceId <> '' AND OrgRow IN (SELECT LocalKey FROM tblSyncMap "
                                            "WHERE Kind = ? AND substr(UID, 1, ?) = ?)"));
        link.bind(1, key).bind(2, m_shape.kind).bind(3, qint64(uid.size() + 1)).bind(4, uid + u'#');
        link.step();
    }
    Occurrences::write(m_con, *series);
}

KeptObject SyncRecords::kept(const QString& uid)
{
    Statement st(m_db, QStringLiteral("SELECT Object, Base FROM tblSyncKept WHERE Kind = ? AND UID = ?"));
    st.bind(1, m_shape.kind).bind(2, uid);
    return st.step() ? keptFrom(st.bytes(0), st.bytes(1)) : KeptObject{};
}

KeptObject SyncRecords::keptFrom(QByteArrayView object, QByteArrayView base)
{
    return {object.toByteArray(), QString::fromUtf8(base).split(kFieldSeparator)};
}

QString SyncRecords::hash(const QStringList& values)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(values.join(QChar(0x1f)).toUtf8(), QCryptographicHash::Sha1).toHex());
}

QList<MapEntry> SyncRecords::entries()
{
    Statement st(m_db, QStringLiteral("SELECT UID, LocalKey, Href, ETag, Hash FROM tblSyncMap WHERE Kind = ?"));
    st.bind(1, m_shape.kind);
    QList<MapEntry> out;
    while (st.step())
        out << MapEntry{st.text(0), st.isNull(1) ? -1 : st.integer(1), st.text(2), st.text(3), st.text(4)};
    return out;
}

void SyncRecords::link(const MapEntry& e)
{
    Statement st(m_db, QStringLiteral("INSERT OR REPLACE INTO tblSyncMap (Kind, UID, LocalKey, Href, ETag, Hash) "
                                      "VALUES (?, ?, ?, ?, ?, ?)"));
    st.bind(1, m_shape.kind).bind(2, e.uid).bind(4, e.href).bind(5, e.etag).bind(6, e.hash);
    if (e.key >= 0)
        st.bind(3, e.key);
    st.step();
}

void SyncRecords::forget(const QString& uid)
{
    // What was kept of it goes with it: a record of that UID read again is new.
    for (const char* table : {"tblSyncMap", "tblSyncKept"}) {
        Statement st(m_db, QStringLiteral("DELETE FROM %1 WHERE Kind = ? AND UID = ?").arg(QLatin1String(table)));
        st.bind(1, m_shape.kind).bind(2, uid);
        st.step();
    }
}

void SyncRecords::recordSent(const MapEntry& e)
{
    Statement st(m_db, QStringLiteral("UPDATE tblSyncMap SET Href = ?, ETag = ?, Hash = ? WHERE Kind = ? AND UID = ?"));
    st.bind(1, e.href).bind(2, e.etag).bind(3, e.hash).bind(4, m_shape.kind).bind(5, e.uid);
    st.step();
}

qint64 SyncRecords::insertRow(const QStringList& values)
{
    Statement st(m_db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(m_shape.table, m_shape.fields.join(u", "),
                                QStringList(m_shape.fields.size(), QStringLiteral("?")).join(u", ")));
    for (int i = 0; i < values.size(); ++i)
        st.bind(i + 1, values[i]);
    st.step();
    return sqlite3_last_insert_rowid(m_db);
}

void SyncRecords::updateRow(qint64 key, const QStringList& values)
{
    QStringList sets;
    for (const QString& f : m_shape.fields)
        sets << f + QStringLiteral(" = ?");
    Statement st(m_db,
                 QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(m_shape.table, sets.join(u", "), m_shape.key));
    for (int i = 0; i < values.size(); ++i)
        st.bind(i + 1, values[i]);
    st.bind(int(values.size()) + 1, key);
    st.step();
}

void SyncRecords::deleteRow(qint64 key)
{
    Statement st(m_db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(m_shape.table, m_shape.key));
    st.bind(1, key);
    st.step();
}

QStringList SyncRecords::row(qint64 key)
{
    Statement st(
        m_db,
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(m_shape.fields.join(u", "), m_shape.table, m_shape.key));
    st.bind(1, key);
    QStringList out;
    if (st.step())
        for (int i = 0; i < m_shape.fields.size(); ++i)
            out << st.text(i);
    return out;
}
