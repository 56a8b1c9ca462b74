#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// The program's idea of "now", and the two ways it writes dates and times.
namespace Clock {
QDateTime now();
QDate today();
// Tests freeze the clock; std::nullopt lets it run again.
void setFixed(std::optional<QDateTime> fixed);

// The user's short date form, no time part: what the date label shows and
// what the day planner stores and searches.
QString dateText(QDate date);
// The user's time form with seconds, no time zone: what the clock label shows.
QString timeText(QTime time);

// The day planner's two time forms: "8:30AM" for a start slot, "9:00 AM" for
// a finish time. Reading accepts either, with or without the blank.
QString startText(QTime time);
QString finishText(QTime time);
std::optional<QTime> parseTime(const QString& text);
// A stored date text; a two-digit year is read as the year nearest to
// today's, not as one of the 1900s.
std::optional<QDate> parseDate(const QString& text);

// With no TZ set, the C library looks at the zone file again on every
// conversion of a local time, three times the cost of a planner page.
// holdZone names the file in TZ once, before any thread starts, so that it
// is read once; followZone, run now and then on the window's thread, reads
// it again when it has changed since (the user moved the machine to
// another zone) and says so. A TZ the user set is left alone.
void holdZone(const QString& file = QStringLiteral("/etc/localtime"));
bool followZone();
}  // namespace Clock
