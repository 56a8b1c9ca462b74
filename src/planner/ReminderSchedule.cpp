#include "planner/ReminderSchedule.h"

#include <algorithm>

#include <QRegularExpression>

namespace Reminders {

std::optional<QTime> startTime(const QString& label)
{
    static const QRegularExpression form(QStringLiteral("^(1[0-2]|[1-9]):([0-5][0-9])(AM|PM)$"));
    const QRegularExpressionMatch m = form.match(label);
    if (!m.hasMatch())
        return std::nullopt;
    const int hour = m.captured(1).toInt() % 12 + (m.captured(3) == QLatin1String("PM") ? 12 : 0);
    return QTime(hour, m.captured(2).toInt());
}

QList<Appointment> Schedule::startedBetween(const QList<Appointment>& today, const QDateTime& after,
                                            const QDateTime& now)
{
    // With no earlier look, the window opens at midnight.
    const QDateTime from = after.isValid() ? after : QDateTime(now.date(), QTime(0, 0)).addMSecs(-1);
    QList<std::pair<QTime, Appointment>> started;
    for (const Appointment& a : today) {
        const std::optional<QTime> t = startTime(a.start);
        if (!t)
            continue;
        const QDateTime at(now.date(), *t);
        if (at > from && at <= now)
            started.append({*t, a});
    }
    std::stable_sort(started.begin(), started.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    QList<Appointment> result;
    for (const auto& [t, a] : started)
        result.append(a);
    return result;
}

QDateTime Schedule::nextLook(const QList<Appointment>& today, const QDateTime& now)
{
    // Every half hour, so that appointments saved while we run are found at
    // their slot; sooner when a start lies between two half hours.
    const QTime t = now.time();
    const int nextHalfHour = (t.hour() * 60 + t.minute()) / 30 * 30 + 30;
    // Built from the wall-clock time, not by adding seconds: a day may have 23 or 25 hours.
    QDateTime next = nextHalfHour < 24 * 60 ? QDateTime(now.date(), QTime(nextHalfHour / 60, nextHalfHour % 60))
                                            : QDateTime(now.date().addDays(1), QTime(0, 0));
    for (const Appointment& a : today) {
        const std::optional<QTime> start = startTime(a.start);
        if (start && QDateTime(now.date(), *start) > now && QDateTime(now.date(), *start) < next)
            next = QDateTime(now.date(), *start);
    }
    return next;
}

Plan Schedule::begin(const QList<Appointment>& today, const QDateTime& now, const QDateTime& previousLook)
{
    Plan plan;
    const QList<Appointment> missed = startedBetween(today, previousLook, now);
    if (!missed.isEmpty()) {
        QStringList lines;
        for (const Appointment& a : missed)
            lines << a.start + QStringLiteral("  ") + a.note;
        plan.notices.append({kMissedSummary, lines.join(QLatin1Char('\n'))});
    }
    m_last = previousLook.isValid() ? std::max(previousLook, now) : now;
    plan.nextLook = nextLook(today, now);
    return plan;
}

Plan Schedule::look(const QList<Appointment>& today, const QDateTime& now)
{
    Plan plan;
    for (const Appointment& a : startedBetween(today, m_last, now))
        plan.notices.append({(a.task ? kTaskSummary : kDueSummary).arg(a.start), a.note});
    // A clock set back must not bring a reminder round a second time.
    m_last = std::max(m_last, now);
    plan.nextLook = nextLook(today, now);
    return plan;
}
}  // namespace Reminders
