#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "store/TaskRows.h"

struct icalcomponent_impl;
struct icaltimetype;
class SyncRecords;

// The task list's tasks as iCalendar to-dos (VTODO, through libical). A
// to-do read from a file is kept as it came, and goes out again with only
// what was changed here since replaced, as events are (KeptObjects.h).
namespace TaskMap {

struct Imported {
    TaskValues task;  // Parent and Position are the store's business: left empty
    QString uid;
    QString parentUid;           // RELATED-TO of the parent (RELTYPE=PARENT, or none given); empty at the top
    QByteArray object;           // the to-do with the time zones it names, as one VCALENDAR
    QStringList base;            // the values it gave (see baseOf)
    bool dueUnreadable = false;  // a DUE or DTSTART that is no date: kept in the object, not in the task
};
// The values a kept to-do is compared with: the task's but its place, and its parent's UID.
QStringList baseOf(const TaskValues& task, const QString& parentUid);

// One to-do of `cal`.
Imported fromTodo(icalcomponent_impl* cal, icalcomponent_impl* todo);

struct Outgoing {
    TaskValues task;
    qint64 key = 0;
    QString uid, parentUid;
    QByteArray kept;  // empty for a task made here
    QStringList base;
};
// Every task as it goes out, each with its parent's UID: a parent that is
// not here (it never came, or was deleted there) is still named as it came,
// as it may come with another file or sync. A task without a UID is given
// one, kept with the caller's next commit.
QList<Outgoing> outgoing(SyncRecords& rows);

// Each task as a VTODO into `cal`, with the time zones its kept to-do names
// that `zones` does not hold yet (added to it). Returns how many kept
// to-dos no longer read and were written from the fields alone.
int addTo(icalcomponent_impl* cal, const QList<Outgoing>& tasks, QStringList& zones, const icaltimetype& stamp);

}  // namespace TaskMap
