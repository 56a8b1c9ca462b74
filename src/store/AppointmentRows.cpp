#include "store/AppointmentRows.h"

#include "store/KeyedRows.h"

namespace {

const KeyedRows& rows()
{
    static const KeyedRows rows(QLatin1StringView("tblOrginize"), QLatin1StringView("OrgRow"),
                                AppointmentFields::kNames);
    return rows;
}

}  // namespace

qint64 AppointmentRows::add(Connection& con, const AppointmentValues& values)
{
    return rows().add(con, values);
}

void AppointmentRows::change(Connection& con, qint64 key, const AppointmentValues& values)
{
    rows().change(con, key, values);
}

bool AppointmentRows::remove(Connection& con, qint64 key)
{
    return rows().remove(con, key);
}

std::optional<AppointmentValues> AppointmentRows::byKey(Connection& con, qint64 key)
{
    return rows().byKey<std::tuple_size_v<AppointmentValues>>(con, key);
}
