#include "sync/EventMap.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>
#include <QUtf8StringView>

#include <algorithm>
#include <vector>

#include "kit/Clock.h"
#include "sync/IcalParts.h"
#include "sync/VCard.h"

namespace EventMap {

namespace {

// Exact planner texts that a time alone cannot say ("PM", "--------", a
// typed finish) travel in these, so our own files come back unchanged.
constexpr const char* kStartText = "X-TESSALY-TIMESTART";
constexpr const char* kFinishText = "X-TESSALY-TIMEFINISHED";

// The note holds the summary, the description and the place, read as
// SUMMARY, DESCRIPTION and "Location: " LOCATION a line each (empty ones
// left out), and written back by the same rule: the first line is the
// summary, a last line "Location: ..." the place, the lines between the
// description. Another program's summary may hold several lines: while the
// note still starts with a kept event's summary, that stays the summary,
// so a note read and edited splits as it was read.
constexpr QLatin1String kLocation("Location: ");
struct NoteParts {
    QString summary, description, location;
};
NoteParts partsOf(const QString& note, const QString& keptSummary = {})
{
    NoteParts parts;
    qsizetype end = note.indexOf(u'\n');
    if (!keptSummary.isEmpty() && note.startsWith(keptSummary)
        && (note.size() == keptSummary.size() || note[keptSummary.size()] == u'\n'))
        end = keptSummary.size();
    parts.summary = note.left(end);
    if (end < 0 || end >= note.size())
        return parts;
    QStringList lines = note.mid(end + 1).split(u'\n');
    if (lines.last().startsWith(kLocation))
        parts.location = lines.takeLast().mid(kLocation.size());
    parts.description = lines.join(u'\n');
    return parts;
}

struct Owned {
    icalcomponent* c;
    ~Owned() { icalcomponent_free(c); }
};

// Control characters but tab and line feed cannot be written back (libical
// drops them), so they are not taken in: what comes in goes out the same.
QString withoutControls(QString text)
{
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t' && c != u'\n'; });
    return text;
}

QString xText(icalcomponent* ev, const char* name, bool* present)
{
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_X_PROPERTY))
        if (qstricmp(icalproperty_get_x_name(p), name) == 0) {
            *present = true;
            return withoutControls(QString::fromUtf8(icalproperty_get_x(p)));
        }
    *present = false;
    return {};
}

QString textOf(icalcomponent* ev, icalproperty_kind kind)
{
    icalproperty* p = icalcomponent_get_first_property(ev, kind);
    // The text itself, escapes undone (the "as string" form keeps them).
    const char* text = p ? icalvalue_get_text(icalproperty_get_value(p)) : nullptr;
    return text ? withoutControls(QString::fromUtf8(text)).trimmed() : QString();
}

// A time as the user's clock shows it.
QDateTime localOf(icaltimetype t)
{
    QDateTime wall(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    if (!t.zone)
        return wall;  // floating: the same wall time everywhere
    auto* zone = const_cast<icaltimezone*>(t.zone);
    qint64 at = icaltime_as_timet_with_zone(t, zone);
    const icaltimetype back = icaltime_from_timet_with_zone(at, 0, zone);
    if (back.year != t.year || back.month != t.month || back.day != t.day || back.hour != t.hour
        || back.minute != t.minute || back.second != t.second) {
        // A wall time the zone skips (in the hour a clock is put forward)
        // counts with the offset it had before the change: an event ending
        // at 2:30 in a gap from 2:00 to 3:00 lasts until 3:30, as RFC 5545
        // reads it, rather than ending where it started.
        icaltimetype before = icaltime_from_timet_with_zone(at - qint64{3} * 3600, 0, icaltimezone_get_utc_timezone());
        const int offset = icaltimezone_get_utc_offset_of_utc_time(zone, &before, nullptr);
        at = QDateTime(wall.date(), wall.time(), Qt::UTC).toSecsSinceEpoch() - offset;
    }
    return QDateTime::fromSecsSinceEpoch(at).toLocalTime();
}

// The record an event is: its UID, and for a detached occurrence the UID
// with the occurrence's RECURRENCE-ID.
// Which occurrence of its series a detached one replaces, as its
// RECURRENCE-ID says it (the wall time of its zone, a Z for UTC, or a date).
QString recurrenceIdOf(icalcomponent* ev)
{
    icalproperty* rid = icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY);
    if (!rid)
        return {};
    icaltimetype t = icalproperty_get_recurrenceid(rid);
    if (t.zone && !icaltime_is_utc(t))
        t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
    // A zone the file names but does not describe is looked up here, so
    // the occurrence is found by its instant whatever zone it was written in.
    icalparameter* tzid = icalproperty_get_first_parameter(rid, ICAL_TZID_PARAMETER);
    if (!t.zone && !t.is_date && tzid) {
        const QByteArray id = icalparameter_get_tzid(tzid);
        QTimeZone zone(id);
        if (!zone.isValid())
            zone = QTimeZone(QTimeZone::windowsIdToDefaultIanaId(id));
        if (zone.isValid())
            return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), zone)
                .toUTC()
                .toString(u"yyyyMMdd'T'HHmmss'Z'");
    }
    return QString::fromLatin1(icaltime_as_ical_string(t));
}

