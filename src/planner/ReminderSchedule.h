#pragma once

#include <optional>

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

// Decides which of the day's appointments to remind of, and when to look
// again. It knows no clock, store or bus: the caller passes "now" and the
// appointments of now's date, and shows what comes back.
namespace Reminders {

// One appointment of the day as tblOrginize keeps it, or a task due that day
// (at its due time, or "12:00AM" for one due on the day alone).
struct Appointment {
    QString start;  // TimeStart: "7:30AM" ... "7:30PM"
    QString note;
    bool task = false;
};

struct Notice {
    QString summary;
    QString body;
};

struct Plan {
    QList<Notice> notices;
    QDateTime nextLook;
};

inline const QString kDueSummary = QStringLiteral("Appointment at %1");
inline const QString kTaskSummary = QStringLiteral("Task due at %1");
inline const QString kTaskNote = QStringLiteral("To do: %1");
inline const QString kMissedSummary = QStringLiteral("Appointments earlier today");

// The time of a start label, or nothing for a label that is not a time
// (the grid's "PM" row).
std::optional<QTime> startTime(const QString& label);

class Schedule {
public:
    // The first look of a run. Appointments of today that started after the
    // previous run last looked (`previousLook`, invalid when there was none)
    // and up to now come in one notice.
    Plan begin(const QList<Appointment>& today, const QDateTime& now, const QDateTime& previousLook);
    // Every later look: one notice for each appointment that started since
    // the last look.
    Plan look(const QList<Appointment>& today, const QDateTime& now);
    // Everything that started up to this moment has been dealt with.
    QDateTime lastLook() const { return m_last; }

private:
    // Appointments starting after `after` and up to `now`, in order of start.
    static QList<Appointment> startedBetween(const QList<Appointment>& today, const QDateTime& after,
                                             const QDateTime& now);
    static QDateTime nextLook(const QList<Appointment>& today, const QDateTime& now);

    QDateTime m_last;
};
}  // namespace Reminders
