#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include "kit/Occurrences.h"

// Meeting invitations carried by mail (iTIP over iMIP): the calendar part of
// a message read into a value, what it would do to the planner, and the
// answer that goes back to the organizer. No widget and no store here; the
// planner's side is reached through Invitation::planner(), which the main
// window hands in at start, so mail never includes the planner.
namespace Invitation {

struct Attendee {
    QString address;  // without "mailto:"
    QString name;
    QString partstat;  // NEEDS-ACTION when the invitation names none
};

struct Invite {
    // Not empty: this is no invitation the program can take, and why (one sentence).
    QString reason;
    QString method;  // REQUEST, CANCEL or REPLY
    QString uid;
    int sequence = 0;
    QString summary, location, description;
    QDateTime start, finish;  // instants; a whole day: the days in local time
    bool allDay = false;
    QString zone;  // the TZID its start is given in; empty: UTC or floating
    QString organizer, organizerName;
    QList<Attendee> attendees;
    QString recurrenceId;  // one occurrence of a series: which, in UTC (a date stays a date)
    QString rule;          // the RRULE, as written
    QByteArray calendar;   // the whole text, as received
};

// Reads the first event of a text/calendar part. `own` are the user's
// addresses: a REQUEST or CANCEL must name one of them as an attendee, a
// REPLY as its organizer (an empty list checks nothing).
Invite read(const QByteArray& calendar, const QStringList& own);

// What an invitation does to the planner, given the event stored under its UID.
enum class Effect {
    New,            // not in the planner yet
    Update,         // a newer version of a stored one; `changes` says what
    Occurrence,     // one occurrence of a stored series changes
    Outdated,       // older than the stored one: nothing to do
    Cancel,         // the organizer called off a stored one
    CancelUnknown,  // called off, and not in the planner
    Reply,          // an attendee's answer to one of ours
};
struct Decision {
    Effect effect = Effect::New;
    QStringList changes;  // for an update: one sentence per thing that changed
};
Decision decide(const Invite& incoming, const std::optional<Invite>& stored);

// The appointments of the planner that overlap the invitation's time, as
// "9:00AM Dentist"; `own` is the row that stands for the invitation itself.
QStringList clashes(const Invite& invite, const QList<Occurrences::Entry>& entries, qint64 own = 0);

// When, as the user reads it: local time, and the organizer's own time in
// brackets where that zone is another one.
QString whenText(const Invite& invite);
// The lines of the invitation bar: title, when, where, organizer, the others invited.
QString describe(const Invite& invite, const QString& me);

enum class Answer { Accepted, Tentative, Declined };
QString partstatOf(Answer answer);

// The iCalendar REPLY of `me` to the invitation: METHOD:REPLY, the event's
// UID, SEQUENCE, RECURRENCE-ID, times and organizer, this attendee alone
// with the answer, DTSTAMP `stamp`, and the comment when one is given.
QByteArray reply(const Invite& invite, const QString& me, Answer answer, const QString& comment,
                 const QDateTime& stamp);
// The invitation as the planner keeps it after the answer: METHOD gone, this
// attendee's PARTSTAT set, STATUS:TENTATIVE for a tentative answer.
QByteArray answered(const Invite& invite, const QString& me, Answer answer);
// A series as the planner keeps it after one occurrence (`recurrenceId`, as
// Invite gives it) is declined: that occurrence left out (an EXDATE), and
// the event that changed it gone.
QByteArray withoutOccurrence(const QByteArray& series, const QString& recurrenceId);
// The subject and text of the message that carries the reply.
QString replySubject(const Invite& invite, Answer answer);
QString replyText(const Invite& invite, const QString& me, Answer answer, const QString& comment);

// Invitations sent from the planner. The event is the one VCALENDAR kept
// for an appointment: the attendees and their answers live in it, so they
// go out on export and sync as they are.

// The addresses typed in an Attendees line: each word with an "@", in lower
// case, once; the answers shown in brackets beside them are left out.
QStringList addressesIn(const QString& typed);
// The kept event with `organizer` as ORGANIZER and `attendees` invited: one
// already invited keeps the answer, a new one is NEEDS-ACTION with RSVP, one
// no longer listed goes. An event that was sent before (it names attendees)
// is a new version: its SEQUENCE goes one up.
QByteArray invited(const QByteArray& event, const QString& organizer, const QStringList& attendees);
// What goes out: the event with METHOD `method` (REQUEST or CANCEL) and
// DTSTAMP `stamp`; a CANCEL says STATUS:CANCELLED, one version up.
QByteArray message(const QByteArray& event, const QString& method, const QDateTime& stamp);
// The kept event with the answer of a REPLY to it. Empty, with the reason
// in `reason`, for another event's REPLY or one from someone not invited.
QByteArray withReply(const QByteArray& event, const Invite& reply, QString* reason);
// Each attendee of the kept event with the answer: "carl@example.com (accepted), …".
QString answers(const QByteArray& event);
// Who the kept event invites and how each answered, as one text that is the
// same however the event was written: "organizer;address=PARTSTAT,…", sorted.
// Empty when it invites no one.
QString attendance(const QByteArray& event);
// `event` with the organizer and attendees of `from` in place of its own.
QByteArray withAttendeesOf(const QByteArray& event, const QByteArray& from);
// An answer as the planner says it: accepted, tentative, declined or not yet.
QString answerWord(const QString& partstat);

// The planner's side, handed in by the main window at start. Each text
// returned is empty on success, else what went wrong.
struct Stored {
    qint64 row = 0;
    QByteArray object;  // the event as kept, one VCALENDAR
};
struct Sent {
    QString uid;
    QByteArray object;
};
struct Planner {
    std::function<std::optional<Stored>(const QString& uid)> stored;
    // Keeps the calendar text (one event, or one occurrence of a stored series).
    std::function<QString(const QByteArray& calendar, const QString& uid, bool tentative)> take;
    std::function<QString(const QString& uid)> remove;
    // The event of the planner's row `row` as it goes out; none when there
    // is no such row, or it has no UID yet and `give` is false (with `give`,
    // it is given one).
    std::function<std::optional<Sent>(qint64 row, bool give)> event;
    // Keeps `object` as the event of `uid`, the row's texts as they are.
    std::function<QString(const QString& uid, const QByteArray& object)> keep;
};
void setPlanner(Planner planner);
// Empty functions until the main window has set them.
const Planner& planner();

// The mail's side of invitations sent from the planner, handed in by the
// main window: the address book's addresses that start with `typed`, the
// user's own address (empty: no mail account), and a message sent to
// `recipients` with the calendar as its second form.
struct Outgoing {
    QStringList recipients;
    QString subject, text;
    QByteArray calendar;
    QByteArray method;
};
struct Mailer {
    std::function<QStringList(const QString& typed)> complete;
    std::function<QString()> own;
    std::function<void(const Outgoing& message)> send;
};
void setMailer(Mailer mailer);
const Mailer& mailer();

}  // namespace Invitation