QString keyOf(icalcomponent* ev)
{
    QString uid = textOf(ev, ICAL_UID_PROPERTY);
    const QString rid = recurrenceIdOf(ev);
    if (rid.isEmpty() || uid.isEmpty())
        return uid;
    return occurrenceUid(uid, rid);
}

}  // namespace

// libical adds a property only at the end: the replacement goes there and
// every property that came after the old one follows it again, so the
// event's properties stay in the order they were read.
void replaceInPlace(icalcomponent* ev, icalproperty* old, icalproperty* replacement)
{
    std::vector<icalproperty*> after;
    bool past = false;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY)) {
        if (past)
            after.push_back(p);
        past = past || p == old;
    }
    icalcomponent_remove_property(ev, old);
    icalproperty_free(old);
    icalcomponent_add_property(ev, replacement);
    for (icalproperty* p : after) {
        icalcomponent_remove_property(ev, p);
        icalcomponent_add_property(ev, p);
    }
}

namespace {

// libical cannot hold a repeat rule it does not read: it puts an error in
// its place. The rule goes back in, word for word, as a property of its own
// that is written out as it came; the event then counts as one with no
// repeats. Returns how many it put back.
constexpr QLatin1String kRuleDropped("in RRULE property. Removing entire property: ");

int restoreRules(icalcomponent* ev)
{
    // Gathered first: replacing moves the component's own walk through its properties.
    std::vector<std::pair<icalproperty*, QByteArray>> rules;  // what stands in a rule's place, and the rule
    int restored = 0;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY)) {
        if (icalproperty_isa(p) == ICAL_X_PROPERTY && qstricmp(icalproperty_get_x_name(p), "RRULE") == 0) {
            // A copy of the component writes such a rule's semicolons escaped: it is made afresh.
            rules.emplace_back(p, QByteArray(icalproperty_get_x(p)));
        } else if (icalproperty_isa(p) == ICAL_XLICERROR_PROPERTY) {
            const QString error = QString::fromUtf8(icalproperty_get_xlicerror(p));
            if (const qsizetype at = error.indexOf(kRuleDropped); at >= 0) {
                rules.emplace_back(p, error.mid(at + kRuleDropped.size()).toUtf8());
                ++restored;
            }
        }
    }
    for (const auto& [old, text] : rules) {
        icalproperty* rule = icalproperty_new_x(text.constData());
        icalproperty_set_x_name(rule, "RRULE");
        replaceInPlace(ev, old, rule);
    }
    return restored;
}

Imported fromEvent(icalcomponent* ev)
{
    Imported in;
    Appointment& a = in.appointment;
    const icaltimetype start = icalcomponent_get_dtstart(ev);
    const QDateTime from = localOf(start);
    a[DateValue] = Clock::dateText(from.date());
    bool hasStartText = false, hasFinishText = false;
    const QString startX = xText(ev, kStartText, &hasStartText);
    const QString finishX = xText(ev, kFinishText, &hasFinishText);
    if (icaltime_is_date(start)) {
        a[TimeStart] = hasStartText && !parseTime(startX) ? startX : QString();
    } else {
        a[TimeStart] = hasStartText && parseTime(startX) == from.time() ? startX : startText(from.time());
        in.changed = from.time().second() != 0;
    }
    // libical makes up an end from the start when there is none; only a real one counts.
    const bool hasEnd = icalcomponent_get_first_property(ev, ICAL_DTEND_PROPERTY)
                        || icalcomponent_get_first_property(ev, ICAL_DURATION_PROPERTY);
    const icaltimetype end = hasEnd ? icalcomponent_get_dtend(ev) : icaltime_null_time();
    if (!icaltime_is_null_time(end) && !icaltime_is_date(end)) {
        const QDateTime to = localOf(end);
        a[TimeFinished] = hasFinishText && parseTime(finishX) == to.time() ? finishX : finishText(to.time());
        // The planner has no finish date, nor seconds.
        // The planner has no finish date: the days it covers are kept beside the row.
        in.changed = in.changed || to.time().second() != 0;
    } else if (hasFinishText) {
        a[TimeFinished] = finishX;
    }

    QStringList note{textOf(ev, ICAL_SUMMARY_PROPERTY)};
    if (const QString d = textOf(ev, ICAL_DESCRIPTION_PROPERTY); !d.isEmpty())
        note << d;
    if (const QString l = textOf(ev, ICAL_LOCATION_PROPERTY); !l.isEmpty())
        note << QString(kLocation) + l;
    a[Note] = note.join(u'\n').trimmed();
    in.changed = in.changed || note.size() > 1;

    in.uid = keyOf(ev);
    if (in.uid.isEmpty()) {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const QString& f : a)
            hash.addData(f.toUtf8() + '\x1f');
        in.uid = QStringLiteral("tessaly-content-") + QString::fromLatin1(hash.result().toHex());
    }
    return in;
}

// The zones an event's times name.
QStringList zonesOf(icalcomponent* ev)
{
    QStringList zones;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY))
        if (icalparameter* z = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
            if (const QString id = QString::fromUtf8(icalparameter_get_tzid(z)); !zones.contains(id))
                zones << id;
    return zones;
}

}  // namespace

