#include "sync/SyncRecords.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QUuid>

#include <algorithm>
#include <limits>

#include "kit/Invitation.h"
#include "kit/Occurrences.h"
#include "store/AppointmentRows.h"
#include "store/Connection.h"
#include "store/Contacts.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"
#include "store/StoreError.h"
#include "store/TaskRows.h"
#include "sync/EventMap.h"

namespace {

// A command-line import may meet the program's window in the middle of a
// save; the window's writes are short, so waiting this long always suffices.
constexpr int kBusyWaitMs = 15000;
// Records per transaction: a crash loses at most this batch, never half a
// record. Each commit writes the pages the batch touched (the search index's
// among them) again, so few large ones are much cheaper than many small;
// but the window's own saves wait for the file at most 2 s, so a batch
// also ends once it has taken kBatchMs.
constexpr int kBatch = 5000;
constexpr qint64 kBatchMs = 250;

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
CREATE TRIGGER IF NOT EXISTS trSyncTaskGone AFTER DELETE ON tblTask BEGIN
  UPDATE tblSyncMap SET LocalKey = NULL WHERE Kind = 'task' AND LocalKey = OLD.TaskRow;
END;
)sql";

}  // namespace

const TableShape& TableShape::contacts()
{
    static const TableShape shape = [] {
        TableShape contacts{QStringLiteral("contact"), QStringLiteral("tblAddress"), QStringLiteral("Org_ID"), {}};
        for (QLatin1StringView name : ContactFields::kNames)
            contacts.fields << QString(name);
        return contacts;
    }();
    return shape;
}

const TableShape& TableShape::appointments()
{
    static const TableShape shape = [] {
        TableShape events{QStringLiteral("appointment"), QStringLiteral("tblOrginize"), QStringLiteral("OrgRow"), {}};
        for (QLatin1StringView name : AppointmentFields::kNames)
            events.fields << QString(name);
        return events;
    }();
    return shape;
}

const TableShape& TableShape::tasks()
{
    static const TableShape shape = [] {
        TableShape tasks{QStringLiteral("task"), QStringLiteral("tblTask"), QStringLiteral("TaskRow"), {}};
        for (QLatin1StringView name : TaskFields::kNames)
            tasks.fields << QString(name);
        return tasks;
    }();
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
    // A contact's kept card is searched with it from the first import on.
    SearchIndex::follow(m_db);
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
        const QString reason = failureReason(m_db, message);
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
        m_began.start();
        SearchIndex::holdEntries(m_db);
    }
}

void SyncRecords::commit()
{
    if (m_inTransaction) {
        SearchIndex::putHeldEntries(m_db);
        exec("COMMIT");
        m_inTransaction = false;
    }
    m_pending = 0;
}

