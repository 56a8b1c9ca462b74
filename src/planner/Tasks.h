#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "store/TaskRows.h"

class Connection;

// One task as the list shows it: its row, where it stands in the tree and
// the parent it is shown under (0: the top level), which differs from the
// stored one when that one is missing or a loop was cut there.
struct TaskItem {
    qint64 key = 0;
    TaskValues values;
    int depth = 0;
    qint64 parent = 0;
    bool done() const { return !values[TaskFields::Completed].isEmpty(); }
};

// The tasks as a tree, depth first, each parent before its sub-tasks and
// siblings by their position. Stored data that is no tree is shown anyway:
// a task whose parent is gone stands at the top level, and a loop of
// parents is cut at its task with the lowest key, which then stands there.
struct TaskTree {
    QList<TaskItem> items;
    int orphans = 0;
    QStringList loopsCut;  // the titles of the tasks where a loop was cut
};

namespace TaskDates {
// The day and the time (none for a whole day) of a stored date; none when
// the text is no date (UTC is turned into the local clock).
std::optional<QDate> day(const QString& stored);
std::optional<QTime> time(const QString& stored);
// A stored date for a day, or a time of the local clock on it.
QString text(QDate day, std::optional<QTime> time = std::nullopt);
}  // namespace TaskDates

// The ways a task repeats that the Tasks page offers. A stored rule that is
// none of them (an interval, given days, an end) is Other: kept as it came.
namespace TaskRepeat {
enum Choice { None, Daily, Weekly, Monthly, Yearly, Other };
Choice of(const QString& rule);
// The rule of a choice (None, Other: empty).
QString rule(Choice choice);
}  // namespace TaskRepeat

// The task list's rules on tblTask: adding, changing, deleting, marking
// done and moving tasks in the tree, each call all of it or nothing. A
// refused write throws StoreError naming the table.
class Tasks {
public:
    explicit Tasks(Connection& con)
        : m_con(con)
    {
    }

    // The tree of the rows given (key and texts), without reading the store.
    static TaskTree build(const QList<std::pair<qint64, TaskValues>>& rows);
    // Every stored task; without done ones, a done task is left out when
    // none of its sub-tasks is still to do.
    TaskTree tree(bool withDone = true);

    // Adds a task as the last under `parent` and gives its key.
    qint64 add(TaskValues values, qint64 parent = 0);
    // Writes the texts of a task; where it stands stays as it is.
    void change(qint64 key, const TaskValues& values);
    // Deletes the task with every task under it; the number deleted.
    int remove(qint64 key);
    // Done (at `now`, kept in UTC, 100 percent) or to do again. A repeating
    // task that is done moves on to its next due date instead and stays to
    // do; one whose rule has no later date is done.
    void setDone(qint64 key, bool done, const QDateTime& now);

    enum class Move { Up, Down, In, Out };
    // Up and Down swap it with its sibling; In puts it last under the
    // sibling before it; Out puts it after its parent. False when there is
    // no such place (the first can go neither up nor in).
    bool move(qint64 key, Move how);

    // The tasks still to do that are due on `day` or, when `overdue`, before it, by due date.
    QList<TaskItem> dueBy(QDate day, bool overdue);

private:
    void write(qint64 key, const TaskValues& values);
    template <class Work>
    void atOnce(Work work);

    Connection& m_con;
};
