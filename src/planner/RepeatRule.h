#pragma once

#include <optional>

#include <QDate>
#include <QList>
#include <QString>

// How an appointment repeats, as the Repeat box and its dialog can say it,
// and the RRULE text of it both ways. libical reads and writes the text, so
// what is stored is always what any calendar program reads.
namespace RepeatRule {

enum class Frequency { Daily, Weekly, Monthly, Yearly };

struct Choices {
    Frequency frequency = Frequency::Weekly;
    int interval = 1;
    QList<int> weekdays;  // weekly: Qt::DayOfWeek, Monday first; none: the first day's
    int monthDay = 0;     // monthly: on this day (-1: the last); 0: the first day's
    int position = 0;     // monthly: on the position-th (1 to 5, -1: the last) ...
    int weekday = 0;      // ... of this Qt::DayOfWeek
    int count = 0;        // 0: no count
    QDate until;          // invalid: no end date
    bool operator==(const Choices&) const = default;
};

// The choices of `rule`, or nothing when the rule says more than they can
// (BYSETPOS, BYHOUR, two days of the month, a week starting on Sunday...)
// or does not read.
std::optional<Choices> choicesOf(const QString& rule);
// The rule text; an end date ends a timed series after its last day, a
// whole-day one (`allDay`) on it.
QString ruleOf(const Choices& choices, bool allDay = false);
// What the rule says in words: "Every 2 weeks on Mon, Wed, 10 times".
QString summaryOf(const Choices& choices);
// "Tuesday" (`shortName`: "Tue") for a Qt::DayOfWeek.
QString dayName(int weekday, bool shortName = false);
// "second", "last" for a weekday's position in its month.
QString positionName(int position);
// The position-th weekday of its month that `date` is (-1: the last, when it is the fifth).
int positionOf(QDate date);

}  // namespace RepeatRule
