#include "store/Schema.h"

#include <sqlite3.h>

#include "store/StoreError.h"

namespace {
// Text fields are never NULL: every reader copies them into a text box.
// NOCASE makes every text condition ignore letter case, as searches expect.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS tblPass (
  Pass_ID  INTEGER PRIMARY KEY,
  UserName TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Password TEXT NOT NULL DEFAULT '' COLLATE NOCASE
);
CREATE TABLE IF NOT EXISTS tblEmail (
  EmailInfo INTEGER PRIMARY KEY,
  SMTP      TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  YourEmail TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Remote    TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  UserName  TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Password  TEXT NOT NULL DEFAULT '' COLLATE NOCASE
);
CREATE TABLE IF NOT EXISTS tblAddress (
  Org_ID      INTEGER PRIMARY KEY,
  FirstName   TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  LastName    TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  HomeAddress TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Suburb      TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  PostCode    TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Email       TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  HomePhone   TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Mobile      TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  ICQ         TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  WebAddress  TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Comments    TEXT NOT NULL DEFAULT '' COLLATE NOCASE
);
-- OrgRow only keeps the rows in the order they were added; no screen reads it.
CREATE TABLE IF NOT EXISTS tblOrginize (
  OrgRow       INTEGER PRIMARY KEY,
  DateValue    TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  TimeStart    TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  TimeFinished TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Note         TEXT NOT NULL DEFAULT '' COLLATE NOCASE
);
-- When a row of tblOrginize repeats or covers more than its day: its
-- start and end as iCalendar writes them (20250107T090000, 20250107 for a
-- whole day, a Z for UTC) in the zone Zone names, the repeat rule and the
-- dates added to or taken from it in the same form. A row that stands for
-- one replaced occurrence of another names that row and the occurrence.
CREATE TABLE IF NOT EXISTS tblOrginizeSeries (
  OrgRow       INTEGER PRIMARY KEY,
  Start        TEXT NOT NULL DEFAULT '',
  Finish       TEXT NOT NULL DEFAULT '',
  Zone         TEXT NOT NULL DEFAULT '',
  Rule         TEXT NOT NULL DEFAULT '',
  RDates       TEXT NOT NULL DEFAULT '',
  ExDates      TEXT NOT NULL DEFAULT '',
  SeriesRow    INTEGER NOT NULL DEFAULT 0,
  RecurrenceId TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS ixOrginizeSeriesOf ON tblOrginizeSeries(SeriesRow);
-- Whatever deletes an appointment deletes how it repeats; its replaced
-- occurrences become appointments of their own.
CREATE TRIGGER IF NOT EXISTS trOrginizeSeriesGone AFTER DELETE ON tblOrginize BEGIN
  DELETE FROM tblOrginizeSeries WHERE OrgRow = old.OrgRow;
  UPDATE tblOrginizeSeries SET SeriesRow = 0, RecurrenceId = '' WHERE SeriesRow = old.OrgRow;
END;
-- Things to do: see store/TaskRows.h for what each field holds. A task
-- under another names it in Parent; Position orders the tasks of one parent.
CREATE TABLE IF NOT EXISTS tblTask (
  TaskRow   INTEGER PRIMARY KEY,
  Title     TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Notes     TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Due       TEXT NOT NULL DEFAULT '',
  StartDate TEXT NOT NULL DEFAULT '',
  Priority  TEXT NOT NULL DEFAULT '0',
  Completed TEXT NOT NULL DEFAULT '',
  Percent   TEXT NOT NULL DEFAULT '0',
  Rule      TEXT NOT NULL DEFAULT '',
  Parent    INTEGER NOT NULL DEFAULT 0,
  Position  INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixTaskParent ON tblTask(Parent);
CREATE INDEX IF NOT EXISTS ixAddressFirstName ON tblAddress(FirstName);
CREATE INDEX IF NOT EXISTS ixAddressLastName  ON tblAddress(LastName);
CREATE INDEX IF NOT EXISTS ixAddressHomePhone ON tblAddress(HomePhone);
CREATE INDEX IF NOT EXISTS ixAddressMobile    ON tblAddress(Mobile);
CREATE INDEX IF NOT EXISTS ixAddressEmail     ON tblAddress(Email);
CREATE INDEX IF NOT EXISTS ixAddressICQ       ON tblAddress(ICQ);
-- A month page's bold days read the dates and times of six weeks' rows:
-- from this index alone, without a page of the table each.
DROP INDEX IF EXISTS ixOrginizeDate;
CREATE INDEX IF NOT EXISTS ixOrginizeDay      ON tblOrginize(DateValue, TimeStart, TimeFinished);
CREATE INDEX IF NOT EXISTS ixOrginizeStart    ON tblOrginize(TimeStart);
CREATE INDEX IF NOT EXISTS ixOrginizeFinished ON tblOrginize(TimeFinished);
)sql";

}  // namespace

bool Schema::hasAllTables(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                           "('tblPass', 'tblEmail', 'tblAddress', 'tblOrginize')",
                           -1, &stmt, nullptr)
        != SQLITE_OK)
        return false;
    const bool all = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) == 4;
    sqlite3_finalize(stmt);
    return all;
}

void Schema::create(sqlite3* db)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(db, kSchema, nullptr, nullptr, &message);
    // A read-only file that already holds the tables still serves every read;
    // the writes themselves will say that they are refused.
    if (rc != SQLITE_OK && !((rc & 0xff) == SQLITE_READONLY && hasAllTables(db))) {
        const QString reason = failureReason(db, message);
        sqlite3_free(message);
        throw StoreError(reason);
    }
    sqlite3_free(message);
}
