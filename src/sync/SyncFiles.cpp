#include "sync/SyncFiles.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <memory>

#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/ContactMap.h"
#include "sync/EventMap.h"
#include "sync/SyncRecords.h"

namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString plural(int n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

bool readFile(const QString& path, QByteArray& bytes, FileOutcome& outcome)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.message = QStringLiteral("Cannot read %1: %2.").arg(shown(path), file.errorString());
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        outcome.message = QStringLiteral("Cannot read %1: %2.").arg(shown(path), file.errorString());
        return false;
    }
    return true;
}

// One imported record: its UID, the values of the table's fields, whether
// it had to be changed to fit them, and the object it was read from with
// what of it has no field.
struct Incoming {
    QString uid;
    QStringList values;
    bool changed;
    QByteArray object;
    QString more;
};

// Stores records as they come, each whole or not at all, and says what
// happened. The store is opened with the first record, or at the end when
// there was none. After a refusal nothing more is stored.
class Storing {
public:
    explicit Storing(const TableShape& shape)
        : m_shape(shape)
    {
    }

    void put(const Incoming& r)
    {
        if (!m_failure.isEmpty())
            return;
        try {
            open();
            const KeptObject kept{r.object, r.values};
            switch (m_rows->put(r.uid, r.values, r.object.isEmpty() ? nullptr : &kept, r.more)) {
            case SyncRecords::Put::Added:
                ++m_added;
                break;
            case SyncRecords::Put::Updated:
                ++m_updated;
                break;
            case SyncRecords::Put::Unchanged:
                ++m_unchanged;
                break;
            }
            m_changed += r.changed ? 1 : 0;
        } catch (const StoreError& e) {
            // The refused record left nothing behind; the ones before it are whole and stay.
            m_failure = e.reason();
        }
    }

    FileOutcome finish(int malformed, const QString& path, const char* one, const char* many, const char* badOne,
                       const char* badMany, const QString& leftOut = QString())
    {
        try {
            open();
            if (m_rows)
                m_rows->commit();
        } catch (const StoreError& e) {
            if (m_failure.isEmpty())
                m_failure = e.reason();
        }
        m_rows.reset();
        m_con.reset();
        QString line = QStringLiteral("%1 from %2: %3 added, %4 updated, %5 unchanged")
                           .arg(plural(m_added + m_updated + m_unchanged, one, many), shown(path))
                           .arg(m_added)
                           .arg(m_updated)
                           .arg(m_unchanged);
        line.prepend(QStringLiteral("Imported "));
        if (m_changed)
            line += QStringLiteral("; changed %1 to fit").arg(plural(m_changed, "record", "records"));
        if (malformed)
            line += QStringLiteral("; skipped %1").arg(plural(malformed, badOne, badMany));
        line += leftOut;
        if (!m_failure.isEmpty())
            line += QStringLiteral("; stopped, the rest was not stored: %1").arg(m_failure);
        FileOutcome outcome;
        outcome.message = line + u'.';
        outcome.ok = m_failure.isEmpty() && malformed == 0;
        return outcome;
    }

