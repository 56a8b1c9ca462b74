#include "kit/Invitation.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

#include "kit/Clock.h"

namespace Invitation {

namespace {

struct IcalFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, IcalFree>;

const char* const kProductId = "-//Tessaly//Tessaly 2002//EN";

QString textOf(icalcomponent* ev, icalproperty_kind kind)
{
    icalproperty* p = icalcomponent_get_first_property(ev, kind);
    // A text as it means (commas and backslashes not escaped), so that it
    // goes out again as it came.
    icalvalue* v = p ? icalproperty_get_value(p) : nullptr;
    const char* text = v && icalvalue_isa(v) == ICAL_TEXT_VALUE ? icalvalue_get_text(v)
                       : p                                      ? icalproperty_get_value_as_string(p)
                                                                : nullptr;
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

// A UID that is not UTF-8 is written empty, and one with a control
// character (a lone CR, say) reads back as another: an answer to it or an
// update of it could never be matched by the other side.
bool uidWritable(icalcomponent* ev)
{
    const char* uid = icalcomponent_get_uid(ev);
    if (!uid)
        return true;
    const QByteArrayView bytes(uid);
    return bytes.isValidUtf8()
           && std::none_of(bytes.begin(), bytes.end(), [](char c) { return (c >= 0 && c < 0x20) || c == 0x7f; });
}

// "mailto:Anna@Example.org" -> "anna@example.org"
QString addressOf(const char* value)
{
    QString text = QString::fromUtf8(value ? value : "").trimmed();
    if (text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        text = text.mid(7);
    return text.toLower();
}

QString parameter(icalproperty* p, const char* name)
{
    const char* value = icalproperty_get_parameter_as_string(p, name);
    return value ? QString::fromUtf8(value) : QString();
}

// The instant a date-time property names; a zone the text names but does
// not describe is looked up by its name; an invalid value when none reads.
QDateTime instantOf(icalcomponent* ev, icalproperty_kind kind, bool* allDay = nullptr)
{
    icalproperty* p = icalcomponent_get_first_property(ev, kind);
    if (!p)
        return {};
    icaltimetype t = kind == ICAL_DTSTART_PROPERTY ? icalcomponent_get_dtstart(ev)
                     : kind == ICAL_DTEND_PROPERTY ? icalcomponent_get_dtend(ev)
                                                   : icalproperty_get_recurrenceid(p);
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return {};
    const QDate date(t.year, t.month, t.day);
    if (allDay)
        *allDay = t.is_date;
    if (t.is_date)
        return QDateTime(date, QTime(0, 0));
    const QTime time(t.hour, t.minute, t.second);
    if (icaltime_is_utc(t))
        return QDateTime(date, time, QTimeZone::utc());
    if (t.zone)
        return QDateTime::fromSecsSinceEpoch(icaltime_as_timet_with_zone(t, t.zone), QTimeZone::utc());
    const QByteArray tzid = parameter(p, "TZID").toUtf8();
    QTimeZone zone(tzid);
    if (!tzid.isEmpty() && !zone.isValid())
        zone = QTimeZone(QTimeZone::windowsIdToDefaultIanaId(tzid));
    return zone.isValid() ? QDateTime(date, time, zone).toUTC() : QDateTime(date, time);
}

QString occurrenceOf(icalcomponent* ev)
{
    bool date = false;
    const QDateTime at = instantOf(ev, ICAL_RECURRENCEID_PROPERTY, &date);
    if (!at.isValid())
        return {};
    return date ? at.date().toString(u"yyyyMMdd") : at.toUTC().toString(u"yyyyMMdd'T'HHmmss'Z'");
}

// The day of an occurrence (as Invite's recurrenceId gives it), as the user reads it.
QString occurrenceDay(const QString& recurrenceId)
{
    if (recurrenceId.size() == 8)
        return QLocale().toString(QDate::fromString(recurrenceId, u"yyyyMMdd"), QLocale::LongFormat);
    QDateTime at = QDateTime::fromString(recurrenceId, u"yyyyMMdd'T'HHmmss'Z'");
    at.setTimeZone(QTimeZone::utc());
    return QLocale().toString(at.toLocalTime().date(), QLocale::LongFormat);
}

icalcomponent* firstEvent(icalcomponent* root, icalcomponent** calendar)
{
    icalcomponent* cal = root;
    if (root && icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
        cal = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
    if (!cal || icalcomponent_isa(cal) != ICAL_VCALENDAR_COMPONENT)
        return nullptr;
    *calendar = cal;
    return icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT);
}

Component parse(const QByteArray& bytes)
{
    // A copy of its own ends in a NUL, whatever the bytes were taken from.
    const QByteArray text(bytes.constData(), bytes.size());
    return Component(icalparser_parse_string(text.constData()));
}

icalproperty* attendeeOf(icalcomponent* ev, const QString& me)
{
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ATTENDEE_PROPERTY))
        if (addressOf(icalproperty_get_attendee(p)) == me.toLower())
            return p;
    return nullptr;
}

void setPartstat(icalproperty* attendee, const QString& partstat)
{
    // Every one: a line may carry one twice, and a reader takes the first
    // (libical removes one a call).
    for (const icalparameter_kind kind : {ICAL_PARTSTAT_PARAMETER, ICAL_RSVP_PARAMETER})
        while (icalproperty_get_first_parameter(attendee, kind))
            icalproperty_remove_parameter_by_kind(attendee, kind);
    icalproperty_add_parameter(
        attendee, icalparameter_new_from_value_string(ICAL_PARTSTAT_PARAMETER, partstat.toUtf8().constData()));
}

void removeAll(icalcomponent* c, icalproperty_kind kind)
{
    while (icalproperty* p = icalcomponent_get_first_property(c, kind)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

icaltimetype utcTime(const QDateTime& at)
{
    return icaltime_from_timet_with_zone(at.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
}

QByteArray written(icalcomponent* c)
{
    char* text = icalcomponent_as_ical_string_r(c);
    QByteArray bytes(text);
    free(text);  // NOLINT(cppcoreguidelines-no-malloc): libical's own allocation
    return bytes;
}

QString timeText(const QDateTime& at)
{
    return QLocale().toString(at.time(), QLocale::ShortFormat);
}

QString span(const QDateTime& from, const QDateTime& to)
{
    QString text = QLocale().toString(from.date(), QLocale::LongFormat) + QLatin1String(", ") + timeText(from);
    if (to.isValid() && to > from)
        text += QStringLiteral(" to ")
                + (to.date() == from.date()
                       ? timeText(to)
                       : QLocale().toString(to.date(), QLocale::LongFormat) + QLatin1String(", ") + timeText(to));
    return text;
}

}  // namespace

Invite read(const QByteArray& calendar, const QStringList& own)
{
    Invite out;
    out.calendar = calendar;
    const Component root = parse(calendar);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev) {
        out.reason = QStringLiteral("The calendar part holds no event.");
        return out;
    }
    out.method = textOf(cal, ICAL_METHOD_PROPERTY).toUpper();
    out.uid = textOf(ev, ICAL_UID_PROPERTY);
    out.sequence = icalcomponent_get_first_property(ev, ICAL_SEQUENCE_PROPERTY) ? icalcomponent_get_sequence(ev) : 0;
    out.summary = textOf(ev, ICAL_SUMMARY_PROPERTY);
    out.location = textOf(ev, ICAL_LOCATION_PROPERTY);
    out.description = textOf(ev, ICAL_DESCRIPTION_PROPERTY);
    out.rule = textOf(ev, ICAL_RRULE_PROPERTY);
    out.recurrenceId = occurrenceOf(ev);
    out.start = instantOf(ev, ICAL_DTSTART_PROPERTY, &out.allDay);
    out.finish = instantOf(ev, ICAL_DTEND_PROPERTY);
    if (icalproperty* start = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY))
        out.zone = parameter(start, "TZID");
    if (icalproperty* organizer = icalcomponent_get_first_property(ev, ICAL_ORGANIZER_PROPERTY)) {
        out.organizer = addressOf(icalproperty_get_organizer(organizer));
        out.organizerName = parameter(organizer, "CN");
    }
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ATTENDEE_PROPERTY)) {
        const QString partstat = parameter(p, "PARTSTAT").toUpper();
        out.attendees.append({addressOf(icalproperty_get_attendee(p)), parameter(p, "CN"),
                              partstat.isEmpty() ? QStringLiteral("NEEDS-ACTION") : partstat});
    }

