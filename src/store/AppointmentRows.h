#pragma once

#include <array>
#include <optional>

#include <QLatin1StringView>
#include <QString>

class Connection;

// The stored texts of an appointment, in the order of tblOrginize: the one
// list behind every place that reads or writes a whole row (the planner's
// pages and the iCalendar exchange).
namespace AppointmentFields {
enum Field { DateValue, TimeStart, TimeFinished, Note, Count };

inline constexpr std::array<QLatin1StringView, Count> kNames{
    QLatin1StringView("DateValue"), QLatin1StringView("TimeStart"), QLatin1StringView("TimeFinished"),
    QLatin1StringView("Note")};
}  // namespace AppointmentFields

// An appointment's texts, indexed by AppointmentFields::Field, as its row
// holds them: the one shape of a stored appointment in memory.
using AppointmentValues = std::array<QString, AppointmentFields::Count>;

// The one place that adds, changes, deletes and reads a row of tblOrginize
// by its key (OrgRow), for the planner's appointments and for the import and
// the sync alike; how a row repeats is kept beside it by kit/Occurrences.
// The texts are stored as given, each write one statement on the connection
// (see KeyedRows), so the records-changed notice and the search index follow
// it. A failure throws StoreError with SQLite's reason.
namespace AppointmentRows {

// Adds a row and gives its key.
qint64 add(Connection& con, const AppointmentValues& values);
// Writes every text of the row `key` (none is changed when there is no such row).
void change(Connection& con, qint64 key, const AppointmentValues& values);
// Deletes the row `key`; false when there was none.
bool remove(Connection& con, qint64 key);
// The texts of the row `key`, or none when there is no such row.
std::optional<AppointmentValues> byKey(Connection& con, qint64 key);

}  // namespace AppointmentRows
