#include "planner/DayLayout.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

#include <QTime>

#include "kit/Clock.h"

namespace DayLayout {

namespace {
constexpr int kAfternoonRow = 11;  // "12:00PM"; row 10 is the "PM" marker
constexpr int kLastRow = 26;

// The time of grid row r, or none for the "PM" marker row.
std::optional<QTime> rowTime(int r)
{
    if (r < 10)
        return QTime(7, 30).addSecs((r - 1) * 1800);
    if (r >= kAfternoonRow)
        return QTime(12, 0).addSecs((r - kAfternoonRow) * 1800);
    return std::nullopt;
}

struct Texts {
    QStringList notes, finishes, lines;
};
}  // namespace

const QStringList& rowLabels()
{
    static const QStringList labels = [] {
        QStringList l;
        for (int r = 1; r <= kLastRow; ++r)
            l << (rowTime(r) ? Clock::startText(*rowTime(r)) : QStringLiteral("PM"));
        return l;
    }();
    return labels;
}

int rowOf(const QString& start)
{
    if (const qsizetype exact = rowLabels().indexOf(start.trimmed()); exact >= 0)
        return int(exact) + 1;
    const std::optional<QTime> t = Clock::parseTime(start);
    if (!t)
        return 0;
    // The nearest row; halfway between two, the earlier one.
    int best = 1;
    int bestDistance = INT_MAX;
    for (int r = 1; r <= kLastRow; ++r) {
        const std::optional<QTime> at = rowTime(r);
        if (!at)
            continue;
        const int distance = std::abs(at->secsTo(*t));
        if (distance < bestDistance) {
            best = r;
            bestDistance = distance;
        }
    }
    return best;
}

Day layout(const QList<Stored>& day)
{
    Day out;
    out.rowsOfGrid.resize(kLastRow);
    // In a shared row the earlier start comes first; equal ones keep the order they were stored in.
    QList<Stored> byStart = day;
    std::stable_sort(byStart.begin(), byStart.end(), [](const Stored& a, const Stored& b) {
        return Clock::parseTime(a.start).value_or(QTime()) < Clock::parseTime(b.start).value_or(QTime());
    });
    QList<Texts> rows(kLastRow + 1);  // 0: the line above the grid
    for (const Stored& s : byStart) {
        const int r = rowOf(s.start);
        const std::optional<QTime> from = Clock::parseTime(s.start);
        const std::optional<QTime> to = Clock::parseTime(s.finish);
        const QString finish = from && to && *to < *from ? kNextDay.arg(s.finish) : s.finish;
        // A start that is its row's own label needs no saying again.
        const QString start = s.start.trimmed();
        const bool onLabel = start.isEmpty() || (r > 0 && start == rowLabels()[r - 1]);
        rows[r].notes << (onLabel ? s.note : kAt.arg(start, s.note));
        rows[r].finishes << finish;
        rows[r].lines << (start.isEmpty() ? s.note : kTooltipLine.arg(start, finish, s.note).trimmed());
        (r == 0 ? out.allDayIds : out.rowsOfGrid[r - 1].ids) << s.id;
    }
    out.allDay = rows[0].notes.join(kBetween);
    out.allDayTooltip = rows[0].lines.join(u'\n');
    for (int r = 1; r <= kLastRow; ++r) {
        Slot& slot = out.rowsOfGrid[r - 1];
        slot.note = rows[r].notes.join(kBetween);
        slot.finish = rows[r].finishes.join(kBetween);
        slot.tooltip = rows[r].lines.join(u'\n');
    }
    return out;
}

}  // namespace DayLayout
