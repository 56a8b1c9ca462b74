#include "sync/SyncRecords.h"

#include <sqlite3.h>

#include <QUuid>

#include "store/Connection.h"
#include "store/StoreError.h"

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

class Statement {
public:
    Statement(sqlite3* db, const QString& sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt_, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement& bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, qint64 value)
    {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    // True while there is a row.
    bool step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column)),
                                 sqlite3_column_bytes(stmt_, column));
    }
    void reset() { sqlite3_reset(stmt_); }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

private:
    [[noreturn]] void fail() { throw StoreError(QString::fromUtf8(sqlite3_errmsg(db_))); }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

const TableShape& TableShape::contacts()
{
    static const TableShape shape{
        QStringLiteral("contact"), QStringLiteral("tblAddress"), QStringLiteral("Org_ID"),
        {QStringLiteral("FirstName"), QStringLiteral("LastName"), QStringLiteral("HomeAddress"),
         QStringLiteral("Suburb"), QStringLiteral("PostCode"), QStringLiteral("Email"), QStringLiteral("HomePhone"),
         QStringLiteral("Mobile"), QStringLiteral("ICQ"), QStringLiteral("WebAddress"), QStringLiteral("Comments")}};
    return shape;
}

const TableShape& TableShape::appointments()
{
    static const TableShape shape{
        QStringLiteral("appointment"), QStringLiteral("tblOrginize"), QStringLiteral("OrgRow"),
        {QStringLiteral("DateValue"), QStringLiteral("TimeStart"), QStringLiteral("TimeFinished"), QStringLiteral("Note")}};
    return shape;
}

SyncRecords::SyncRecords(Connection& con, const TableShape& shape) : db_(con.handle()), shape_(shape)
{
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    exec(kMapSchema);
}

SyncRecords::~SyncRecords()
{
    // Whatever was not committed did not happen.
    if (inTransaction_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SyncRecords::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(message ? message : sqlite3_errmsg(db_));
        sqlite3_free(message);
        throw StoreError(reason);
    }
}

void SyncRecords::begin()
{
    if (!inTransaction_) {
        exec("BEGIN IMMEDIATE");
        inTransaction_ = true;
    }
}

void SyncRecords::commit()
{
    if (inTransaction_) {
        exec("COMMIT");
        inTransaction_ = false;
    }
    pending_ = 0;
}

QList<KeyedRecord> SyncRecords::all()
{
    // Read and the UIDs given out after it in one transaction: a row deleted
    // in between by the window could otherwise leave its key a UID.
    begin();
    QString sql = QStringLiteral("SELECT t.%1, m.UID").arg(shape_.key);
    for (const QString& f : shape_.fields)
        sql += QStringLiteral(", t.") + f;
    sql += QStringLiteral(" FROM %1 t LEFT JOIN tblSyncMap m ON m.Kind = ? AND m.LocalKey = t.%2 ORDER BY t.%2")
               .arg(shape_.table, shape_.key);
    Statement st(db_, sql);
    st.bind(1, shape_.kind);
    QList<KeyedRecord> out;
    while (st.step()) {
        KeyedRecord r{st.integer(0), st.isNull(1) ? QString() : st.text(1), {}};
        for (int i = 0; i < shape_.fields.size(); ++i)
            r.values << st.text(i + 2);
        out << r;
    }
    return out;
}

void SyncRecords::assignUids(QList<KeyedRecord>& records)
{
    begin();
    try {
        Statement st(db_, QStringLiteral("INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES (?, ?, ?)"));
        for (KeyedRecord& r : records) {
            if (!r.uid.isEmpty())
                continue;
            r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            st.bind(1, shape_.kind).bind(2, r.uid).bind(3, r.key);
            st.step();
            st.reset();
        }
        commit();
    } catch (const StoreError&) {
        exec("ROLLBACK");
        inTransaction_ = false;
        throw;
    }
}

qint64 SyncRecords::keyOf(const QString& uid)
{
    Statement st(db_, QStringLiteral("SELECT LocalKey FROM tblSyncMap WHERE Kind = ? AND UID = ?"));
    st.bind(1, shape_.kind).bind(2, uid);
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
            Statement read(db_, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                    .arg(shape_.fields.join(u", "), shape_.table, shape_.key));
            read.bind(1, key);
            if (read.step()) {
                QStringList stored;
                for (int i = 0; i < shape_.fields.size(); ++i)
                    stored << read.text(i);
                result = stored == values ? Put::Unchanged : Put::Updated;
            } else {
                key = -1;  // the map outlived its row
            }
        }
        if (result == Put::Updated) {
            QStringList sets;
            for (const QString& f : shape_.fields)
                sets << f + QStringLiteral(" = ?");
            Statement st(db_, QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(shape_.table, sets.join(u", "), shape_.key));
            for (int i = 0; i < values.size(); ++i)
                st.bind(i + 1, values[i]);
            st.bind(int(values.size()) + 1, key);
            st.step();
        } else if (key < 0) {
            Statement st(db_, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(shape_.table, shape_.fields.join(u", "),
                                       QStringList(shape_.fields.size(), QStringLiteral("?")).join(u", ")));
            for (int i = 0; i < values.size(); ++i)
                st.bind(i + 1, values[i]);
            st.step();
            Statement map(db_, QStringLiteral("INSERT OR REPLACE INTO tblSyncMap (Kind, UID, LocalKey) VALUES (?, ?, ?)"));
            map.bind(1, shape_.kind).bind(2, uid).bind(3, sqlite3_last_insert_rowid(db_));
            map.step();
        }
        exec("RELEASE record");
        if (++pending_ >= kBatch)
            commit();
        return result;
    } catch (const StoreError&) {
        sqlite3_exec(db_, "ROLLBACK TO record; RELEASE record", nullptr, nullptr, nullptr);
        throw;
    }
}
