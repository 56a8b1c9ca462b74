#include "store/RecordsChanged.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>

#include <cstring>

#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

// Past this many rows of one kind (an import of a whole address book) the
// listeners are better told "all of them" than handed the list.
constexpr qsizetype kMostKeys = 1000;

struct TableKind {
    const char* table;
    RecordsChange::Kind kind;
    bool keyed;  // the rowid is the record's key
};

constexpr TableKind kTables[] = {
    {"tblAddress", RecordsChange::Contacts, true},
    {"tblOrginize", RecordsChange::Appointments, true},
    {"tblOrginizeSeries", RecordsChange::Appointments, true},
    {"tblTask", RecordsChange::Appointments, false},
    {"tblMailbox", RecordsChange::Mail, true},
    {"tblImapMessage", RecordsChange::Mail, false},
    {"tblImapFolder", RecordsChange::Mail, false},
};

QSet<qint64>& keysOf(RecordsChange& change, RecordsChange::Kind kind)
{
    switch (kind) {
    case RecordsChange::Contacts:
        return change.contacts;
    case RecordsChange::Appointments:
        return change.appointments;
    default:
        return change.mail;
    }
}

}  // namespace

bool RecordsChange::mayTouch(Kind kind, qint64 key) const
{
    if (!touches(kind))
        return false;
    if (keysUnknown.testFlag(kind))
        return true;
    const QSet<qint64>& keys = kind == Contacts ? contacts : (kind == Appointments ? appointments : mail);
    return keys.contains(key);
}

bool RecordsChange::from(Connection& con) const
{
    return origin && con.isOpen() && origin == con.handle();
}

RecordsChanged& RecordsChanged::instance()
{
    static RecordsChanged* const notice = [] {
        auto* made = new RecordsChanged;
        // Made on whichever thread wrote first, it belongs to the window's.
        if (QCoreApplication* app = QCoreApplication::instance())
            made->moveToThread(app->thread());
        return made;
    }();
    return *notice;
}

void RecordsChanged::raise(RecordsChange::Kinds kinds)
{
    {
        const QMutexLocker lock(&m_lock);
        m_waiting.kinds |= kinds;
        m_waiting.keysUnknown |= kinds;
        m_originMixed = true;
    }
    schedule();
}

void RecordsChanged::noteRow(const char* table, qint64 key, const sqlite3* db)
{
    const TableKind* found = nullptr;
    for (const TableKind& t : kTables)
        if (std::strcmp(t.table, table) == 0)
            found = &t;
    {
        const QMutexLocker lock(&m_lock);
        ++m_writes;
        if (!found)
            return;
        if (!m_waiting.kinds && !m_originMixed)
            m_waiting.origin = db;
        else if (m_waiting.origin != db)
            m_originMixed = true;
        m_waiting.kinds |= found->kind;
        QSet<qint64>& keys = keysOf(m_waiting, found->kind);
        if (!found->keyed || keys.size() >= kMostKeys) {
            m_waiting.keysUnknown |= found->kind;
            keys.clear();
        } else if (!m_waiting.keysUnknown.testFlag(found->kind)) {
            keys.insert(key);
        }
    }
    schedule();
}

quint64 RecordsChanged::writes() const
{
    const QMutexLocker lock(&m_lock);
    return m_writes;
}

void RecordsChanged::schedule()
{
    {
        const QMutexLocker lock(&m_lock);
        if (m_scheduled || !m_waiting.kinds)
            return;
        m_scheduled = true;
    }
    // No application (a test of the store alone): nobody listens.
    if (QCoreApplication::instance())
        QMetaObject::invokeMethod(this, &RecordsChanged::deliver, Qt::QueuedConnection);
}

void RecordsChanged::deliver()
{
    RecordsChange change;
    {
        const QMutexLocker lock(&m_lock);
        change = std::exchange(m_waiting, RecordsChange{});
        if (m_originMixed)
            change.origin = nullptr;
        m_originMixed = false;
        m_scheduled = false;
    }
    if (change.kinds)
        emit changed(change);
}

DataVersionWatch::DataVersionWatch(const QString& path, QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_con(std::make_unique<Connection>())
{
    connect(&m_timer, &QTimer::timeout, this, &DataVersionWatch::check);
    m_timer.start(kIntervalMs);
    check();
}

DataVersionWatch::~DataVersionWatch() = default;

std::optional<qint64> DataVersionWatch::version()
{
    // Watching makes no file: the first-run setup does.
    if (!m_con->isOpen() && !QFileInfo::exists(m_path))
        return std::nullopt;
    // A file that cannot be read now is read again at the next tick.
    try {
        if (!m_con->isOpen())
            m_con->Open(m_path);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_con->handle(), "PRAGMA data_version", -1, &stmt, nullptr) != SQLITE_OK)
            return std::nullopt;
        std::optional<qint64> read;
        if (sqlite3_step(stmt) == SQLITE_ROW)
            read = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return read;
    } catch (const StoreError&) {
        m_con->Close();
        return std::nullopt;
    }
}

void DataVersionWatch::check()
{
    const std::optional<qint64> now = version();
    if (!now)
        return;
    const quint64 writes = RecordsChanged::instance().writes();
    // The version moves for every other connection's commit, this process's
    // own too; those have raised their notice, row by row. A commit from
    // elsewhere within the same second as one of ours is taken for ours and
    // shows with the next change: the version says that the file changed,
    // not how often.
    const bool ours = writes != m_writes;
    const bool moved = m_version && *now != *m_version;
    m_version = now;
    m_writes = writes;
    if (moved && !ours)
        RecordsChanged::instance().raise(RecordsChange::All);
}
