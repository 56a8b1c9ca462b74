#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QString>

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
}  // namespace Clock
