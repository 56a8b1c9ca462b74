#pragma once

#include <QObject>
#include <QTimer>

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
    void lookAgain();
    void carryOut(const Reminders::Plan& plan);
    QList<Reminders::Appointment> appointmentsOf(QDate day) const;

    Reminders::Schedule m_schedule;
    QTimer m_timer;
};