    bool stopped() const { return !m_failure.isEmpty(); }

private:
    void open()
    {
        if (m_rows || !m_failure.isEmpty())
            return;
        m_con = std::make_unique<Connection>();
        m_con->Open(AppFolder::databaseFile());
        // Each record's savepoint keeps the pages it changes as they were;
        // in memory that is a copy, in a temporary file two writes a page.
        sqlite3_exec(m_con->handle(), "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr);
        // The log is copied into the file (and both flushed to the disk)
        // once it holds 64 MB rather than SQLite's 4 MB: an import of 100,000
        // cards writes some 400 MB of pages, which would be a hundred waits
        // for the disk; the connection's close copies the rest.
        sqlite3_exec(m_con->handle(), "PRAGMA wal_autocheckpoint=16384", nullptr, nullptr, nullptr);
        m_rows = std::make_unique<SyncRecords>(*m_con, m_shape);
    }

    const TableShape& m_shape;
    std::unique_ptr<Connection> m_con;
    std::unique_ptr<SyncRecords> m_rows;
    int m_added = 0, m_updated = 0, m_unchanged = 0, m_changed = 0;
    QString m_failure;
};

// Stores every record, each whole or not at all, and says what happened.
FileOutcome store(const TableShape& shape, const QList<Incoming>& records, int malformed, const QString& path,
                  const char* one, const char* many, const char* badOne, const char* badMany,
                  const QString& leftOut = QString())
{
    Storing storing(shape);
    for (const Incoming& r : records)
        storing.put(r);
    return storing.finish(malformed, path, one, many, badOne, badMany, leftOut);
}

// Each record of the table, with its UID, handed to `write` as it is read;
// `write` gives the file's bytes to `out` as it makes them. The UIDs given
// out are kept once the file is in place.
template <class Write>
FileOutcome exportTable(const TableShape& shape, const QString& path, Write write)
{
    FileOutcome outcome;
    int written = 0, left = 0, damaged = 0, writtenTasks = 0;
    QString error;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        SyncRecords rows(con, shape);
        AtomicFile::Writer file(path);
        write(con, rows, file, written, left, damaged, writtenTasks);
        error = file.commit();
        if (error.isEmpty())
            rows.commit();
    } catch (const StoreError& e) {
        outcome.message = QStringLiteral("Cannot export to %1: %2").arg(shown(path), e.reason());
        return outcome;
    }
    if (!error.isEmpty()) {
        outcome.message = QStringLiteral("Cannot write %1: %2.").arg(shown(path), error);
        return outcome;
    }
    outcome.ok = left == 0;
    outcome.message =
        QStringLiteral("Exported %1 to %2")
            .arg(written == 0 && writtenTasks > 0
                     ? plural(writtenTasks, "task", "tasks")
                     : plural(written, shape.kind == u"contact" ? "contact" : "appointment",
                              shape.kind == u"contact" ? "contacts" : "appointments")
                           + (writtenTasks ? QStringLiteral(" and ") + plural(writtenTasks, "task", "tasks")
                                           : QString()),
                 shown(path));
    if (left)
        outcome.message += QStringLiteral("; left out %1 whose date cannot be read").arg(left);
    if (damaged)
        outcome.message += QStringLiteral("; wrote %1 from the fields alone, the %2 kept with them cannot be read")
                               .arg(damaged)
                               .arg(QLatin1String(shape.kind == u"contact" ? (damaged == 1 ? "card" : "cards")
                                                                           : (damaged == 1 ? "event" : "events")));
    outcome.message += u'.';
    return outcome;
}

// The to-dos with each parent before the tasks under it. A loop of parents
// in the file is cut where it closes: that to-do stands at the top.
QList<TaskMap::Imported> parentsFirst(const QList<TaskMap::Imported>& tasks, int& loops)
{
    QHash<QString, qsizetype> at;
    for (qsizetype i = 0; i < tasks.size(); ++i)
        at.insert(tasks[i].uid, i);
    enum { New, OnPath, Placed };
    std::vector<int> state(size_t(tasks.size()), New);
    QList<TaskMap::Imported> out;
    for (qsizetype i = 0; i < tasks.size(); ++i) {
        QList<qsizetype> chain;  // from the to-do up through its parents not yet placed
        qsizetype j = i;
        while (j >= 0 && state[size_t(j)] == New) {
            state[size_t(j)] = OnPath;
            chain << j;
            j = tasks[j].parentUid.isEmpty() ? -1 : at.value(tasks[j].parentUid, -1);
        }
        const bool loop = j >= 0 && state[size_t(j)] == OnPath;
        loops += loop ? 1 : 0;
        for (auto k = chain.rbegin(); k != chain.rend(); ++k) {
            state[size_t(*k)] = Placed;
            out << tasks[*k];
            if (loop && k == chain.rbegin())
                out.last().parentUid.clear();
        }
    }
    return out;
}

// Stores the to-dos, each under its parent, and says what happened in a
// part of the import's line (empty without to-dos), or in the whole line
// for the file `alone` when it holds no events; false when a task was refused.
bool storeTasks(const EventMap::ReadResult& read, QString& line, const QString& alone)
{
    if (read.tasks.isEmpty())
        return true;
    int added = 0, updated = 0, unchanged = 0, orphans = 0, loops = 0;
    QString failure;
    const QList<TaskMap::Imported> tasks = parentsFirst(read.tasks, loops);
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        SyncRecords rows(con, TableShape::tasks());
        try {
            for (const TaskMap::Imported& t : tasks) {
                qint64 parent = t.parentUid.isEmpty() ? 0 : rows.keyOf(t.parentUid);
                if (parent < 0) {
                    ++orphans;  // stands at the top until its parent comes
                    parent = 0;
                }
                TaskValues values = t.task;
                values[TaskFields::Parent] = QString::number(parent);
                // A task read before keeps its place under the same parent; a new one comes last.
                const QStringList stored = rows.row(rows.keyOf(t.uid));
                if (!stored.isEmpty() && stored[TaskFields::Parent] == values[TaskFields::Parent]) {
                    values[TaskFields::Position] = stored[TaskFields::Position];
                } else {
                    values[TaskFields::Position] = QString::number(TaskRows::nextPosition(con, parent));
                }
                switch (rows.put(t.uid, QStringList(values.begin(), values.end()))) {
                case SyncRecords::Put::Added:
                    ++added;
                    break;
                case SyncRecords::Put::Updated:
                    ++updated;
                    break;
                case SyncRecords::Put::Unchanged:
                    ++unchanged;
                    break;
                }
                if (!t.object.isEmpty())
                    rows.keep(t.uid, {t.object, t.base}, {});
            }
        } catch (const StoreError& e) {
            failure = e.reason();
        }
        rows.commit();
    } catch (const StoreError& e) {
        if (failure.isEmpty())
            failure = e.reason();
    }
    line += QStringLiteral("%1%2: %3 added, %4 updated, %5 unchanged")
                .arg(alone.isEmpty() ? QStringLiteral("; ") : QStringLiteral("Imported "))
                .arg(plural(added + updated + unchanged, "task", "tasks")
                     + (alone.isEmpty() ? QString() : QStringLiteral(" from ") + shown(alone)))
                .arg(added)
                .arg(updated)
                .arg(unchanged);
    if (orphans)
        line += QStringLiteral("; put %1 whose parent task is not there at the top level")
                    .arg(plural(orphans, "task", "tasks"));
    if (loops)
        line += QStringLiteral("; put %1 at the top level to end a loop of parent tasks")
                    .arg(plural(loops, "task", "tasks"));
    if (read.tasksUndated)
        line += QStringLiteral("; kept %1 without a due or start date that cannot be read")
                    .arg(plural(read.tasksUndated, "task", "tasks"));
    if (!failure.isEmpty())
        line += QStringLiteral("; stopped, the other tasks were not stored: %1").arg(failure);
    return failure.isEmpty();
}

}  // namespace