    const auto named = [&](const QString& address) {
        return own.isEmpty() || own.contains(address, Qt::CaseInsensitive);
    };
    bool invited = false;
    for (const Attendee& a : std::as_const(out.attendees))
        invited = invited || named(a.address);
    if (out.uid.isEmpty())
        out.reason = QStringLiteral("The invitation has no UID, so it cannot be matched with the planner.");
    else if (!uidWritable(ev))
        out.reason = QStringLiteral("The invitation's UID is not readable text, so an answer could not be matched.");
    else if (out.method != QLatin1String("REQUEST") && out.method != QLatin1String("CANCEL")
             && out.method != QLatin1String("REPLY"))
        out.reason =
            out.method.isEmpty()
                ? QStringLiteral("The calendar part says no METHOD: it is a file, not an invitation.")
                : QStringLiteral("The calendar part's METHOD %1 is not one this program answers.").arg(out.method);
    else if (!out.start.isValid() && out.method != QLatin1String("CANCEL"))
        out.reason = QStringLiteral("The time of the event cannot be read.");
    else if (out.organizer.isEmpty())
        out.reason = QStringLiteral("The invitation names no organizer to answer.");
    else if (out.method == QLatin1String("REPLY") ? !named(out.organizer) : !invited)
        out.reason = out.method == QLatin1String("REPLY")
                         ? QStringLiteral("The answer is to a meeting someone else organizes.")
                         : QStringLiteral("The invitation is addressed to someone else.");
    return out;
}

