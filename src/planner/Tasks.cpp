#include "planner/Tasks.h"

#include <libical/ical.h>
#include <sqlite3.h>

#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <algorithm>

#include "store/Connection.h"
#include "store/Statement.h"
#include "store/StoreError.h"

namespace {

using F = TaskFields::Field;

const QString kRecord = QStringLiteral("The record in tblTask");

qint64 number(const QString& text)
{
    return text.toLongLong();
}

}  // namespace

std::optional<QDate> TaskDates::day(const QString& stored)
{
    if (stored.endsWith(u'Z')) {
        const QDateTime utc = QDateTime::fromString(stored, QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
        if (!utc.isValid())
            return std::nullopt;
        return QDateTime(utc.date(), utc.time(), QTimeZone::utc()).toLocalTime().date();
    }
    const QDate d = QDate::fromString(stored.left(8), QStringLiteral("yyyyMMdd"));
    if (!d.isValid() || (stored.size() != 8 && stored.size() != 15))
        return std::nullopt;
    return d;
}

std::optional<QTime> TaskDates::time(const QString& stored)
{
    if (!day(stored) || stored.size() == 8)
        return std::nullopt;
    if (stored.endsWith(u'Z'))
        return QDateTime(QDate::fromString(stored.left(8), QStringLiteral("yyyyMMdd")),
                         QTime::fromString(stored.mid(9, 6), QStringLiteral("HHmmss")), QTimeZone::utc())
            .toLocalTime()
            .time();
    const QTime t = QTime::fromString(stored.mid(9, 6), QStringLiteral("HHmmss"));
    return t.isValid() ? std::optional(t) : std::nullopt;
}

QString TaskDates::text(QDate day, std::optional<QTime> time)
{
    QString out = day.toString(QStringLiteral("yyyyMMdd"));
    if (time)
        out += time->toString(QStringLiteral("'T'HHmmss"));
    return out;
}

namespace {

const char* const kFrequencies[] = {"", "DAILY", "WEEKLY", "MONTHLY", "YEARLY"};

}  // namespace

TaskRepeat::Choice TaskRepeat::of(const QString& rule)
{
    QStringList parts = rule.toUpper().split(u';', Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("INTERVAL=1"));  // every day is every first day
    if (parts.isEmpty())
        return None;
    for (int c = Daily; c <= Yearly; ++c)
        if (parts == QStringList{QStringLiteral("FREQ=") + QLatin1String(kFrequencies[c])})
            return Choice(c);
    return Other;
}

QString TaskRepeat::rule(Choice choice)
{
    return choice > None && choice < Other ? QStringLiteral("FREQ=") + QLatin1String(kFrequencies[choice]) : QString();
}

TaskTree Tasks::build(const QList<std::pair<qint64, TaskValues>>& rows)
{
    TaskTree tree;
    QHash<qint64, qsizetype> at;  // key -> index in rows
    for (qsizetype i = 0; i < rows.size(); ++i)
        at.insert(rows[i].first, i);
    QHash<qint64, QList<qsizetype>> children;
    QList<qsizetype> roots;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const qint64 parent = number(rows[i].second[F::Parent]);
        if (parent == rows[i].first) {
            tree.loopsCut << rows[i].second[F::Title];  // its own parent: the shortest loop
            roots << i;
        } else if (parent != 0 && at.contains(parent)) {
            children[parent] << i;
        } else {
            tree.orphans += parent != 0 ? 1 : 0;
            roots << i;
        }
    }
    const auto byPlace = [&](qsizetype a, qsizetype b) {
        const qint64 pa = number(rows[a].second[F::Position]), pb = number(rows[b].second[F::Position]);
        return pa != pb ? pa < pb : rows[a].first < rows[b].first;
    };
    std::vector<bool> shown(size_t(rows.size()), false);
    const auto walk = [&](qsizetype root, qint64 parent) {
        QList<std::pair<qsizetype, int>> stack{{root, 0}};
        qint64 shownParent = parent;
        while (!stack.isEmpty()) {
            const auto [i, depth] = stack.takeLast();
            if (shown[size_t(i)])
                continue;
            shown[size_t(i)] = true;
            TaskItem item{rows[i].first, rows[i].second, depth,
                          depth == 0 ? shownParent : number(rows[i].second[F::Parent])};
            tree.items << item;
            QList<qsizetype> under = children.value(rows[i].first);
            std::sort(under.begin(), under.end(), byPlace);
            for (qsizetype n = under.size(); n-- > 0;)  // the first on top of the stack
                stack.append({under[n], depth + 1});
        }
    };
    std::sort(roots.begin(), roots.end(), byPlace);
    for (const qsizetype r : roots)
        walk(r, 0);
    // What is left hangs from a loop of parents: follow the parents up to
    // the loop and cut it at its task with the lowest key.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (shown[size_t(i)])
            continue;
        QList<qsizetype> path;
        qsizetype j = i;
        while (!path.contains(j)) {
            path << j;
            j = at.value(number(rows[j].second[F::Parent]));
        }
        const QList<qsizetype> loop = path.mid(path.indexOf(j));
        const qsizetype cut = *std::min_element(
            loop.begin(), loop.end(), [&](qsizetype a, qsizetype b) { return rows[a].first < rows[b].first; });
        tree.loopsCut << rows[cut].second[F::Title];
        walk(cut, 0);
    }
    return tree;
}