// The file is read a piece at a time and each card stored as it is read:
// memory holds one piece and one card, whatever the file's size.
FileOutcome SyncFiles::importContacts(const QString& path)
{
    constexpr qint64 kPiece = qint64(1) << 20;
    FileOutcome outcome;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.message = QStringLiteral("Cannot read %1: %2.").arg(shown(path), file.errorString());
        return outcome;
    }
    VCard::Reader reader;
    Storing storing(TableShape::contacts());
    VCard::Card card;
    int cards = 0;
    QString readError;
    for (bool atEnd = false; !atEnd;) {
        const QByteArray piece = file.read(kPiece);
        if (file.error() != QFileDevice::NoError) {
            readError = file.errorString();
            break;
        }
        atEnd = piece.isEmpty();
        reader.append(piece);
        while (reader.next(card, atEnd)) {
            ++cards;
            // After a refusal the rest is only read, for the count of what cannot be.
            if (storing.stopped())
                continue;
            const ContactMap::Imported in = ContactMap::fromCard(card);
            storing.put(Incoming{in.uid, QStringList(in.contact.begin(), in.contact.end()), in.changed, card.raw,
                                 in.more.join(u'\n')});
        }
    }
    if (!readError.isEmpty() && cards == 0) {
        outcome.message = QStringLiteral("Cannot read %1: %2.").arg(shown(path), readError);
        return outcome;
    }
    if (cards == 0 && reader.malformed() > 0) {
        outcome.message = QStringLiteral("%1 holds no contact that can be read.").arg(shown(path));
        return outcome;
    }
    outcome = storing.finish(
        reader.malformed(), path, "contact", "contacts", "malformed card", "malformed cards",
        readError.isEmpty() ? QString() : QStringLiteral("; stopped, the rest cannot be read: %1").arg(readError));
    outcome.ok = outcome.ok && readError.isEmpty();
    return outcome;
}

FileOutcome SyncFiles::importAppointments(const QString& path)
{
    FileOutcome outcome;
    QByteArray bytes;
    if (!readFile(path, bytes, outcome))
        return outcome;
    const EventMap::ReadResult read = EventMap::read(bytes);
    if (!read.isCalendar) {
        outcome.message = QStringLiteral("%1 is not an iCalendar file.").arg(shown(path));
        return outcome;
    }
    QList<Incoming> records;
    for (const EventMap::Imported& in : read.events)
        records << Incoming{
            in.uid, QStringList(in.appointment.begin(), in.appointment.end()), in.changed, in.object, {}};
    // Journal entries have no place in the planner: said, not dropped in silence.
    QString leftOut = read.journals == 0 ? QString()
                                         : QStringLiteral("; left out %1, which the planner has no place for")
                                               .arg(plural(read.journals, "journal entry", "journal entries"));
    // A repeat rule that cannot be read goes back out as it came; here only its first occurrence shows.
    if (read.unreadableRules)
        leftOut += QStringLiteral("; took only the first occurrence of %1 whose repeat rule cannot be read")
                       .arg(plural(read.unreadableRules, "event", "events"));
    // So does one too large to expand; a time zone is never worked out from rules too large either.
    if (read.rulesBeyondBudget)
        leftOut += QStringLiteral("; took only the first occurrence of %1 whose repeat rule is too large to expand")
                       .arg(plural(read.rulesBeyondBudget, "event", "events"));
    if (read.zonesReplaced)
        leftOut += QStringLiteral("; used the system's rules for %1 whose own are too large to work out")
                       .arg(plural(read.zonesReplaced, "time zone", "time zones"));
    if (read.zonesFixed)
        leftOut += QStringLiteral("; kept %1 at the offsets %2 with: %3 too large to work out and the "
                                  "system has no zone of that name")
                       .arg(plural(read.zonesFixed, "time zone", "time zones"),
                            QLatin1String(read.zonesFixed == 1 ? "it starts" : "they start"),
                            QLatin1String(read.zonesFixed == 1 ? "its rules are" : "their rules are"));
    FileOutcome stored = store(TableShape::appointments(), records, read.malformed, path, "appointment", "appointments",
                               "malformed event", "malformed events", leftOut);
    if (records.isEmpty() && read.malformed == 0 && !read.tasks.isEmpty()) {
        // A list of to-dos alone is told as such.
        outcome.ok = storeTasks(read, outcome.message, path);
        outcome.message += leftOut + u'.';
        return outcome;
    }
    QString tasks;
    stored.ok = storeTasks(read, tasks, {}) && stored.ok;
    stored.message.insert(stored.message.size() - 1, tasks);
    return stored;
}

