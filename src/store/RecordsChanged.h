#pragma once

#include <QFlags>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>
#include <optional>

class Connection;
struct sqlite3;

// What a change touched: which kinds of record, and which keys where known.
struct RecordsChange {
    enum Kind { Contacts = 1, Appointments = 2, Mail = 4, All = Contacts | Appointments | Mail };
    Q_DECLARE_FLAGS(Kinds, Kind)

    Kinds kinds;
    // The rows of each kind, by key, except for the kinds whose keys are
    // not known (another process, a table without one, too many to list).
    QSet<qint64> contacts, appointments, mail;
    Kinds keysUnknown;
    // The database handle that made every row of it, or null (several, or
    // another process): a screen may skip what its own connection wrote.
    const sqlite3* origin = nullptr;

    bool touches(Kind kind) const { return kinds.testFlag(kind); }
    // Whether the row `key` of `kind` may have changed.
    bool mayTouch(Kind kind, qint64 key) const;
    bool from(Connection& con) const;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(RecordsChange::Kinds)

// The program's one notice that records changed. Every connection reports
// the rows it writes (a save, a delete, an import, a sync, a mail check), on
// whatever thread it runs; the notice goes out once per turn of the window's
// event loop, on that thread, with the rows gathered since the last one.
class RecordsChanged : public QObject {
    Q_OBJECT
public:
    static RecordsChanged& instance();

    // Safe from any thread: rows of those kinds changed, which ones not known.
    void raise(RecordsChange::Kinds kinds);
    // One row of `table` written through `db`; tables that are no record
    // (the index, sync bookkeeping) are passed over.
    void noteRow(const char* table, qint64 key, const sqlite3* db);
    // How many rows this process has written so far, of any table: the data
    // version watch tells its own commits from another process's by it.
    quint64 writes() const;

signals:
    void changed(const RecordsChange& change);

private:
    RecordsChanged() = default;
    void schedule();
    void deliver();

    mutable QMutex m_lock;
    RecordsChange m_waiting;
    bool m_originMixed = false;
    bool m_scheduled = false;
    quint64 m_writes = 0;
};

// Watches the database file for commits by another process (the command
// line import while the window is open, another program) through a
// connection of its own, opened once the file exists: its data version is
// read every second and whenever check() is called (the window regaining
// focus). A move this process did not make raises a change of every kind.
class DataVersionWatch : public QObject {
    Q_OBJECT
public:
    explicit DataVersionWatch(const QString& path, QObject* parent = nullptr);
    ~DataVersionWatch() override;
    void check();

    static constexpr int kIntervalMs = 1000;

private:
    std::optional<qint64> version();

    QString m_path;
    std::unique_ptr<Connection> m_con;
    QTimer m_timer;
    std::optional<qint64> m_version;
    quint64 m_writes = 0;
};
