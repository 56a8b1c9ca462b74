#pragma once

#include <QObject>
#include <QTimer>

#include "kit/Worker.h"
#include "planner/ReminderSchedule.h"

// Runs the reminder schedule while the program runs: reads today's
// appointments from tblOrginize at every look, hands the notices to the
// desktop, and keeps the time of the last look in the data folder so that
// the next start lists only what passed while the program was closed.
class AppointmentReminders : public QObject {
    Q_OBJECT
public:
    explicit AppointmentReminders(QObject* parent = nullptr);
    ~AppointmentReminders() override;

    // The first look; later ones follow by themselves.
    void start();

private:
    // The day's appointments are read, their series expanded, on a thread
    // of their own: neither the first window nor any later one waits for
    // them. `first`: the look of the start.
    void read(bool first);
    void looked(bool first, const QList<Reminders::Appointment>& today);
    void carryOut(const Reminders::Plan& plan);
    static QList<Reminders::Appointment> appointmentsOf(QDate day);

    Reminders::Schedule m_schedule;
    QTimer m_timer;
    Worker m_worker{QThread::LowPriority};
    bool m_reading = false;
};