// The address book is written card by card, about a megabyte at a time:
// neither its rows nor the file are ever held whole.
FileOutcome SyncFiles::exportContacts(const QString& path)
{
    return exportTable(
        TableShape::contacts(), path,
        [](Connection&, SyncRecords& rows, AtomicFile::Writer& file, int& written, int&, int& damaged, int&) {
            constexpr qsizetype kPiece = qsizetype(1024) * 1024;
            QByteArray piece;
            piece.reserve(kPiece + qsizetype(64) * 1024);
            ContactMap::ContactBytes c;
            rows.each([&](const RecordBytes& r) {
                if (r.object.isEmpty()) {
                    // Made here: written straight from the store's bytes.
                    std::copy(r.values.begin(), r.values.end(), c.begin());
                    ContactMap::appendCard(piece, c, r.uid);
                } else {
                    QStringList values;
                    for (const QByteArrayView v : r.values)
                        values << QString::fromUtf8(v);
                    const WrittenObject card =
                        cardFor(values, QString::fromUtf8(r.uid), SyncRecords::keptFrom(r.object, r.base));
                    piece += card.bytes;
                    damaged += card.damaged ? 1 : 0;
                }
                ++written;
                if (piece.size() >= kPiece) {
                    file.append(piece);
                    piece.resize(0);
                }
            });
            file.append(piece);
        });
}

// An iCalendar file is made whole (its time zones cover the years used).
FileOutcome SyncFiles::exportAppointments(const QString& path)
{
    return exportTable(TableShape::appointments(), path,
                       [](Connection& con, SyncRecords& rows, AtomicFile::Writer& file, int& written, int& left,
                          int& damaged, int& writtenTasks) {
                           QList<EventMap::Outgoing> out;
                           rows.each([&](const RecordBytes& r) {
                               if (r.seriesRow != 0)
                                   return;  // it goes with its series
                               EventMap::Outgoing o;
                               std::transform(r.values.begin(), r.values.end(), o.appointment.begin(),
                                              [](QByteArrayView v) { return QString::fromUtf8(v); });
                               o.uid = QString::fromUtf8(r.uid);
                               o.series = rows.series(r.key);
                               if (o.series)
                                   o.overrides = EventMap::overridesOf(rows, r.key);
                               if (!r.object.isEmpty()) {
                                   const KeptObject kept = SyncRecords::keptFrom(r.object, r.base);
                                   o.kept = kept.object;
                                   o.base = kept.base;
                               }
                               out << o;
                           });
                           SyncRecords taskRows(con, TableShape::tasks());
                           const QList<TaskMap::Outgoing> tasks = TaskMap::outgoing(taskRows);
                           const EventMap::WriteResult result = EventMap::write(out, tasks);
                           // A changed occurrence made here is known by what the file says it is.
                           QHash<qint64, QString> had;
                           for (const EventMap::Outgoing& o : out)
                               for (const EventMap::Outgoing& changed : o.overrides)
                                   had.insert(changed.key, changed.uid);
                           for (const auto& [key, uid] : result.occurrenceUids) {
                               if (!had.value(key).isEmpty() && had.value(key) != uid)
                                   rows.forget(had.value(key));
                               rows.link({uid, key, {}, {}, {}});
                           }
                           left = result.unreadableDates;
                           damaged = result.damaged;
                           written = int(out.size()) - left;
                           for (const EventMap::Outgoing& o : out)
                               written += int(o.overrides.size());
                           writtenTasks = int(tasks.size());
                           file.append(result.bytes);
                       });
}