Decision decide(const Invite& incoming, const std::optional<Invite>& stored)
{
    Decision d;
    if (incoming.method == QLatin1String("REPLY")) {
        d.effect = Effect::Reply;
        return d;
    }
    if (incoming.method == QLatin1String("CANCEL")) {
        d.effect = stored ? Effect::Cancel : Effect::CancelUnknown;
        return d;
    }
    if (!stored) {
        d.effect = Effect::New;
        return d;
    }
    if (!incoming.recurrenceId.isEmpty() && stored->recurrenceId != incoming.recurrenceId) {
        d.effect = Effect::Occurrence;
        d.changes << QStringLiteral("Only the occurrence of %1 changes: %2.")
                         .arg(occurrenceDay(incoming.recurrenceId), whenText(incoming));
        return d;
    }
    if (incoming.sequence < stored->sequence) {
        d.effect = Effect::Outdated;
        return d;
    }
    d.effect = Effect::Update;
    if (incoming.summary != stored->summary)
        d.changes << QStringLiteral("The title is now \"%1\" (it was \"%2\").").arg(incoming.summary, stored->summary);
    if (incoming.start != stored->start || incoming.finish != stored->finish)
        d.changes << QStringLiteral("The time is now %1 (it was %2).").arg(whenText(incoming), whenText(*stored));
    if (incoming.location != stored->location)
        d.changes << (incoming.location.isEmpty()
                          ? QStringLiteral("No place is given any more (it was %1).").arg(stored->location)
                          : QStringLiteral("The place is now %1 (it was %2).")
                                .arg(incoming.location,
                                     stored->location.isEmpty() ? QStringLiteral("not given") : stored->location));
    return d;
}