// One VCALENDAR of the event and the VTIMEZONEs of `cal` it names.
QByteArray keptObject(icalcomponent* cal, icalcomponent* ev)
{
    Owned kept{icalcomponent_new(ICAL_VCALENDAR_COMPONENT)};
    icalcomponent_add_property(kept.c, icalproperty_new_version("2.0"));
    const QStringList zones = zonesOf(ev);
    // An iterator of its own: the caller is walking the calendar's events with the calendar's.
    for (icalcompiter it = icalcomponent_begin_component(cal, ICAL_VTIMEZONE_COMPONENT);
         icalcomponent* z = icalcompiter_deref(&it); icalcompiter_next(&it))
        if (icalproperty* id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
            id && zones.contains(QString::fromUtf8(icalproperty_get_tzid(id))))
            icalcomponent_add_component(kept.c, icalcomponent_new_clone(z));
    icalcomponent* copy = icalcomponent_new_clone(ev);
    restoreRules(copy);
    icalcomponent_add_component(kept.c, copy);
    char* text = icalcomponent_as_ical_string_r(kept.c);
    QByteArray bytes(text);
    free(text);
    // An event whose text the import had to clean (bytes that are no UTF-8,
    // control characters) is not sent out again as it came: it goes as the
    // record's fields say, as one made here.
    const bool clean = QUtf8StringView(bytes).isValidUtf8() && std::none_of(bytes.begin(), bytes.end(), [](char c) {
                           return uchar(c) < 0x20 && c != '\r' && c != '\n' && c != '\t';
                       });
    return clean ? bytes : QByteArray();
}

namespace {

void readCalendar(icalcomponent* cal, ReadResult& result)
{
    for (icalcomponent* todo = icalcomponent_get_first_component(cal, ICAL_VTODO_COMPONENT); todo;
         todo = icalcomponent_get_next_component(cal, ICAL_VTODO_COMPONENT)) {
        result.tasks << TaskMap::fromTodo(cal, todo);
        result.tasksUndated += result.tasks.last().dueUnreadable ? 1 : 0;
    }
    result.journals += icalcomponent_count_components(cal, ICAL_VJOURNAL_COMPONENT);
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        // libical marks what it could not read with X-LIC-ERROR; such an
        // event is left out whole, but for a repeat rule: that one keeps its
        // first occurrence.
        result.unreadableRules += restoreRules(ev) > 0 ? 1 : 0;
        if (icalcomponent_count_errors(ev) > 0 || icaltime_is_null_time(icalcomponent_get_dtstart(ev))) {
            ++result.malformed;
            continue;
        }
        // The planner keeps the date as the user's short date: a year it
        // would read back as another one (4052 as 2052) is left out too.
        // (The event's own date and ours differ by a day at most: its zone.)
        Imported in = fromEvent(ev);
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        const std::optional<QDate> kept = parseDate(in.appointment[DateValue]);
        if (!kept || std::abs(kept->daysTo(QDate(start.year, start.month, start.day))) > 1) {
            ++result.malformed;
            ++result.outOfReach;
            continue;
        }
        in.object = keptObject(cal, ev);
        if (icalproperty* rule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY)) {
            Occurrences::Series s;
            s.start = QString::fromLatin1(icaltime_as_ical_string(start));
            icalrecurrencetype r = icalproperty_get_rrule(rule);
            char* text = icalrecurrencetype_as_string_r(&r);
            s.rule = QString::fromUtf8(text);
            free(text);
            result.rulesBeyondBudget += Occurrences::withinBudget(s) ? 0 : 1;
        }
        result.events << in;
    }
}

// From the fields, never through time_t, whose conversions in libical give a
// null time (written as 00000000T000000) for years it cannot reach.
icaltimetype icalOf(const QDateTime& local, icaltimezone* zone)
{
    const QDateTime at = zone == icaltimezone_get_utc_timezone() ? local.toUTC() : local;
    icaltimetype t = icaltime_null_time();
    t.year = at.date().year();
    t.month = at.date().month();
    t.day = at.date().day();
    t.hour = at.time().hour();
    t.minute = at.time().minute();
    t.second = at.time().second();
    t.zone = zone;  // null: floating
    return t;
}

// The zone our times are written in: the system's own by its name, UTC when
// the system runs on UTC, floating local time when libical does not know it.
icaltimezone* localZone()
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    if (id.isEmpty() || id == "UTC" || id == "Etc/UTC" || id == "Universal" || id == "Etc/Universal")
        return icaltimezone_get_utc_timezone();
    return icaltimezone_get_builtin_timezone(id.constData());
}

void removeAll(icalcomponent* ev, icalproperty_kind kind)
{
    while (icalproperty* p = icalcomponent_get_first_property(ev, kind)) {
        icalcomponent_remove_property(ev, p);
        icalproperty_free(p);
    }
}

void removeX(icalcomponent* ev, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_X_PROPERTY); p;) {
        icalproperty* next = icalcomponent_get_next_property(ev, ICAL_X_PROPERTY);
        if (qstricmp(icalproperty_get_x_name(p), name) == 0) {
            icalcomponent_remove_property(ev, p);
            icalproperty_free(p);
        }
        p = next;
    }
}

