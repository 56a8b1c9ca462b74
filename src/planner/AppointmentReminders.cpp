#include "planner/AppointmentReminders.h"

#include <QFile>
#include <QFileInfo>

#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/Clock.h"
#include "kit/Notifications.h"
#include "kit/Occurrences.h"
#include "planner/Tasks.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace {
QDateTime previousLook()
{
    QFile file(AppFolder::reminderFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QDateTime::fromString(QString::fromLatin1(file.readAll()).trimmed(), Qt::ISODateWithMs);
}

// Reminders are a convenience: a data folder that cannot take the file only
// means the next start may list an appointment again.
void recordLook(const QDateTime& when)
{
    if (!when.isValid() || !QFileInfo(AppFolder::dataFolder()).isDir())
        return;
    AtomicFile::write(AppFolder::reminderFile(), when.toString(Qt::ISODateWithMs).toLatin1() + '\n');
}
}  // namespace

AppointmentReminders::AppointmentReminders(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { read(false); });
}

AppointmentReminders::~AppointmentReminders()
{
    m_worker.stop();
    recordLook(m_schedule.lastLook());
}

void AppointmentReminders::start()
{
    read(true);
}

void AppointmentReminders::read(bool first)
{
    if (std::exchange(m_reading, true))
        return;
    const QDate day = Clock::now().date();
    m_worker.post([day] { return appointmentsOf(day); }, this,
                  [this, first](const QList<Reminders::Appointment>& today) { looked(first, today); });
}

void AppointmentReminders::looked(bool first, const QList<Reminders::Appointment>& today)
{
    m_reading = false;
    const QDateTime now = Clock::now();
    carryOut(first ? m_schedule.begin(today, now, previousLook()) : m_schedule.look(today, now));
}

void AppointmentReminders::carryOut(const Reminders::Plan& plan)
{
    for (const Reminders::Notice& notice : plan.notices)
        Notifications::notify(notice.summary, notice.body);
    recordLook(m_schedule.lastLook());
    const qint64 wait = Clock::now().msecsTo(plan.nextLook);
    m_timer.start(std::chrono::milliseconds(std::clamp<qint64>(wait, 0, qint64(24) * 3600 * 1000)));
}

QList<Reminders::Appointment> AppointmentReminders::appointmentsOf(QDate day)
{
    // Never create the database here: a first start makes it, not a reminder.
    QList<Reminders::Appointment> today;
    if (!QFileInfo::exists(AppFolder::databaseFile()))
        return today;
    // A store that cannot be read now is tried again at the next look; a
    // message box every half hour would help nobody.
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        // A repeating appointment reminds on each of its days; one that
        // began the day before has been reminded of then.
        for (const Occurrences::Entry& e : Occurrences::between(con, day, day))
            if (!e.continued)
                today.append({e.start, e.note});
        // A task due today reminds at its time, or as the day begins.
        for (const TaskItem& t : Tasks(con).dueBy(day, false)) {
            const QTime at = TaskDates::time(t.values[TaskFields::Due]).value_or(QTime(0, 0));
            today.append(
                {at.toString(QStringLiteral("h:mmAP")), Reminders::kTaskNote.arg(t.values[TaskFields::Title]), true});
        }
    } catch (const StoreError&) {
    }
    return today;
}
