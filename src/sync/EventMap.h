#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "store/AppointmentRows.h"
#include "sync/TaskMap.h"

// The day planner's appointments as iCalendar events (RFC 5545, through libical).
namespace EventMap {

// An appointment's texts are the store's: one shape from the file to the row.
using Appointment = AppointmentValues;
using AppointmentFields::DateValue;
using AppointmentFields::Field;
using AppointmentFields::Note;
using AppointmentFields::TimeFinished;
using AppointmentFields::TimeStart;
inline constexpr int FieldCount = AppointmentFields::Count;

using Clock::finishText;
using Clock::parseDate;
using Clock::parseTime;
using Clock::startText;

struct Imported {
    Appointment appointment;
    QString uid;
    // The event as read, with the time zones it names, as one VCALENDAR:
    // what goes out again with only the changed properties replaced.
    QByteArray object;
    bool changed = false;  // part of the event did not fit and was put into the note or left out
};
struct ReadResult {
    QList<Imported> events;
    int malformed = 0;
    int outOfReach = 0;              // of those, events read whole on a date the planner cannot hold
    QList<TaskMap::Imported> tasks;  // the to-dos
    int tasksUndated = 0;            // of those, with a DUE or DTSTART that is no date: kept without it
    int journals = 0;                // components the planner has no place for
    int unreadableRules = 0;         // events taken with their first occurrence only
    int rulesBeyondBudget = 0;       // the same, for a rule too large to expand (Occurrences::withinBudget)
    // Time zones whose rules change too often to be worked out (finer than
    // monthly, or from centuries back): the system's zone of the same name
    // in their place, or, where there is none, their repeats left out.
    int zonesReplaced = 0, zonesFixed = 0;
    bool isCalendar = false;  // false: the text is no iCalendar data at all
};
ReadResult read(const QByteArray& bytes);
// How the event of `uid` in a kept object repeats or spans days (row and
// series row left 0), or nothing when it is a plain one-day event.
std::optional<Occurrences::Series> seriesOf(const QByteArray& object, const QString& uid);

struct Outgoing {
    Appointment appointment;
    QString uid;  // an occurrence's ends in "#" and its RECURRENCE-ID (see occurrenceUid())
    // The event it was read from and the fields' values then; empty for one made here.
    QByteArray kept;
    QStringList base;
    // How it repeats, as stored beside its row; the event carries it.
    std::optional<Occurrences::Series> series;
    // A series' changed occurrences (each with its series' recurrenceId):
    // they travel in its object, after it, under its UID.
    std::vector<Outgoing> overrides = {};
    qint64 key = 0;  // an occurrence's row, for WriteResult::occurrenceUids
};
// The key of one detached occurrence of a series: the series' UID, "#" and
// the occurrence's RECURRENCE-ID in UTC (or as a date, or floating), so it
// is a record of its own beside the series.
QString occurrenceUid(const QString& uid, const QString& recurrenceId);
struct WriteResult {
    QByteArray bytes;
    int unreadableDates = 0;  // appointments left out: their date cannot be read
    int damaged = 0;          // kept events (and to-dos) that no longer read: written from the fields alone
    // The record each changed occurrence made here reads back as (row -> UID).
    QList<std::pair<qint64, QString>> occurrenceUids = {};
};
// One VCALENDAR with an event per appointment, times in the local zone. An
// appointment read from a file comes back as the event it was read from
// (repeats, alarms, attendees, its own zone), with only what was changed
// here since replaced: its times, or the parts of its note (summary,
// description, place) that changed.
// The tasks go into the same VCALENDAR as to-dos (TaskMap::addTo).
WriteResult write(const QList<Outgoing>& appointments, const QList<TaskMap::Outgoing>& tasks = {});

}  // namespace EventMap

class SyncRecords;
namespace EventMap {
// The changed occurrences of the series of row `seriesKey`, as they go out with it.
std::vector<Outgoing> overridesOf(SyncRecords& rows, qint64 seriesKey);

}  // namespace EventMap