// The event's one property of `kind` says `text`; none when it is empty
// (libical reads an empty text back as an error).
void setText(icalcomponent* ev, icalproperty_kind kind, const QString& text)
{
    removeAll(ev, kind);
    if (text.isEmpty())
        return;
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, icalvalue_new_text(text.toUtf8().constData()));
    icalcomponent_add_property(ev, p);
}

// The zone a kept event's start was written in, as `cal` holds it: UTC,
// or its TZID's (null: floating, or a zone nobody described).
icaltimezone* ownZone(icalcomponent* ev, icalcomponent* cal)
{
    icalproperty* start = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    icalparameter* tzid = start ? icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER) : nullptr;
    if (tzid)
        return icalcomponent_get_timezone(cal, icalparameter_get_tzid(tzid));
    return start && icaltime_is_utc(icalproperty_get_dtstart(start)) ? icaltimezone_get_utc_timezone() : nullptr;
}

// DTSTART, DTEND and the planner's own texts of an appointment on `date`,
// in `zone`, or in the event's own zone when it has one (`own`): the
// planner's times are the local ones.
void setTimes(icalcomponent* ev, const Appointment& a, QDate date, icaltimezone* zone, icaltimezone* own = nullptr)
{
    const auto at = [&](QTime time) {
        const QDateTime local(date, time);
        return own ? icaltime_convert_to_zone(icalOf(local, icaltimezone_get_utc_timezone()), own)
                   : icalOf(local, zone);
    };
    const std::optional<QTime> start = parseTime(a[TimeStart]);
    const std::optional<QTime> finish = parseTime(a[TimeFinished]);
    if (start) {
        icalcomponent_set_dtstart(ev, at(*start));
        if (finish && *finish > *start)
            icalcomponent_set_dtend(ev, at(*finish));
    } else {
        icalcomponent_set_dtstart(ev, icaltime_from_day_of_year(date.dayOfYear(), date.year()));
    }
    const auto keep = [ev](const char* name, const QString& text) {
        icalproperty* p = icalproperty_new_x(text.toUtf8().constData());
        icalproperty_set_x_name(p, name);
        icalcomponent_add_property(ev, p);
    };
    if (!a[TimeStart].isEmpty() && (!start || startText(*start) != a[TimeStart]))
        keep(kStartText, a[TimeStart]);
    const bool finishWritten = start && finish && *finish > *start;
    if (!a[TimeFinished].isEmpty() && (!finishWritten || finishText(*finish) != a[TimeFinished]))
        keep(kFinishText, a[TimeFinished]);
}

}  // namespace

QString occurrenceUid(const QString& uid, const QString& recurrenceId)
{
    return uid + u'#' + recurrenceId;
}

