#include "store/TaskRows.h"

#include "store/Connection.h"
#include "store/KeyedRows.h"
#include "store/Statement.h"

namespace {

const KeyedRows& rows()
{
    static const KeyedRows rows(QLatin1StringView("tblTask"), QLatin1StringView("TaskRow"), TaskFields::kNames);
    return rows;
}

}  // namespace

qint64 TaskRows::add(Connection& con, const TaskValues& values)
{
    return rows().add(con, values);
}

void TaskRows::change(Connection& con, qint64 key, const TaskValues& values)
{
    rows().change(con, key, values);
}

bool TaskRows::remove(Connection& con, qint64 key)
{
    return rows().remove(con, key);
}

std::optional<TaskValues> TaskRows::byKey(Connection& con, qint64 key)
{
    return rows().byKey<std::tuple_size_v<TaskValues>>(con, key);
}

qint64 TaskRows::nextPosition(Connection& con, qint64 parent)
{
    Statement last(con.handle(), QStringLiteral("SELECT coalesce(max(Position) + 1, 0) FROM tblTask WHERE Parent = ?"));
    last.bind(1, parent);
    last.step();
    return last.integer(0);
}