TaskTree Tasks::tree(bool withDone)
{
    QList<std::pair<qint64, TaskValues>> rows;
    QString sql = QStringLiteral("SELECT TaskRow");
    for (const QLatin1StringView name : TaskFields::kNames)
        sql += QStringLiteral(", ") + name;
    Statement st(m_con.handle(), sql + QStringLiteral(" FROM tblTask ORDER BY TaskRow"));
    while (st.step()) {
        auto& [key, values] = rows.emplace_back();
        key = st.integer(0);
        for (int f = 0; f < F::Count; ++f)
            values[size_t(f)] = st.text(f + 1);
    }
    TaskTree tree = build(rows);
    if (!withDone) {
        // From the deepest up: a done task stays while a task under it is to do.
        QSet<qint64> keep;
        for (qsizetype n = tree.items.size(); n-- > 0;)
            if (const TaskItem& t = tree.items[n]; !t.done() || keep.contains(t.key))
                keep << t.key << t.parent;
        tree.items.removeIf([&](const TaskItem& t) { return !keep.contains(t.key); });
    }
    return tree;
}

template <class Work>
void Tasks::atOnce(Work work)
{
    sqlite3* db = m_con.handle();
    sqlite3_exec(db, "SAVEPOINT tasks", nullptr, nullptr, nullptr);
    try {
        refusedAs(kRecord, work);
        sqlite3_exec(db, "RELEASE tasks", nullptr, nullptr, nullptr);
    } catch (const StoreError&) {
        sqlite3_exec(db, "ROLLBACK TO tasks; RELEASE tasks", nullptr, nullptr, nullptr);
        throw;
    }
}

void Tasks::write(qint64 key, const TaskValues& values)
{
    TaskRows::change(m_con, key, values);
}

qint64 Tasks::add(TaskValues values, qint64 parent)
{
    qint64 key = 0;
    atOnce([&] {
        values[F::Parent] = QString::number(parent);
        values[F::Position] = QString::number(TaskRows::nextPosition(m_con, parent));
        key = TaskRows::add(m_con, values);
    });
    return key;
}

void Tasks::change(qint64 key, const TaskValues& values)
{
    atOnce([&] {
        const std::optional<TaskValues> stored = TaskRows::byKey(m_con, key);
        if (!stored)
            throw StoreError(QStringLiteral("There is no current record."));
        TaskValues now = values;
        now[F::Parent] = (*stored)[F::Parent];
        now[F::Position] = (*stored)[F::Position];
        write(key, now);
    });
}

int Tasks::remove(qint64 key)
{
    const TaskTree all = tree();
    // The task's sub-tasks follow it in the tree, deeper than it.
    QList<qint64> gone;
    for (qsizetype i = 0; i < all.items.size(); ++i) {
        if (all.items[i].key != key)
            continue;
        gone << key;
        for (qsizetype j = i + 1; j < all.items.size() && all.items[j].depth > all.items[i].depth; ++j)
            gone << all.items[j].key;
    }
    atOnce([&] {
        for (const qint64 k : gone)
            TaskRows::remove(m_con, k);
    });
    return int(gone.size());
}

namespace {

// The first date of `rule` after `after`, counted from `start`, in the same
// form. A rule of a count counts from `start`: its count is lowered by one
// in `rule`, since the next date starts what is left of it.
std::optional<QString> nextOf(QString& rule, const QString& start, const QString& after)
{
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.toUtf8().constData());
    if (r.freq == ICAL_NO_RECURRENCE)
        return std::nullopt;
    const icaltimetype from = icaltime_from_string(start.toLatin1().constData());
    const icaltimetype past = icaltime_from_string(after.toLatin1().constData());
    if (icaltime_is_null_time(from) || icaltime_is_null_time(past))
        return std::nullopt;
    icalrecur_iterator* it = icalrecur_iterator_new(r, from);
    if (!it)
        return std::nullopt;
    std::optional<QString> next;
    for (int steps = 0; steps < 100000; ++steps) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t))
            break;
        if (icaltime_compare(t, past) > 0) {
            next = QString::fromLatin1(icaltime_as_ical_string(t));
            break;
        }
    }
    icalrecur_iterator_free(it);
    if (next && r.count > 1) {
        r.count -= 1;
        char* text = icalrecurrencetype_as_string_r(&r);
        rule = QString::fromUtf8(text);
        free(text);
    }
    return next;
}

}  // namespace

