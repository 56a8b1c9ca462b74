#pragma once

#include <array>
#include <optional>

#include <QLatin1StringView>
#include <QString>

class Connection;

// The stored texts of a task, in the order of tblTask. Dates are written as
// iCalendar writes them: 20261209 for a day, 20261209T170000 for a time of
// the local clock, a Z at the end for UTC (Completed always is). Priority is
// 0 (none) or 1 (highest) to 9, Percent 0 to 100; Parent is the key of the
// task it is under (0: the top level) and Position its place among its
// siblings.
namespace TaskFields {
enum Field { Title, Notes, Due, Start, Priority, Completed, Percent, Rule, Parent, Position, Count };

inline constexpr std::array<QLatin1StringView, Count> kNames{
    QLatin1StringView("Title"),     QLatin1StringView("Notes"),    QLatin1StringView("Due"),
    QLatin1StringView("StartDate"), QLatin1StringView("Priority"), QLatin1StringView("Completed"),
    QLatin1StringView("Percent"),   QLatin1StringView("Rule"),     QLatin1StringView("Parent"),
    QLatin1StringView("Position")};
}  // namespace TaskFields

// A task's texts, indexed by TaskFields::Field: the one shape of a stored task.
using TaskValues = std::array<QString, TaskFields::Count>;

// The one place that adds, changes, deletes and reads a row of tblTask by
// its key (TaskRow), for the planner's task list and for the import alike.
// One statement each on the connection, inside the caller's transaction
// when one is open; a failure throws StoreError with SQLite's reason.
namespace TaskRows {
qint64 add(Connection& con, const TaskValues& values);
void change(Connection& con, qint64 key, const TaskValues& values);
bool remove(Connection& con, qint64 key);
std::optional<TaskValues> byKey(Connection& con, qint64 key);
// The place after the last task under `parent` (0: the top level).
qint64 nextPosition(Connection& con, qint64 parent);
}  // namespace TaskRows