namespace {

// Web calendars write "LOCATION:" and the like with nothing after it on
// every event; libical takes an empty text for an error that would cost the
// whole event. Such a line says nothing, so it is left out before parsing.
QByteArray withoutEmptyTexts(const QByteArray& bytes)
{
    static const QRegularExpression empty(QStringLiteral("^(SUMMARY|LOCATION|DESCRIPTION|COMMENT)(;[^:]*)?:\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    QByteArray out;
    out.reserve(bytes.size());
    for (const VCard::Line& line : VCard::unfold(bytes))
        if (!empty.match(QString::fromUtf8(line.text)).hasMatch())
            out += QByteArrayView(bytes).sliced(line.begin, line.end - line.begin);
    return out;
}

// libical works a zone's changes out from the first of each of its
// observances on, every one of them, whenever a time in it is converted:
// a rule by the second, or one from the year 1, never ends or takes
// seconds. Such an observance changes more than monthly or more than
// kMostChanges times up to 2100.
constexpr qint64 kMostChanges = 2000;

int sizeOf(const short* by, int most)
{
    int n = 0;
    while (n < most && by[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

bool soundObservance(icalcomponent* o)
{
    icalproperty* start = icalcomponent_get_first_property(o, ICAL_DTSTART_PROPERTY);
    const int from = start ? icalproperty_get_dtstart(start).year : 0;
    for (icalproperty* p = icalcomponent_get_first_property(o, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(o, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype r = icalproperty_get_rrule(p);
        if (r.freq != ICAL_YEARLY_RECURRENCE && r.freq != ICAL_MONTHLY_RECURRENCE)
            return false;
        const qint64 aYear =
            qint64{r.freq == ICAL_MONTHLY_RECURRENCE ? 12 : std::max(1, sizeOf(r.by_month, ICAL_BY_MONTH_SIZE))}
            * std::max(1, sizeOf(r.by_day, ICAL_BY_DAY_SIZE) + sizeOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE)
                              + sizeOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE) + sizeOf(r.by_week_no, ICAL_BY_WEEKNO_SIZE))
            * std::max(1, sizeOf(r.by_hour, ICAL_BY_HOUR_SIZE)) * std::max(1, sizeOf(r.by_minute, ICAL_BY_MINUTE_SIZE))
            * std::max(1, sizeOf(r.by_second, ICAL_BY_SECOND_SIZE));
        const int to = icaltime_is_null_time(r.until) ? 2100 : std::min(2100, r.until.year);
        if (aYear > 12 || aYear * std::max(1, to - from) > kMostChanges)
            return false;
    }
    return true;
}

// Each zone of `cal` whose observances are not all sound: the system's zone
// of its name (or of the zone a Windows name stands for) takes its place
// under the same TZID; without one its repeats are left out, so it keeps
// the offsets its observances start with.
void repairZones(icalcomponent* cal, ReadResult* said)
{
    std::vector<icalcomponent*> unsound;
    for (icalcompiter it = icalcomponent_begin_component(cal, ICAL_VTIMEZONE_COMPONENT);
         icalcomponent* z = icalcompiter_deref(&it); icalcompiter_next(&it))
        for (icalcomponent* o = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); o;
             o = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT))
            if (!soundObservance(o)) {
                unsound.push_back(z);
                break;
            }
    for (icalcomponent* z : unsound) {
        icalproperty* id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
        const QByteArray tzid = id ? QByteArray(icalproperty_get_tzid(id)) : QByteArray();
        icaltimezone* system = tzid.isEmpty() ? nullptr : icaltimezone_get_builtin_timezone(tzid.constData());
        if (!system && !tzid.isEmpty())
            system = icaltimezone_get_builtin_timezone(QTimeZone::windowsIdToDefaultIanaId(tzid).constData());
        if (icalcomponent* own = system ? icaltimezone_get_component(system) : nullptr) {
            icalcomponent* replacement = icalcomponent_new_clone(own);
            if (icalproperty* name = icalcomponent_get_first_property(replacement, ICAL_TZID_PROPERTY))
                icalproperty_set_tzid(name, tzid.constData());
            icalcomponent_remove_component(cal, z);
            icalcomponent_free(z);
            icalcomponent_add_component(cal, replacement);
            said->zonesReplaced += 1;
            continue;
        }
        for (icalcomponent* o = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); o;
             o = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT))
            removeAll(o, ICAL_RRULE_PROPERTY);
        said->zonesFixed += 1;
    }
}

}  // namespace

// What libical makes of a file's or a server's text, read the way the
// other programs that write it read it. A bare CR ends a line, as it does
// for them: libical would keep it inside a value and drop it when writing,
// so a UID or a note would change between export and import. (The copy
// also ends in the NUL libical reads up to.)
icalcomponent* parsed(const QByteArray& bytes, ReadResult* said)
{
    const QByteArray cleaned = withoutEmptyTexts(bytes);
    QByteArray text;
    text.reserve(cleaned.size());
    for (qsizetype i = 0; i < cleaned.size(); ++i) {
        text += cleaned[i];
        if (cleaned[i] == '\r' && (i + 1 == cleaned.size() || cleaned[i + 1] != '\n'))
            text += '\n';
    }
    icalcomponent* root = icalparser_parse_string(text.constData());
    ReadResult ignored;
    if (root && icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT)
        repairZones(root, said ? said : &ignored);
    for (icalcomponent* cal = root && icalcomponent_isa(root) == ICAL_XROOT_COMPONENT
                                  ? icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT)
                                  : nullptr;
         cal; cal = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
        repairZones(cal, said ? said : &ignored);
    return root;
}

namespace {

// How a read event repeats: its times, rule and lists as it writes them.
Occurrences::Series seriesIn(icalcomponent* ev)
{
    icalproperty* dtstart = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    Occurrences::Series s;
    if (!dtstart)
        return s;
    if (icalparameter* tzid = icalproperty_get_first_parameter(dtstart, ICAL_TZID_PARAMETER))
        s.zone = QString::fromUtf8(icalparameter_get_tzid(tzid));
    const icaltimetype start = icalcomponent_get_dtstart(ev);
    s.start = QString::fromLatin1(icaltime_as_ical_string(start));
    const bool ends = icalcomponent_get_first_property(ev, ICAL_DTEND_PROPERTY)
                      || icalcomponent_get_first_property(ev, ICAL_DURATION_PROPERTY);
    icaltimetype end = ends ? icalcomponent_get_dtend(ev) : icaltime_null_time();
    if (!icaltime_is_null_time(end)) {
        if (end.zone && start.zone && end.zone != start.zone)
            end = icaltime_convert_to_zone(end, const_cast<icaltimezone*>(start.zone));
        s.finish = QString::fromLatin1(icaltime_as_ical_string(end));
    }
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY)) {
        switch (icalproperty_isa(p)) {
        case ICAL_RRULE_PROPERTY: {
            const icalrecurrencetype r = icalproperty_get_rrule(p);
            char* text = icalrecurrencetype_as_string_r(const_cast<icalrecurrencetype*>(&r));
            s.rule = QString::fromUtf8(text);
            free(text);
            break;
        }
        case ICAL_X_PROPERTY:
            if (qstricmp(icalproperty_get_x_name(p), "RRULE") == 0)
                s.rule = QString::fromUtf8(icalproperty_get_x(p));
            break;
        case ICAL_RDATE_PROPERTY:
            s.rdates << QString::fromLatin1(icaltime_as_ical_string(icalproperty_get_rdate(p).time));
            break;
        case ICAL_EXDATE_PROPERTY:
            s.exdates << QString::fromLatin1(icaltime_as_ical_string(icalproperty_get_exdate(p)));
            break;
        default:
            break;
        }
    }
    s.recurrenceId = recurrenceIdOf(ev);
    return s;
}

}  // namespace