QStringList clashes(const Invite& invite, const QList<Occurrences::Entry>& entries, qint64 own)
{
    const QDateTime from = invite.allDay ? invite.start : invite.start.toLocalTime();
    QDateTime to = invite.allDay ? invite.finish : invite.finish.toLocalTime();
    if (!to.isValid() || to <= from)
        to = invite.allDay ? from.addDays(1) : from;
    QStringList out;
    for (const Occurrences::Entry& e : entries) {
        const std::optional<QTime> start = e.continued ? QTime(0, 0) : Clock::parseTime(e.start);
        if (e.row == own || !start)
            continue;
        const QDateTime begins(e.date, *start);
        const std::optional<QTime> finish = Clock::parseTime(e.finish);
        // A slot without a finish, or with one before its start, lasts its half hour.
        constexpr qint64 kSlot = 1800;
        QDateTime ends = finish ? QDateTime(e.date, *finish) : begins.addSecs(kSlot);
        if (ends <= begins)
            ends = begins.addSecs(kSlot);
        const bool overlaps = from == to ? begins <= from && from < ends : begins < to && from < ends;
        if (overlaps)
            out << QStringLiteral("%1 %2").arg(Clock::startText(*start), e.note.section(QLatin1Char('\n'), 0, 0));
    }
    return out;
}

QString whenText(const Invite& invite)
{
    if (invite.allDay) {
        const QDate last = invite.finish.isValid() ? invite.finish.date().addDays(-1) : invite.start.date();
        QString text = QLocale().toString(invite.start.date(), QLocale::LongFormat);
        if (last > invite.start.date())
            text += QStringLiteral(" to ") + QLocale().toString(last, QLocale::LongFormat);
        return text + QStringLiteral(", all day");
    }
    QString text = span(invite.start.toLocalTime(), invite.finish.toLocalTime());
    const QTimeZone theirs(invite.zone.toUtf8());
    if (theirs.isValid() && theirs.offsetFromUtc(invite.start) != invite.start.toLocalTime().offsetFromUtc()) {
        const QDateTime from = invite.start.toTimeZone(theirs), to = invite.finish.toTimeZone(theirs);
        // The day is said again only where it is another one there.
        const bool sameDays = from.date() == invite.start.toLocalTime().date()
                              && (!to.isValid() || to.date() == invite.finish.toLocalTime().date());
        const QString there = sameDays && to.isValid() && to > from
                                  ? QStringLiteral("%1 to %2").arg(timeText(from), timeText(to))
                              : sameDays ? timeText(from)
                                         : span(from, to);
        text += QStringLiteral(" (%1 in %2)").arg(there, invite.zone);
    }
    return text;
}

QString describe(const Invite& invite, const QString& me)
{
    const auto who = [](const QString& name, const QString& address) {
        return name.isEmpty() ? address : QStringLiteral("%1 <%2>").arg(name, address);
    };
    QStringList lines;
    lines << (invite.summary.isEmpty() ? QStringLiteral("(no title)") : invite.summary);
    lines << QStringLiteral("When: ") + whenText(invite);
    if (!invite.location.isEmpty())
        lines << QStringLiteral("Where: ") + invite.location;
    lines << QStringLiteral("Organizer: ") + who(invite.organizerName, invite.organizer);
    QStringList others;
    for (const Attendee& a : invite.attendees)
        if (a.address.compare(me, Qt::CaseInsensitive) != 0 && a.address != invite.organizer)
            others << who(a.name, a.address);
    if (!others.isEmpty())
        lines << QStringLiteral("Also invited: ") + others.join(QLatin1String(", "));
    return lines.join(QLatin1Char('\n'));
}

QString partstatOf(Answer answer)
{
    switch (answer) {
    case Answer::Accepted:
        return QStringLiteral("ACCEPTED");
    case Answer::Tentative:
        return QStringLiteral("TENTATIVE");
    case Answer::Declined:
        break;
    }
    return QStringLiteral("DECLINED");
}