void Tasks::setDone(qint64 key, bool done, const QDateTime& now)
{
    atOnce([&] {
        std::optional<TaskValues> values = TaskRows::byKey(m_con, key);
        if (!values)
            throw StoreError(QStringLiteral("There is no current record."));
        TaskValues& v = *values;
        const QString due = v[F::Due];
        QString rule = v[F::Rule];
        const std::optional<QString> next =
            done && !v[F::Rule].isEmpty() && !due.isEmpty() ? nextOf(rule, due, due) : std::nullopt;
        if (next) {
            // The start moves with the due date, the same time before it.
            if (const auto s = TaskDates::day(v[F::Start]), d = TaskDates::day(due); s && d)
                v[F::Start] =
                    TaskDates::text(TaskDates::day(*next)->addDays(d->daysTo(*s)), TaskDates::time(v[F::Start]));
            v[F::Due] = *next;
            v[F::Rule] = rule;
            v[F::Completed].clear();
            v[F::Percent] = QStringLiteral("0");
        } else if (done) {
            v[F::Completed] = now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
            v[F::Percent] = QStringLiteral("100");
        } else {
            v[F::Completed].clear();
            if (v[F::Percent] == u"100")
                v[F::Percent] = QStringLiteral("0");
        }
        write(key, v);
    });
}

bool Tasks::move(qint64 key, Move how)
{
    const TaskTree all = tree();
    const auto item = std::find_if(all.items.begin(), all.items.end(), [&](const TaskItem& t) { return t.key == key; });
    if (item == all.items.end())
        return false;
    // The tasks under one parent, in order, with their stored texts.
    const auto siblingsOf = [&](qint64 parent) {
        QList<TaskItem> out;
        for (const TaskItem& t : all.items)
            if (t.parent == parent && (parent != 0 || t.depth == 0))
                out << t;
        return out;
    };
    QList<TaskItem> siblings = siblingsOf(item->parent);
    const qsizetype at = std::find_if(siblings.begin(), siblings.end(), [&](const TaskItem& t) { return t.key == key; })
                         - siblings.begin();
    // Writes `list` as the tasks under `parent`, in its order.
    QList<std::pair<qint64, TaskValues>> writes;
    const auto place = [&](const QList<TaskItem>& list, qint64 parent) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            TaskValues v = list[i].values;
            v[F::Parent] = QString::number(parent);
            v[F::Position] = QString::number(i);
            if (v != list[i].values)
                writes.append({list[i].key, v});
        }
    };
    switch (how) {
    case Move::Up:
    case Move::Down: {
        const qsizetype other = how == Move::Up ? at - 1 : at + 1;
        if (other < 0 || other >= siblings.size())
            return false;
        siblings.swapItemsAt(at, other);
        place(siblings, item->parent);
        break;
    }
    case Move::In: {
        if (at == 0)
            return false;
        const qint64 newParent = siblings[at - 1].key;
        QList<TaskItem> under = siblingsOf(newParent);
        under << siblings.takeAt(at);
        place(siblings, item->parent);
        place(under, newParent);
        break;
    }
    case Move::Out: {
        if (item->parent == 0)
            return false;
        const auto parent =
            std::find_if(all.items.begin(), all.items.end(), [&](const TaskItem& t) { return t.key == item->parent; });
        QList<TaskItem> outer = siblingsOf(parent->parent);
        const qsizetype parentAt =
            std::find_if(outer.begin(), outer.end(), [&](const TaskItem& t) { return t.key == parent->key; })
            - outer.begin();
        outer.insert(parentAt + 1, siblings.takeAt(at));
        place(siblings, item->parent);
        place(outer, parent->parent);
        break;
    }
    }
    atOnce([&] {
        for (const auto& [k, v] : writes)
            write(k, v);
    });
    return true;
}

QList<TaskItem> Tasks::dueBy(QDate day, bool overdue)
{
    QList<TaskItem> out;
    for (const TaskItem& t : tree().items) {
        const std::optional<QDate> due = TaskDates::day(t.values[F::Due]);
        if (!t.done() && due && (*due == day || (overdue && *due < day)))
            out << t;
    }
    std::stable_sort(out.begin(), out.end(), [](const TaskItem& a, const TaskItem& b) {
        const QDate da = *TaskDates::day(a.values[F::Due]), db = *TaskDates::day(b.values[F::Due]);
        if (da != db)
            return da < db;
        return TaskDates::time(a.values[F::Due]).value_or(QTime(0, 0))
               < TaskDates::time(b.values[F::Due]).value_or(QTime(0, 0));
    });
    return out;
}
