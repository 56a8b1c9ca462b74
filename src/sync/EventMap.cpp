#include "sync/EventMap.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include "kit/Clock.h"

namespace EventMap {

namespace {

// Exact planner texts that a time alone cannot say ("PM", "--------", a
// typed finish) travel in these, so our own files come back unchanged.
constexpr const char* kStartText = "X-TESSALY-TIMESTART";
constexpr const char* kFinishText = "X-TESSALY-TIMEFINISHED";

QString timeForm(QTime time, const char* between)
{
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2%3%4")
        .arg(hour)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(between), time.hour() < 12 ? QLatin1String("AM") : QLatin1String("PM"));
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
    return QDateTime::fromSecsSinceEpoch(icaltime_as_timet_with_zone(t, t.zone)).toLocalTime();
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
        in.changed = in.changed || to.date() != from.date() || to.time().second() != 0;
    } else if (hasFinishText) {
        a[TimeFinished] = finishX;
    } else if (icaltime_is_date(end)
               && QDate(start.year, start.month, start.day).daysTo(QDate(end.year, end.month, end.day)) > 1) {
        in.changed = true;  // an all-day event over several days keeps its first day
    }

    QStringList note{textOf(ev, ICAL_SUMMARY_PROPERTY)};
    if (const QString d = textOf(ev, ICAL_DESCRIPTION_PROPERTY); !d.isEmpty())
        note << d;
    if (const QString l = textOf(ev, ICAL_LOCATION_PROPERTY); !l.isEmpty())
        note << QStringLiteral("Location: ") + l;
    a[Note] = note.join(u'\n').trimmed();
    in.changed = in.changed || note.size() > 1 || icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);

    in.uid = textOf(ev, ICAL_UID_PROPERTY);
    if (in.uid.isEmpty()) {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const QString& f : a)
            hash.addData(f.toUtf8() + '\x1f');
        in.uid = QStringLiteral("tessaly-content-") + QString::fromLatin1(hash.result().toHex());
    }
    return in;
}

void readCalendar(icalcomponent* cal, ReadResult& result)
{
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        // libical marks what it could not read with X-LIC-ERROR; such an event is left out whole.
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
            continue;
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

}  // namespace

QString startText(QTime time)
{
    return timeForm(time, "");
}

QString finishText(QTime time)
{
    return timeForm(time, " ");
}

std::optional<QTime> parseTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,2}):(\\d{2})\\s?([AaPp])[Mm]\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt();
    if (hour < 1 || hour > 12 || minute > 59)
        return std::nullopt;
    const bool pm = m.captured(3).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
    return QTime(hour % 12 + (pm ? 12 : 0), minute);
}

std::optional<QDate> parseDate(const QString& text)
{
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    QDate date = QLocale().toDate(text.trimmed(), format);
    if (!date.isValid())
        return std::nullopt;
    if (!format.contains(QLatin1String("yyyy"))) {
        // Qt puts a two-digit year in the 1900s; take the century that brings it nearest to today.
        const int today = Clock::today().year();
        const int year = today - today % 100 + date.year() % 100;
        date = date.addYears(year - date.year() + (year > today + 50 ? -100 : year <= today - 50 ? 100 : 0));
    }
    return date;
}

ReadResult read(const QByteArray& bytes)
{
    ReadResult result;
    // A bare CR ends a line, as it does for the other programs that read
    // these files: libical would keep it inside a value and drop it when
    // writing, so a UID or a note would change between export and import.
    // (The copy also ends in the NUL libical reads up to.)
    QByteArray text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        text += bytes[i];
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            text += '\n';
    }
    icalcomponent* root = icalparser_parse_string(text.constData());
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

WriteResult write(const QList<Outgoing>& appointments)
{
    WriteResult result;
    icaltimezone* zone = localZone();
    Owned cal{icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
                                  icalproperty_new_prodid("-//Tessaly//Tessaly 2002//EN"), nullptr)};
    if (zone && zone != icaltimezone_get_utc_timezone()) {
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
    }
    const icaltimetype stamp =
        icaltime_from_timet_with_zone(Clock::now().toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    for (const Outgoing& out : appointments) {
        const Appointment& a = out.appointment;
        const std::optional<QDate> date = parseDate(a[DateValue]);
        // libical writes no year past 3000 (an imported one may be): left
        // out and counted, never written as the null time 00000000T000000.
        if (!date || date->year() < 1 || date->year() > 3000) {
            ++result.unreadableDates;
            continue;
        }
        icalcomponent* ev = icalcomponent_new(ICAL_VEVENT_COMPONENT);
        icalcomponent_add_property(ev, icalproperty_new_uid(out.uid.toUtf8().constData()));
        icalcomponent_add_property(ev, icalproperty_new_dtstamp(stamp));
        const std::optional<QTime> start = parseTime(a[TimeStart]);
        const std::optional<QTime> finish = parseTime(a[TimeFinished]);
        if (start) {
            icalcomponent_set_dtstart(ev, icalOf(QDateTime(*date, *start), zone));
            if (finish && *finish > *start)
                icalcomponent_set_dtend(ev, icalOf(QDateTime(*date, *finish), zone));
        } else {
            icalcomponent_set_dtstart(ev, icaltime_from_day_of_year(date->dayOfYear(), date->year()));
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
        // libical reads an empty SUMMARY back as an error: an empty note is no summary.
        if (!a[Note].isEmpty())
            icalcomponent_add_property(ev, icalproperty_new_summary(a[Note].toUtf8().constData()));
        icalcomponent_add_component(cal.c, ev);
    }
    char* text = icalcomponent_as_ical_string_r(cal.c);
    result.bytes = QByteArray(text);
    free(text);
    return result;
}

}  // namespace EventMap