std::optional<Occurrences::Series> seriesOf(const QByteArray& object, const QString& uid)
{
    Owned kept{parsed(object)};
    icalcomponent* ev = nullptr;
    for (icalcomponent* e = kept.c ? icalcomponent_get_first_component(kept.c, ICAL_VEVENT_COMPONENT) : nullptr; e;
         e = icalcomponent_get_next_component(kept.c, ICAL_VEVENT_COMPONENT))
        if (!ev || keyOf(e) == uid)
            ev = e;
    if (!ev || !icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY))
        return std::nullopt;
    restoreRules(ev);
    const Occurrences::Series s = seriesIn(ev);
    const bool severalDays =
        !s.finish.isEmpty() && s.finish.left(8) > s.start.left(8)
        && (s.finish.size() > 8
            || QDate::fromString(s.start, u"yyyyMMdd").addDays(1) != QDate::fromString(s.finish, u"yyyyMMdd"));
    if (s.rule.isEmpty() && s.rdates.isEmpty() && s.recurrenceId.isEmpty() && !severalDays)
        return std::nullopt;
    return s;
}

namespace {

// A time of a series' texts in `zone`, the zone its event is written in.
icaltimetype icalOf(const QString& text, const QString& seriesZone, icaltimezone* zone)
{
    icaltimetype t = icaltime_from_string(text.toLatin1().constData());
    if (t.is_date || icaltime_is_null_time(t))
        return t;
    QTimeZone from = icaltime_is_utc(t) ? QTimeZone::utc() : QTimeZone(seriesZone.toUtf8());
    if (!from.isValid())
        from = QTimeZone::systemTimeZone();
    const QDateTime at(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), from);
    return zone ? icaltime_convert_to_zone(icalOf(at, icaltimezone_get_utc_timezone()), zone)
                : icalOf(at.toLocalTime(), nullptr);
}

// A time's property says the zone it is in, or that it is a date.
icalproperty* withZoneOf(icalproperty* p, icaltimetype t)
{
    if (t.zone && !icaltime_is_utc(t))
        icalproperty_add_parameter(p, icalparameter_new_tzid(icaltimezone_get_tzid(const_cast<icaltimezone*>(t.zone))));
    if (t.is_date)
        icalproperty_add_parameter(p, icalparameter_new_value(ICAL_VALUE_DATE));
    return p;
}

// A rule made here as it goes into `ev`. Its end date is stored as the
// end of that day on the series' own clock (floating, as the series is);
// beside a start in a zone or in UTC it goes as that moment in UTC (RFC
// 5545 allows no other, and readers refuse a floating one there), beside
// a whole day as the date.
icalrecurrencetype ruleFor(icalcomponent* ev, const QString& rule, const QString& seriesZone)
{
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.toUtf8().constData());
    icalproperty* dtstart = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    if (!dtstart || icaltime_is_null_time(r.until) || r.until.is_date || r.until.zone)
        return r;
    const icaltimetype start = icalproperty_get_dtstart(dtstart);
    if (start.is_date) {
        r.until.is_date = 1;
        r.until.hour = r.until.minute = r.until.second = 0;
    } else if (icaltime_is_utc(start) || icalproperty_get_first_parameter(dtstart, ICAL_TZID_PARAMETER)) {
        r.until =
            icalOf(QString::fromLatin1(icaltime_as_ical_string(r.until)), seriesZone, icaltimezone_get_utc_timezone());
    }
    return r;
}

// The rule and the added and left-out dates of a series changed here go
// into its event; what the event had and nobody changed (a rule libical
// cannot read among them) stays as it came.
void setRepeats(icalcomponent* ev, const Occurrences::Series& now, const Occurrences::Series& was, icaltimezone* zone)
{
    if (now.rule != was.rule && Occurrences::ruleReads(now.rule)) {
        removeAll(ev, ICAL_RRULE_PROPERTY);
        removeX(ev, "RRULE");
        if (!now.rule.isEmpty())
            icalcomponent_add_property(ev, icalproperty_new_rrule(ruleFor(ev, now.rule, now.zone)));
    }
    const auto dates = [&](const QStringList& texts, const QStringList& before, icalproperty_kind kind) {
        if (texts == before)
            return;
        removeAll(ev, kind);
        for (const QString& text : texts) {
            const icaltimetype t = icalOf(text, now.zone, zone);
            icalproperty* p = nullptr;
            if (kind == ICAL_EXDATE_PROPERTY) {
                p = icalproperty_new_exdate(t);
            } else {
                icaldatetimeperiodtype dp{};
                dp.time = t;
                dp.period = icalperiodtype_null_period();
                p = icalproperty_new_rdate(dp);
            }
            icalcomponent_add_property(ev, withZoneOf(p, t));
        }
    };
    dates(now.exdates, was.exdates, ICAL_EXDATE_PROPERTY);
    dates(now.rdates, was.rdates, ICAL_RDATE_PROPERTY);
}

}  // namespace

