#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class Connection;

// Appointments that repeat or cover more than their day, and the days they
// fall on. How a tblOrginize row repeats lives beside it in
// tblOrginizeSeries; libical expands the rule, only as far as the days asked
// for, so a rule without end never runs past the pages shown.
namespace Occurrences {

// One row of tblOrginizeSeries. Times are iCalendar texts in the zone
// `zone` names (20250107T090000; 20250107 for a whole day; a Z for UTC).
struct Series {
    qint64 row = 0;         // the tblOrginize row: the first occurrence
    QString start, finish;  // finish empty: it ends where it starts
    QString zone;           // TZID; empty: floating (local) or UTC
    QString rule;           // the RRULE value; empty: no repeats
    QStringList rdates, exdates;
    qint64 seriesRow = 0;  // a row that replaces one occurrence of another: that row
    QString recurrenceId;  // and which occurrence, in the form of start (or in UTC)
};

struct Occurrence {
    QDateTime start, finish;  // local time; for a whole day, the days' starts
    bool allDay = false;
};

// libical reads the rule (an empty one is no rule and reads).
bool ruleReads(const QString& rule);
// The series' rule can be expanded within the budget every page has: at
// most 48 times a day (the planner's half-hour slots), a COUNT of at most
// 10,000, a start from 1900 on, and days it picks never years apart. One
// beyond it shows its first occurrence only, as an unreadable one does;
// its text is kept and goes out as it came. No rule, or one that does not
// read, is within it.
bool withinBudget(const Series& series);
// The occurrences of `series` that start or last on a day from `from` to
// `to` (local dates), in order of start, without the ones in `replaced`
// (recurrence ids as Series::recurrenceId has them). An unreadable rule
// gives the first occurrence only.
QList<Occurrence> expand(const Series& series, QDate from, QDate to, const QSet<QString>& replaced = {});

// One appointment on one day, as the day's page shows it.
struct Entry {
    qint64 row = 0;
    QDate date;
    QString start, finish, note;  // start empty: on the line above the grid
    bool continued = false;       // a day after the one it starts on
    bool repeats = false;
    QDate first;         // a repeating one's first day
    QString occurrence;  // a repeating one's recurrence id on this day
    QString rule;        // a repeating one's RRULE, as stored
};
// Every appointment on the days from `from` to `to`: the stored rows of
// each date, the days a row covers after its own, and each occurrence of a
// series. Throws StoreError.
QList<Entry> between(Connection& con, QDate from, QDate to);
// The days from `from` to `to` that between() gives an entry for, without
// making the entries. Throws StoreError.
QSet<QDate> busyDays(Connection& con, QDate from, QDate to);

// The series of a row, when it has one.
std::optional<Series> seriesOf(Connection& con, qint64 row);
// The first day on or after `from` (within five years) that the series of
// `row` starts an occurrence on, or one that began before and lasts into
// it; none when the row does not repeat or every occurrence is past.
std::optional<QDate> nextFrom(Connection& con, qint64 row, QDate from);
// Stores the series of `series.row`, replacing what it had.
void write(Connection& con, const Series& series);
void remove(Connection& con, qint64 row);

// The instant an occurrence's id names (see Series::recurrenceId), in UTC
// with a Z: a floating one in `zone` (none: the local one); a date stays.
QString instantOf(const QString& id, const QString& zone);

// A local time as a series' texts say it, in its zone.
QString textOf(const QDateTime& local, const QString& zone, bool allDay);
// The series ending at `finish` (local time) of its first day, or of the
// day after when that is before its start; a whole-day one stays as it is.
void setFinish(Series& series, QTime finish);

}  // namespace Occurrences
