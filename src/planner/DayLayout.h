#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Lays one day's stored appointments out on the planner's grid of
// half-hour start rows. Nothing is moved or dropped: an appointment whose
// start is no row of its own (before the first row, after the last, between
// two half hours) goes to the row nearest its start and says its true times;
// several in one row are all shown; a start that is no time at all (an
// all-day event, a typed text) goes on the line above the grid.
namespace DayLayout {

// One tblOrginize row of the day.
struct Stored {
    qint64 id = 0;  // OrgRow
    QString start, finish, note;
};

struct Slot {
    QString note;     // column 1: the notes, " · " between two
    QString finish;   // column 2: the finish times, the same way
    QString tooltip;  // one line per appointment, with its true times
    QList<qint64> ids;
};

struct Day {
    QList<Slot> rowsOfGrid;  // grid rows 1 to 26, in order
    QString allDay;          // the line above the grid
    QString allDayTooltip;
    QList<qint64> allDayIds;
};

inline const QString kBetween = QStringLiteral(" \u00b7 ");
// A start written apart from its row's label, and a finish on the next day.
inline const QString kAt = QStringLiteral("%1 %2");
inline const QString kTooltipLine = QStringLiteral("%1 - %2  %3");
inline const QString kNextDay = QStringLiteral("%1 (next day)");
// An appointment on a day after the one it starts on.
inline const QString kContinued = QStringLiteral("%1 (continued)");

// The label of each grid row 1 to 26, as the grid shows it.
const QStringList& rowLabels();
// The grid row (1 to 26) an appointment starting at `start` is shown in, or
// 0 when the start is no time and no row label.
int rowOf(const QString& start);
Day layout(const QList<Stored>& day);

}  // namespace DayLayout