ReadResult read(const QByteArray& bytes)
{
    ReadResult result;
    icalcomponent* root = parsed(bytes, &result);
    if (!root)
        return result;
    Owned owned{root};
    switch (icalcomponent_isa(root)) {
    case ICAL_VCALENDAR_COMPONENT:
        result.isCalendar = true;
        readCalendar(root, result);
        break;
    case ICAL_XROOT_COMPONENT:
        for (icalcomponent* cal = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); cal;
             cal = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT)) {
            result.isCalendar = true;
            readCalendar(cal, result);
        }
        break;
    default:
        break;
    }
    return result;
}

namespace {

// The occurrence of a series that an event made here replaces: the
// series' UID, and its start in the zone the series' event starts in.
struct Replacing {
    QString uid;
    icaltimetype id;
    icaltimezone* zone;  // the series' event's own (null: floating or UTC)
};

struct Writing {
    icalcomponent* cal;
    icaltimezone* zone;  // ours
    QStringList& zonesAdded;
    icaltimetype stamp;
    WriteResult& result;
};

struct Written {
    icalcomponent* ev = nullptr;   // in the calendar; null: left out
    QList<icalcomponent*> others;  // the kept resource's other events, not yet added
};

// One appointment's event into the calendar.
Written writeOne(Writing& w, const Outgoing& out, const Replacing* of)
{
    icalcomponent* cal = w.cal;
    icaltimezone* zone = w.zone;
    QStringList& zonesAdded = w.zonesAdded;
    const icaltimetype stamp = w.stamp;
    const Appointment& a = out.appointment;
    const std::optional<QDate> date = parseDate(a[DateValue]);
    const auto changed = [&](Field f) { return out.base.value(f) != a[f]; };
    // The kept event, when there is one that still reads: the record's
    // own of the kept events (a server's resource holds a series with
    // its detached occurrences), or the one a file gave it.
    icalcomponent* ev = nullptr;
    QList<icalcomponent*> others;  // the resource's other events, which go back as they came
    icaltimezone* own = nullptr;
    if (!out.kept.isEmpty()) {
        Owned kept{parsed(out.kept)};
        icalcomponent* read = nullptr;
        for (icalcomponent* e = kept.c ? icalcomponent_get_first_component(kept.c, ICAL_VEVENT_COMPONENT) : nullptr; e;
             e = icalcomponent_get_next_component(kept.c, ICAL_VEVENT_COMPONENT)) {
            if (!read && keyOf(e) == out.uid)
                read = e;
            else
                others << e;
        }
        if (!read && !others.isEmpty())
            read = others.takeFirst();
        for (icalcomponent* e : QList{read} + others)
            if (e)
                restoreRules(e);
        if (read && out.base.size() == FieldCount && icalcomponent_count_errors(kept.c) == 0) {
            for (icalcomponent* z = icalcomponent_get_first_component(kept.c, ICAL_VTIMEZONE_COMPONENT); z;
                 z = icalcomponent_get_next_component(kept.c, ICAL_VTIMEZONE_COMPONENT)) {
                icalproperty* id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
                const QString name = id ? QString::fromUtf8(icalproperty_get_tzid(id)) : QString();
                if (!zonesAdded.contains(name)) {
                    zonesAdded << name;
                    icalcomponent_add_component(cal, icalcomponent_new_clone(z));
                }
            }
            ev = icalcomponent_new_clone(read);
            restoreRules(ev);
            // One read without a UID goes out with the record's (a server
            // refuses it without), so it is found again when read back.
            if (!icalcomponent_get_first_property(ev, ICAL_UID_PROPERTY))
                icalcomponent_add_property(ev, icalproperty_new_uid((of ? of->uid : out.uid).toUtf8().constData()));
            own = ownZone(read, cal);
            for (icalcomponent*& other : others) {
                other = icalcomponent_new_clone(other);
                restoreRules(other);
            }
        } else {
            others.clear();
            ++w.result.damaged;
        }
    }
    const bool timesChanged = !ev || changed(DateValue) || changed(TimeStart) || changed(TimeFinished);
    // libical writes no year past 3000 (an imported one may be): left
    // out and counted, never written as the null time 00000000T000000.
    if (timesChanged && (!date || date->year() < 1 || date->year() > 3000)) {
        for (icalcomponent* c : QList{ev} + others)
            if (c)
                icalcomponent_free(c);
        ++w.result.unreadableDates;
        return {};
    }
    if (ev) {
        if (timesChanged) {
            for (const icalproperty_kind kind : {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY})
                removeAll(ev, kind);
            for (const char* name : {kStartText, kFinishText})
                removeX(ev, name);
        }
        // Of the note's parts, the ones changed here replace their properties;
        // a note left as it was read leaves them all as they came.
        const NoteParts then{textOf(ev, ICAL_SUMMARY_PROPERTY), textOf(ev, ICAL_DESCRIPTION_PROPERTY),
                             textOf(ev, ICAL_LOCATION_PROPERTY)};
        const NoteParts now = changed(Note) ? partsOf(a[Note], then.summary) : then;
        const struct {
            icalproperty_kind kind;
            const QString &was, &is;
        } parts[] = {{ICAL_SUMMARY_PROPERTY, then.summary, now.summary},
                     {ICAL_DESCRIPTION_PROPERTY, then.description, now.description},
                     {ICAL_LOCATION_PROPERTY, then.location, now.location}};
        for (const auto& [kind, was, is] : parts)
            if (was != is)
                setText(ev, kind, is);
        if (timesChanged)
            setTimes(ev, a, *date, zone, own);
        if (out.series)
            setRepeats(ev, *out.series, seriesIn(ev), own);
        icalcomponent_add_component(cal, ev);
        return {ev, others};
    }
    ev = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    // A UID is the record's own, whatever it looks like: only a row stored
    // as the replacement of one occurrence (its series row says which) goes
    // out as that occurrence of its series' UID.
    const QString rid = out.series ? out.series->recurrenceId : QString();
    const bool occurrence = !of && !rid.isEmpty() && out.uid.endsWith(u'#' + rid) && out.uid.size() > rid.size() + 1;
    const QString uid = of ? of->uid : occurrence ? out.uid.chopped(rid.size() + 1) : out.uid;
    icalcomponent_add_property(ev, icalproperty_new_uid(uid.toUtf8().constData()));
    if (of) {
        icalcomponent_add_property(ev, withZoneOf(icalproperty_new_recurrenceid(of->id), of->id));
    } else if (occurrence) {
        const icaltimetype id = icaltime_from_string(rid.toLatin1().constData());
        icalcomponent_add_property(ev, withZoneOf(icalproperty_new_recurrenceid(id), id));
    }
    icalcomponent_add_property(ev, icalproperty_new_dtstamp(stamp));
    setTimes(ev, a, *date, zone, of ? of->zone : nullptr);
    if (out.series)
        setRepeats(ev, *out.series, {}, zone);
    // Each part of the note its own property, by the rule it is read back
    // with (libical reads an empty text back as an error: none is written).
    const NoteParts parts = partsOf(a[Note]);
    for (const auto& [kind, text] : {std::pair{ICAL_SUMMARY_PROPERTY, parts.summary},
                                     {ICAL_DESCRIPTION_PROPERTY, parts.description},
                                     {ICAL_LOCATION_PROPERTY, parts.location}})
        setText(ev, kind, text);
    icalcomponent_add_component(cal, ev);
    return {ev, {}};
}

}  // namespace