QList<KeyedRecord> SyncRecords::all()
{
    QList<KeyedRecord> out;
    begin();  // the exceptions and the rows as one moment saw them
    const QHash<qint64, QString> left = exceptions();
    read(
        [&](const RecordBytes& r) {
            if (r.seriesRow != 0)
                return;  // it travels inside its series
            KeyedRecord& k = out.emplace_back();
            k.key = r.key;
            k.uid = QString::fromUtf8(r.uid);
            k.exceptions = left.value(r.key);
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
    sql += QStringLiteral(", k.Object, k.Base, %3 FROM %1 t LEFT JOIN tblSyncMap m ON m.Kind = ? AND m.LocalKey = t.%2 "
                          "LEFT JOIN tblSyncKept k ON k.Kind = m.Kind AND k.UID = m.UID %4 ORDER BY t.%2")
               .arg(m_shape.table, m_shape.key, events() ? QStringLiteral("s.SeriesRow") : QStringLiteral("0"),
                    events() ? QStringLiteral("LEFT JOIN tblOrginizeSeries s ON s.OrgRow = t.OrgRow") : QString());
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
        r.seriesRow = st.integer(kept + 2);
        const bool giving = giveUids && r.uid.isEmpty() && r.seriesRow == 0;
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

QString SyncRecords::uidOf(qint64 key)
{
    Statement st(m_db, QStringLiteral("SELECT UID FROM tblSyncMap WHERE Kind = ? AND LocalKey = ?"));
    st.bind(1, m_shape.kind).bind(2, key);
    return st.step() ? st.text(0) : QString();
}

QList<qint64> SyncRecords::overrideRows(qint64 seriesKey)
{
    if (!events())
        return {};
    Statement st(m_db, QStringLiteral("SELECT OrgRow FROM tblOrginizeSeries WHERE SeriesRow = ? ORDER BY OrgRow"));
    st.bind(1, seriesKey);
    QList<qint64> out;
    while (st.step())
        out << st.integer(0);
    return out;
}

qint64 SyncRecords::keyOf(const QString& uid)
{
    Statement& st = m_con.prepared(QStringLiteral("SELECT LocalKey FROM tblSyncMap WHERE Kind = ? AND UID = ?"));
    st.bind(1, m_shape.kind).bind(2, uid);
    const qint64 key = st.step() && !st.isNull(0) ? st.integer(0) : -1;
    st.reset();
    return key;
}

qint64 SyncRecords::nextKey()
{
    // SQLite gives a new row the largest key plus one (1 in an empty table),
    // and past the largest possible key one at random, which no one can name.
    Statement& st = m_con.prepared(QStringLiteral("SELECT max(%2) FROM %1").arg(m_shape.table, m_shape.key));
    st.step();
    const qint64 next = st.isNull(0) ? 1 : st.integer(0) < std::numeric_limits<qint64>::max() ? st.integer(0) + 1 : -1;
    st.reset();
    return next;
}

SyncRecords::Put SyncRecords::put(const QString& uid, const QStringList& values, const KeptObject* kept,
                                  const QString& more)
{
    begin();
    m_con.prepared(QStringLiteral("SAVEPOINT record")).step();
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
        bool keptAlready = false;
        if (result == Put::Updated) {
            updateRow(key, values);
        } else if (key < 0) {
            // A new contact's card and map entry go in first, naming the key
            // its row is about to get, so that the row's own trigger puts its
            // search entry once, card and all (else the map's and the card's
            // triggers put it twice more).
            const qint64 next = kept && !events() ? nextKey() : -1;
            if (next > 0) {
                keep(uid, *kept, more);
                keptAlready = true;
                mapTo(uid, next);
            }
            if (const qint64 added = insertRow(values); added != next)
                mapTo(uid, added);
        }
        if (kept && !keptAlready)
            keep(uid, *kept, more);
        m_con.prepared(QStringLiteral("RELEASE record")).step();
        if (++m_pending >= kBatch || (m_inTransaction && m_began.elapsed() >= kBatchMs))
            commit();
        return result;
    } catch (const StoreError&) {
        sqlite3_exec(m_db, "ROLLBACK TO record; RELEASE record", nullptr, nullptr, nullptr);
        throw;
    }
}

void SyncRecords::mapTo(const QString& uid, qint64 key)
{
    Statement& map =
        m_con.prepared(QStringLiteral("INSERT OR REPLACE INTO tblSyncMap (Kind, UID, LocalKey) VALUES (?, ?, ?)"));
    map.bind(1, m_shape.kind).bind(2, uid).bind(3, key);
    map.step();
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
// Where a record's exceptions end and who its meeting invites begins.
constexpr QStringView kAttendance = u"\x1f@";

}  // namespace

void SyncRecords::keep(const QString& uid, const KeptObject& kept, const QString& more)
{
    Statement& st = m_con.prepared(QStringLiteral("INSERT OR REPLACE INTO tblSyncKept (Kind, UID, Object, Base, More) "
                                                  "VALUES (?, ?, ?, ?, ?)"));
    st.bind(1, m_shape.kind).bind(2, uid).bind(3, kept.object).bind(4, kept.base.join(kFieldSeparator)).bind(5, more);
    st.step();
    if (events())
        keepSeries(uid, kept.object);
}

std::optional<Occurrences::Series> SyncRecords::series(const QString& uid)
{
    const qint64 key = keyOf(uid);
    return key < 0 ? std::nullopt : series(key);
}

std::optional<Occurrences::Series> SyncRecords::series(qint64 key)
{
    if (!events())
        return std::nullopt;  // the key is no appointment's
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

void SyncRecords::keepOverrides(const QString& uid, const QByteArray& object, bool theirs)
{
    const qint64 key = keyOf(uid);
    const std::optional<Occurrences::Series> s = key < 0 ? std::nullopt : series(key);
    if (!s)
        return;
    QHash<QString, qint64> here;  // by the instant each replaces
    for (const qint64 row : overrideRows(key))
        if (const std::optional<Occurrences::Series> o = series(row))
            here.insert(Occurrences::instantOf(o->recurrenceId, s->zone), row);
    const QString prefix = uid + u'#';
    for (const EventMap::Imported& in : EventMap::read(object).events) {
        if (!in.uid.startsWith(prefix))
            continue;
        const QStringList values(in.appointment.begin(), in.appointment.end());
        qint64 row = here.take(Occurrences::instantOf(in.uid.mid(prefix.size()), s->zone));
        // One the server holds as it was kept stays as it is here, changed here or not.
        if (!theirs && row && uidOf(row) == in.uid && kept(in.uid).object == in.object)
            continue;
        if (row)
            updateRow(row, values);
        else
            row = insertRow(values);
        Statement unmap(m_db, QStringLiteral("DELETE FROM tblSyncMap WHERE Kind = ? AND LocalKey = ?"));
        unmap.bind(1, m_shape.kind).bind(2, row);
        unmap.step();
        link({in.uid, row, {}, {}, {}});
        keep(in.uid, {in.object, values}, {});
    }
    for (const qint64 row : std::as_const(here))
        if (theirs || !kept(uidOf(row)).object.isEmpty())
            deleteRow(row);
}

void SyncRecords::copySeries(qint64 from, qint64 to)
{
    std::optional<Occurrences::Series> s = series(from);
    if (!s)
        return;
    s->row = to;
    Occurrences::write(m_con, *s);
    for (const qint64 changed : overrideRows(from)) {
        std::optional<Occurrences::Series> o = series(changed);
        const QStringList values = row(changed);
        if (!o || values.isEmpty())
            continue;
        o->row = insertRow(values);
        o->seriesRow = to;
        Occurrences::write(m_con, *o);
    }
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

QString SyncRecords::hash(const QStringList& values, const QString& exceptions)
{
    const auto of = [](const QString& text) {
        return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
    };
    // A record without exceptions keeps the hash it always had.
    const QString fields = of(values.join(QChar(0x1f)));
    return exceptions.isEmpty() ? fields : fields + u'+' + of(exceptions);
}

QString SyncRecords::fieldsHash(const QString& hash)
{
    return hash.section(u'+', 0, 0);
}

QString SyncRecords::exceptionsHash(const QString& hash)
{
    return hash.section(u'+', 1);
}

namespace {

using Changed = std::pair<QString, QStringList>;  // an occurrence's id, and its fields

// A series' exceptions as one text, the same however a program wrote them:
// the instants left out in order, then each changed occurrence by the
// instant it replaces, with its fields.
QString exceptionsText(const QString& zone, const QStringList& exdates, QList<Changed> changed)
{
    QStringList left;
    for (const QString& date : exdates)
        left << Occurrences::instantOf(date, zone);
    left.sort();
    for (Changed& c : changed)
        c.first = Occurrences::instantOf(c.first, zone);
    std::sort(changed.begin(), changed.end());
    QString text = left.join(u',');
    for (const Changed& c : std::as_const(changed))
        text += kFieldSeparator + c.first + kFieldSeparator + c.second.join(kFieldSeparator);
    return text;
}

}  // namespace

QHash<qint64, QString> SyncRecords::exceptions()
{
    QHash<qint64, QString> out;
    if (!events())
        return out;
    struct Parts {
        QString zone;
        QStringList exdates;
        QList<Changed> changed;
    };
    QHash<qint64, Parts> parts;
    Statement series(m_db, QStringLiteral("SELECT OrgRow, Zone, ExDates FROM tblOrginizeSeries WHERE SeriesRow = 0"));
    while (series.step()) {
        Parts& p = parts[series.integer(0)];
        p.zone = series.text(1);
        p.exdates = series.text(2).split(u',', Qt::SkipEmptyParts);
    }
    Statement changed(m_db, QStringLiteral("SELECT s.SeriesRow, s.RecurrenceId, o.DateValue, o.TimeStart, "
                                           "o.TimeFinished, o.Note FROM tblOrginizeSeries s JOIN tblOrginize o "
                                           "ON o.OrgRow = s.OrgRow WHERE s.SeriesRow <> 0"));
    while (changed.step())
        parts[changed.integer(0)].changed
            << Changed{changed.text(1), {changed.text(2), changed.text(3), changed.text(4), changed.text(5)}};
    for (auto it = parts.cbegin(); it != parts.cend(); ++it)
        if (!it->exdates.isEmpty() || !it->changed.isEmpty())
            out.insert(it.key(), exceptionsText(it->zone, it->exdates, it->changed));
    Statement meetings(m_db, QStringLiteral("SELECT m.LocalKey, k.Object FROM tblSyncKept k JOIN tblSyncMap m "
                                            "ON m.Kind = k.Kind AND m.UID = k.UID WHERE k.Kind = ? AND "
                                            "m.LocalKey IS NOT NULL AND instr(k.Object, 'ATTENDEE') > 0"));
    meetings.bind(1, m_shape.kind);
    while (meetings.step()) {
        const qint64 key = meetings.integer(0);
        const QString text = withAttendance(out.value(key), meetings.bytes(1));
        if (!text.isEmpty())
            out.insert(key, text);
    }
    return out;
}

QString SyncRecords::withAttendance(const QString& exceptions, QByteArrayView kept)
{
    const QString who = kept.contains("ATTENDEE") ? Invitation::attendance(kept.toByteArray()) : QString();
    return who.isEmpty() ? exceptions : QString(exceptions).append(kAttendance).append(who);
}

void SyncRecords::hashAttendance(const QString& uid)
{
    if (!events())
        return;
    const QHash<qint64, QString> now = exceptions();
    Statement st(m_db, QStringLiteral("SELECT m.UID, m.LocalKey, m.Hash FROM tblSyncMap m JOIN tblSyncKept k "
                                      "ON k.Kind = m.Kind AND k.UID = m.UID WHERE m.Kind = ?1 AND "
                                      "m.LocalKey IS NOT NULL AND (?2 = '' OR m.UID = ?2) AND "
                                      "instr(k.Object, 'ATTENDEE') > 0"));
    st.bind(1, m_shape.kind).bind(2, uid);
    QList<MapEntry> meetings;
    while (st.step())
        meetings << MapEntry{st.text(0), st.integer(1), {}, {}, st.text(2)};
    for (MapEntry& m : meetings) {
        const QString with = now.value(m.key);
        const qsizetype at = with.lastIndexOf(kAttendance);
        const QStringList values = row(m.key);
        if (at < 0 || m.hash != hash(values, with.left(at)))
            continue;
        m.hash = hash(values, with);
        Statement update(m_db, QStringLiteral("UPDATE tblSyncMap SET Hash = ? WHERE Kind = ? AND UID = ?"));
        update.bind(1, m.hash).bind(2, m_shape.kind).bind(3, m.uid);
        update.step();
    }
}

QString SyncRecords::exceptionsOf(const QByteArray& object, const QString& uid)
{
    const std::optional<Occurrences::Series> s = EventMap::seriesOf(object, uid);
    if (!s)
        return {};
    QList<Changed> changed;
    const QString prefix = uid + u'#';
    for (const EventMap::Imported& in : EventMap::read(object).events)
        if (in.uid.startsWith(prefix))
            changed << Changed{in.uid.mid(prefix.size()), QStringList(in.appointment.begin(), in.appointment.end())};
    return s->exdates.isEmpty() && changed.isEmpty() ? QString() : exceptionsText(s->zone, s->exdates, changed);
}

QList<MapEntry> SyncRecords::entries()
{
    // A series' changed occurrence is no resource of its own.
    Statement st(m_db, QStringLiteral("SELECT UID, LocalKey, Href, ETag, Hash FROM tblSyncMap WHERE Kind = ?%1")
                           .arg(events() ? QLatin1String(
                                    " AND (LocalKey IS NULL OR LocalKey NOT IN (SELECT OrgRow FROM tblOrginizeSeries "
                                    "WHERE SeriesRow <> 0))")
                                         : QLatin1String()));
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

namespace {

// The values in the order of the table's fields, as its owner takes them.
template <class Values>
Values valuesOf(const QStringList& list)
{
    Values values;
    std::copy_n(list.begin(), std::min(list.size(), qsizetype(values.size())), values.begin());
    return values;
}

template <class Values>
QStringList listOf(const std::optional<Values>& values)
{
    return values ? QStringList(values->begin(), values->end()) : QStringList();
}

}  // namespace

// The rows themselves are written and read by the table's owner in the store.
qint64 SyncRecords::insertRow(const QStringList& values)
{
    if (tasks())
        return TaskRows::add(m_con, valuesOf<TaskValues>(values));
    return events() ? AppointmentRows::add(m_con, valuesOf<AppointmentValues>(values))
                    : Contacts::add(m_con, valuesOf<ContactValues>(values));
}

void SyncRecords::updateRow(qint64 key, const QStringList& values)
{
    if (tasks())
        TaskRows::change(m_con, key, valuesOf<TaskValues>(values));
    else if (events())
        AppointmentRows::change(m_con, key, valuesOf<AppointmentValues>(values));
    else
        Contacts::change(m_con, key, valuesOf<ContactValues>(values));
}

void SyncRecords::deleteRow(qint64 key)
{
    if (tasks())
        TaskRows::remove(m_con, key);
    else if (events())
        AppointmentRows::remove(m_con, key);
    else
        Contacts::remove(m_con, key);
}

QStringList SyncRecords::row(qint64 key)
{
    if (tasks())
        return listOf(TaskRows::byKey(m_con, key));
    return events() ? listOf(AppointmentRows::byKey(m_con, key)) : listOf(Contacts::byKey(m_con, key));
}

std::vector<EventMap::Outgoing> EventMap::overridesOf(SyncRecords& rows, qint64 seriesKey)
{
    std::vector<Outgoing> out;
    for (const qint64 key : rows.overrideRows(seriesKey)) {
        const QStringList values = rows.row(key);
        if (values.size() != FieldCount)
            continue;
        Outgoing& o = out.emplace_back();
        o.key = key;
        std::copy(values.begin(), values.end(), o.appointment.begin());
        o.series = rows.series(o.key);
        o.uid = rows.uidOf(o.key);
        const KeptObject kept = rows.kept(o.uid);
        o.kept = kept.object;
        o.base = kept.base;
    }
    return out;
}