QByteArray reply(const Invite& invite, const QString& me, Answer answer, const QString& comment, const QDateTime& stamp)
{
    const Component root = parse(invite.calendar);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev)
        return {};
    const Component out(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(out.get(), icalproperty_new_prodid(kProductId));
    icalcomponent_add_property(out.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(out.get(), icalproperty_new_method(ICAL_METHOD_REPLY));
    icalcomponent* event = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    icalcomponent_add_component(out.get(), event);
    const auto dayOf = [](const QDateTime& at) {
        icaltimetype t = icaltime_null_date();
        t.year = at.date().year();
        t.month = at.date().month();
        t.day = at.date().day();
        return t;
    };
    icalcomponent_add_property(event, icalproperty_new_uid(invite.uid.toUtf8().constData()));
    icalcomponent_add_property(event, icalproperty_new_sequence(invite.sequence));
    icalcomponent_add_property(event, icalproperty_new_dtstamp(utcTime(stamp)));
    if (invite.start.isValid())
        icalcomponent_add_property(
            event, icalproperty_new_dtstart(invite.allDay ? dayOf(invite.start) : utcTime(invite.start)));
    if (invite.finish.isValid())
        icalcomponent_add_property(
            event, icalproperty_new_dtend(invite.allDay ? dayOf(invite.finish) : utcTime(invite.finish)));
    if (!invite.recurrenceId.isEmpty())
        icalcomponent_add_property(
            event, icalproperty_new_recurrenceid(icaltime_from_string(invite.recurrenceId.toLatin1().constData())));
    if (!invite.summary.isEmpty())
        icalcomponent_add_property(event, icalproperty_new_summary(invite.summary.toUtf8().constData()));
    if (icalproperty* organizer = icalcomponent_get_first_property(ev, ICAL_ORGANIZER_PROPERTY))
        icalcomponent_add_property(event, icalproperty_new_clone(organizer));
    icalproperty* attendee = attendeeOf(ev, me);
    attendee =
        attendee ? icalproperty_new_clone(attendee) : icalproperty_new_attendee(("mailto:" + me.toUtf8()).constData());
    setPartstat(attendee, partstatOf(answer));
    icalcomponent_add_property(event, attendee);
    if (!comment.trimmed().isEmpty())
        icalcomponent_add_property(event, icalproperty_new_comment(comment.trimmed().toUtf8().constData()));
    return written(out.get());
}

QByteArray answered(const Invite& invite, const QString& me, Answer answer)
{
    const Component root = parse(invite.calendar);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev)
        return {};
    while (icalproperty* method = icalcomponent_get_first_property(cal, ICAL_METHOD_PROPERTY)) {
        icalcomponent_remove_property(cal, method);
        icalproperty_free(method);
    }
    if (icalproperty* attendee = attendeeOf(ev, me))
        setPartstat(attendee, partstatOf(answer));
    if (answer == Answer::Tentative) {
        while (icalproperty* status = icalcomponent_get_first_property(ev, ICAL_STATUS_PROPERTY)) {
            icalcomponent_remove_property(ev, status);
            icalproperty_free(status);
        }
        icalcomponent_add_property(ev, icalproperty_new_status(ICAL_STATUS_TENTATIVE));
    }
    return written(cal);
}

QByteArray withoutOccurrence(const QByteArray& series, const QString& recurrenceId)
{
    const Component root = parse(series);
    icalcomponent* cal = nullptr;
    if (!firstEvent(root.get(), &cal))
        return {};
    icalcomponent* master = nullptr;
    QList<icalcomponent*> changed;
    for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        if (!icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY))
            master = master ? master : c;
        else if (occurrenceOf(c) == recurrenceId)
            changed << c;
    }
    if (!master)
        return {};
    for (icalcomponent* c : std::as_const(changed)) {
        icalcomponent_remove_component(cal, c);
        icalcomponent_free(c);
    }
    icalcomponent_add_property(master,
                               icalproperty_new_exdate(icaltime_from_string(recurrenceId.toLatin1().constData())));
    return written(cal);
}