WriteResult write(const QList<Outgoing>& appointments, const QList<TaskMap::Outgoing>& tasks)
{
    WriteResult result;
    icaltimezone* zone = localZone();
    QStringList zonesAdded;
    Owned cal{icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
                                  icalproperty_new_prodid("-//Tessaly//Tessaly 2002//EN"), nullptr)};
    // Tasks are written on the local clock, without a zone: only appointments need it.
    if (zone && zone != icaltimezone_get_utc_timezone() && !appointments.isEmpty()) {
        // The zone's rules from the first appointment on, not its whole history.
        QDate first;
        for (const Outgoing& out : appointments)
            if (const std::optional<QDate> d = parseDate(out.appointment[DateValue]);
                d && (!first.isValid() || *d < first))
                first = *d;
        icalcomponent* vtz = icalcomponent_new_clone(icaltimezone_get_component(zone));
        if (first.isValid())
            icaltimezone_truncate_vtimezone(
                vtz, icalOf(first.addDays(-1).startOfDay(Qt::UTC), icaltimezone_get_utc_timezone()),
                icaltime_null_time(), 0);
        icalcomponent_add_component(cal.c, vtz);
        zonesAdded << QString::fromUtf8(icaltimezone_get_tzid(zone));
    }
    const icaltimetype stamp =
        icaltime_from_timet_with_zone(Clock::now().toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    Writing w{cal.c, zone, zonesAdded, stamp, result};
    for (const Outgoing& out : appointments) {
        const Written series = writeOne(w, out, nullptr);
        if (!series.ev)
            continue;
        // Its changed occurrences follow it; one the resource held already
        // is replaced by ours.
        QStringList replaced;
        const QString uid = textOf(series.ev, ICAL_UID_PROPERTY);
        icaltimezone* own = ownZone(series.ev, cal.c);
        for (const Outgoing& o : out.overrides) {
            if (!o.series)
                continue;
            const Replacing of{uid, icalOf(o.series->recurrenceId, out.series ? out.series->zone : QString(), own),
                               own};
            if (icaltime_is_null_time(of.id))
                continue;
            if (const Written one = writeOne(w, o, &of); one.ev) {
                replaced << recurrenceIdOf(one.ev);
                if (o.kept.isEmpty())
                    result.occurrenceUids.emplaceBack(o.key, occurrenceUid(uid, replaced.last()));
            }
        }
        for (icalcomponent* other : series.others) {
            if (replaced.contains(recurrenceIdOf(other)))
                icalcomponent_free(other);
            else
                icalcomponent_add_component(cal.c, other);
        }
    }
    result.damaged += TaskMap::addTo(cal.c, tasks, zonesAdded, stamp);
    char* text = icalcomponent_as_ical_string_r(cal.c);
    result.bytes = QByteArray(text);
    free(text);
    return result;
}

}  // namespace EventMap
