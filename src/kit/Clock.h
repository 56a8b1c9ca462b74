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
}  // namespace Clock