QString replySubject(const Invite& invite, Answer answer)
{
    const char* word = answer == Answer::Accepted ? "Accepted" : answer == Answer::Tentative ? "Tentative" : "Declined";
    return QStringLiteral("%1: %2").arg(QLatin1String(word), invite.summary);
}

QString replyText(const Invite& invite, const QString& me, Answer answer, const QString& comment)
{
    const char* verb = answer == Answer::Accepted    ? "has accepted"
                       : answer == Answer::Tentative ? "has tentatively accepted"
                                                     : "has declined";
    QString text = QStringLiteral("%1 %2 the invitation to \"%3\" on %4.\n")
                       .arg(me, QLatin1String(verb), invite.summary, whenText(invite));
    if (!comment.trimmed().isEmpty())
        text += QLatin1Char('\n') + comment.trimmed() + QLatin1Char('\n');
    return text;
}

QStringList addressesIn(const QString& typed)
{
    // An answer shown in brackets has no "@": it is no address.
    static const QRegularExpression between(QStringLiteral("[\\s,;<>]+"));
    QStringList out;
    for (const QString& word : typed.split(between, Qt::SkipEmptyParts)) {
        const QString address = addressOf(word.toUtf8().constData());
        if (address.contains(QLatin1Char('@')) && !out.contains(address))
            out << address;
    }
    return out;
}

QByteArray invited(const QByteArray& event, const QString& organizer, const QStringList& attendees)
{
    const Component root = parse(event);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev || !uidWritable(ev))
        return {};
    const bool sentBefore = icalcomponent_get_first_property(ev, ICAL_ATTENDEE_PROPERTY) != nullptr;
    removeAll(ev, ICAL_ORGANIZER_PROPERTY);
    icalcomponent_add_property(ev, icalproperty_new_organizer(("mailto:" + organizer.toUtf8()).constData()));
    QList<icalproperty*> gone;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ATTENDEE_PROPERTY))
        if (!attendees.contains(addressOf(icalproperty_get_attendee(p))))
            gone << p;
    for (icalproperty* p : std::as_const(gone)) {
        icalcomponent_remove_property(ev, p);
        icalproperty_free(p);
    }
    for (const QString& address : attendees) {
        if (attendeeOf(ev, address))
            continue;
        icalproperty* p = icalproperty_new_attendee(("mailto:" + address.toUtf8()).constData());
        icalproperty_add_parameter(p, icalparameter_new_partstat(ICAL_PARTSTAT_NEEDSACTION));
        icalproperty_add_parameter(p, icalparameter_new_rsvp(ICAL_RSVP_TRUE));
        icalcomponent_add_property(ev, p);
    }
    const int sequence =
        icalcomponent_get_first_property(ev, ICAL_SEQUENCE_PROPERTY) ? icalcomponent_get_sequence(ev) : 0;
    icalcomponent_set_sequence(ev, sentBefore ? sequence + 1 : sequence);
    return written(cal);
}

QByteArray message(const QByteArray& event, const QString& method, const QDateTime& stamp)
{
    const Component root = parse(event);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev)
        return {};
    const bool cancel = method == QLatin1String("CANCEL");
    removeAll(cal, ICAL_METHOD_PROPERTY);
    icalcomponent_add_property(cal, icalproperty_new_method(cancel ? ICAL_METHOD_CANCEL : ICAL_METHOD_REQUEST));
    if (cancel) {
        // The whole meeting goes: its changed occurrences need not be said.
        while (icalcomponent* other = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
            icalcomponent_remove_component(cal, other);
            icalcomponent_free(other);
        }
        removeAll(ev, ICAL_STATUS_PROPERTY);
        icalcomponent_add_property(ev, icalproperty_new_status(ICAL_STATUS_CANCELLED));
        icalcomponent_set_sequence(ev, icalcomponent_get_sequence(ev) + 1);
    }
    for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        removeAll(c, ICAL_DTSTAMP_PROPERTY);
        icalcomponent_add_property(c, icalproperty_new_dtstamp(utcTime(stamp)));
    }
    return written(cal);
}

