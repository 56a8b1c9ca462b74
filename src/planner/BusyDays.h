#pragma once

class Connection;
class MonthView;

// A month calendar of the planner shows in bold the days of its page that
// hold an appointment (a repeating one's every occurrence, each day of one
// that covers several), and keeps doing so as the user turns its pages.
namespace BusyDays {
// `con` lives as long as the calendar; while it is closed no day is bold.
// Without `now` the page shown waits for show() or a page turned.
void follow(MonthView* calendar, Connection& con, bool now = true);
// Again, after the appointments changed.
void show(MonthView* calendar, Connection& con);
}  // namespace BusyDays