QByteArray withReply(const QByteArray& event, const Invite& reply, QString* reason)
{
    const Component root = parse(event);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    if (!ev || textOf(ev, ICAL_UID_PROPERTY) != reply.uid) {
        *reason = QStringLiteral("The answer is to a meeting that is not in your planner.");
        return {};
    }
    // The planner keeps answers to the whole meeting: one for a single
    // occurrence would stand for every other.
    if (!reply.recurrenceId.isEmpty()) {
        *reason = QStringLiteral("The answer is for the meeting of %1 alone; your planner keeps answers to the whole "
                                 "meeting, so it is not kept.")
                      .arg(occurrenceDay(reply.recurrenceId));
        return {};
    }
    const Attendee who = reply.attendees.value(0);
    icalproperty* attendee = who.address.isEmpty() ? nullptr : attendeeOf(ev, who.address);
    if (!attendee) {
        *reason = QStringLiteral("%1 was not invited to this meeting, so the answer changes nothing.")
                      .arg(who.address.isEmpty() ? QStringLiteral("The sender") : who.address);
        return {};
    }
    setPartstat(attendee, who.partstat);
    return written(cal);
}

QString answerWord(const QString& partstat)
{
    if (partstat == QLatin1String("ACCEPTED"))
        return QStringLiteral("accepted");
    if (partstat == QLatin1String("TENTATIVE"))
        return QStringLiteral("tentative");
    if (partstat == QLatin1String("DECLINED"))
        return QStringLiteral("declined");
    return QStringLiteral("not yet");
}

QString answers(const QByteArray& event)
{
    QStringList out;
    for (const Attendee& a : read(event, {}).attendees)
        out << QStringLiteral("%1 (%2)").arg(a.address, answerWord(a.partstat));
    return out.join(QLatin1String(", "));
}

QString attendance(const QByteArray& event)
{
    const Invite in = read(event, {});
    QStringList each;
    for (const Attendee& a : in.attendees)
        each << a.address + u'=' + a.partstat;
    if (each.isEmpty())
        return {};
    each.sort();
    return in.organizer + u';' + each.join(u',');
}

QByteArray withAttendeesOf(const QByteArray& event, const QByteArray& from)
{
    const Component root = parse(event), source = parse(from);
    icalcomponent* cal = nullptr;
    icalcomponent* ev = firstEvent(root.get(), &cal);
    icalcomponent* other = nullptr;
    icalcomponent* theirs = firstEvent(source.get(), &other);
    if (!ev || !theirs)
        return event;
    for (const icalproperty_kind kind : {ICAL_ORGANIZER_PROPERTY, ICAL_ATTENDEE_PROPERTY}) {
        removeAll(ev, kind);
        for (icalproperty* p = icalcomponent_get_first_property(theirs, kind); p;
             p = icalcomponent_get_next_property(theirs, kind))
            icalcomponent_add_property(ev, icalproperty_new_clone(p));
    }
    return written(cal);
}

namespace {
Mailer& mailing()
{
    static Mailer m;
    return m;
}
}  // namespace

void setMailer(Mailer mailer)
{
    mailing() = std::move(mailer);
}

const Mailer& mailer()
{
    return mailing();
}

namespace {
Planner& planned()
{
    static Planner p;
    return p;
}
}  // namespace

void setPlanner(Planner planner)
{
    planned() = std::move(planner);
}

const Planner& planner()
{
    return planned();
}

}  // namespace Invitation
