#include "kit/Occurrences.h"

#include <libical/ical.h>

#include <algorithm>

#include <QHash>
#include <QMutex>
#include <QTimeZone>

#include "kit/Clock.h"
#include "store/Connection.h"
#include "store/Statement.h"

namespace Occurrences {

namespace {

constexpr QLatin1String kDateForm("yyyyMMdd");

// The zone a series' texts are written in; one Qt does not know (a name
// only its own calendar program gives) counts as the local one, the zone
// the clock is in (`clockZone`: asking for it looks at a file, so a caller
// with many series asks once).
QTimeZone zoneNamed(const QString& id, const QByteArray& clockZone = QTimeZone::systemTimeZoneId())
{
    // Making a zone reads its rules from the system's files: once each.
    // (The reminders and the search index read series on threads of their own.)
    static QMutex guard;
    static QHash<QByteArray, QTimeZone> known;
    const QByteArray key = id.isEmpty() ? clockZone : id.toUtf8();
    const QMutexLocker lock(&guard);
    if (const auto found = known.constFind(key); found != known.constEnd())
        return *found;
    QTimeZone zone(key);
    if (!zone.isValid())
        zone = QTimeZone(QTimeZone::windowsIdToDefaultIanaId(key));
    if (!zone.isValid())
        zone = QTimeZone::systemTimeZone();
    known.insert(key, zone);
    return zone;
}

struct Moment {
    QDateTime at;  // in the series' zone, or UTC
    bool date = false;
};

// The digits at `at` in `text`, or -1.
int numberIn(const QString& text, qsizetype at, qsizetype length)
{
    bool ok = false;
    const int n = QStringView(text).mid(at, length).toInt(&ok);
    return ok ? n : -1;
}

// The date a time's text starts with (20250107…). Read by hand, as the
// rest of it: Qt's reading by format costs more than the whole expansion.
QDate dateIn(const QString& text)
{
    return QDate(numberIn(text, 0, 4), numberIn(text, 4, 2), numberIn(text, 6, 2));
}

// UTC times are made with Qt's own UTC, not a QTimeZone: a zone's object is
// looked up anew each time and every conversion goes through it.
std::optional<Moment> momentOf(const QString& text, const QTimeZone& zone)
{
    const bool utc = text.endsWith(u'Z');
    if (text.size() != 8 && (text.size() != (utc ? 16 : 15) || text[8] != u'T'))
        return std::nullopt;
    const QDate d = dateIn(text);
    if (!d.isValid())
        return std::nullopt;
    if (text.size() == 8)
        return Moment{d.startOfDay(zone), true};
    const QTime t(numberIn(text, 9, 2), numberIn(text, 11, 2), numberIn(text, 13, 2));
    if (!t.isValid())
        return std::nullopt;
    return Moment{utc ? QDateTime(d, t, Qt::UTC) : QDateTime(d, t, zone), false};
}

// libical counts in the zone's wall time, the way RFC 5545 repeats a time
// across a change of the clocks: every such time goes in floating.
icaltimetype wallOf(const Moment& m, const QTimeZone& zone)
{
    const QDateTime w = m.at.toTimeZone(zone);
    icaltimetype t = icaltime_null_time();
    t.year = w.date().year();
    t.month = w.date().month();
    t.day = w.date().day();
    t.is_date = m.date ? 1 : 0;
    if (!m.date) {
        t.hour = w.time().hour();
        t.minute = w.time().minute();
        t.second = w.time().second();
    }
    return t;
}

// By hand: a page of the planner writes one for each occurrence it shows.
QString wallText(const QDateTime& wall, bool date)
{
    const QDate d = wall.date();
    if (date)
        return QString::asprintf("%04d%02d%02d", d.year(), d.month(), d.day());
    const QTime t = wall.time();
    return QString::asprintf("%04d%02d%02dT%02d%02d%02d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

struct Expanding {
    QTimeZone zone;
    bool local;  // floating: the user's own clock, no zone to convert from
    bool date;
    qint64 length;  // seconds
    qint64 days;    // of a whole-day one
    const QSet<QString>* replaced;
    QList<Occurrence>* out;
};

// One occurrence starting at `wall` (the series' wall time, in a UTC
// QDateTime), unless it was replaced.
void keep(Expanding* e, const QDateTime& wall)
{
    if (!e->replaced->isEmpty() && e->replaced->contains(wallText(wall, e->date)))
        return;
    Occurrence o;
    o.allDay = e->date;
    if (e->date) {
        o.start = wall.date().startOfDay();
        o.finish = wall.date().addDays(std::max<qint64>(1, e->days)).startOfDay();
    } else {
        const QDateTime inZone =
            e->local ? QDateTime(wall.date(), wall.time()) : QDateTime(wall.date(), wall.time(), e->zone);
        if (!e->replaced->isEmpty() && e->replaced->contains(wallText(inZone.toUTC(), false) + u'Z'))
            return;
        o.start = e->local ? inZone : inZone.toLocalTime();
        o.finish = o.start.addSecs(e->length);
    }
    e->out->append(o);
}

void take(icalcomponent*, icaltime_span* span, void* data)
{
    // A floating time comes back as if it were UTC: its wall time.
    keep(static_cast<Expanding*>(data), QDateTime::fromSecsSinceEpoch(span->start, Qt::UTC));
}

struct Owned {
    icalcomponent* c;
    ~Owned() { icalcomponent_free(c); }
};

// The planner's finest slot is half an hour: a rule by the second or the
// minute would fill a page with thousands of rows, so it keeps its first.
bool expands(const icalrecurrencetype& r)
{
    return r.freq != ICAL_NO_RECURRENCE && r.freq != ICAL_SECONDLY_RECURRENCE && r.freq != ICAL_MINUTELY_RECURRENCE;
}

// The budget of one series' expansion over the days asked for (see
// withinBudget): what libical produces and walks stays in step with the
// days, whatever the rule says.
constexpr int kMostADay = 48;
constexpr int kMostCounted = 10000;
constexpr int kFirstYear = 1900;
// libical walks an hourly or daily rule hour by hour or day by day up to
// the year 2582 looking for the next day its BYMONTH, BYMONTHDAY,
// BYYEARDAY or BYDAY let through: as many steps at most between two.
constexpr qint64 kMostSkipped = 10000;
constexpr int kProbedDays = 10227;  // 28 years: every weekday on every date of a leap cycle

int sizeOf(const short* by, int most)
{
    int n = 0;
    while (n < most && by[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

bool among(const short* by, int most, int value)
{
    for (int i = 0; i < most && by[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        if (by[i] == value)
            return true;
    return false;
}

// A day the rule's day filters let through (a rule by the hour or the day).
bool picks(const icalrecurrencetype& r, QDate d)
{
    const auto in = [](const short* by, int most, int value, int days) {
        if (sizeOf(by, most) == 0)
            return true;
        return among(by, most, value) || among(by, most, value - days - 1);
    };
    if (sizeOf(r.by_day, ICAL_BY_DAY_SIZE) > 0) {
        bool any = false;
        for (int i = 0; i < ICAL_BY_DAY_SIZE && r.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX && !any; ++i)
            any = int(icalrecurrencetype_day_day_of_week(r.by_day[i])) == d.dayOfWeek() % 7 + 1;
        if (!any)
            return false;
    }
    return in(r.by_month, ICAL_BY_MONTH_SIZE, d.month(), 1000)
           && in(r.by_month_day, ICAL_BY_MONTHDAY_SIZE, d.day(), d.daysInMonth())
           && in(r.by_year_day, ICAL_BY_YEARDAY_SIZE, d.dayOfYear(), d.daysInYear());
}

// The most days between two the rule lets through in 28 years from
// `from`, walked as libical walks it; -1: none at all.
qint64 longestGap(const icalrecurrencetype& r, QDate from, int step)
{
    qint64 longest = -1;
    QDate last;
    for (QDate d = from; from.daysTo(d) < kProbedDays; d = d.addDays(step)) {
        if (!picks(r, d))
            continue;
        longest = std::max(longest, last.isValid() ? last.daysTo(d) : from.daysTo(d));
        last = d;
    }
    return longest;
}

bool fits(const icalrecurrencetype& r, const QString& start)
{
    if (r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE || r.count > kMostCounted)
        return false;
    const QDate first = dateIn(start);
    if (!first.isValid() || first.year() < kFirstYear)
        return false;
    const bool hourly = r.freq == ICAL_HOURLY_RECURRENCE;
    const int interval = std::max<int>(1, r.interval);
    const int hours = sizeOf(r.by_hour, ICAL_BY_HOUR_SIZE);
    const qint64 aDay =
        qint64{hourly ? std::min(hours > 0 ? hours : 24, (24 + interval - 1) / interval) : std::max(1, hours)}
        * std::max(1, sizeOf(r.by_minute, ICAL_BY_MINUTE_SIZE)) * std::max(1, sizeOf(r.by_second, ICAL_BY_SECOND_SIZE));
    if (aDay > kMostADay)
        return false;
    const bool filtered = sizeOf(r.by_day, ICAL_BY_DAY_SIZE) + sizeOf(r.by_month, ICAL_BY_MONTH_SIZE)
                              + sizeOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE)
                              + sizeOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE)
                          > 0;
    if (!filtered || (!hourly && r.freq != ICAL_DAILY_RECURRENCE))
        return true;
    const int step = hourly ? (interval % 24 == 0 ? interval / 24 : 1) : interval;
    const qint64 gap = longestGap(r, first, step);
    return gap >= 0 && gap * (hourly ? (24 + interval - 1) / interval : 1) <= kMostSkipped;
}

// A COUNT is walked to its last occurrence once; every window after starts
// where it is asked for, as with a rule that ends on a date, rather than
// walk from the first occurrence again.
icalrecurrencetype withEnd(icalrecurrencetype rule, icaltimetype start)
{
    static QMutex guard;
    static QHash<QByteArray, icaltimetype> ends;
    char* text = icalrecurrencetype_as_string_r(&rule);
    const QByteArray key = QByteArray(text) + ' ' + icaltime_as_ical_string(start);
    free(text);
    const QMutexLocker lock(&guard);
    auto found = ends.constFind(key);
    if (found == ends.constEnd()) {
        icaltimetype last = start;
        if (icalrecur_iterator* it = icalrecur_iterator_new(rule, start)) {
            for (int n = 0; n < rule.count; ++n) {
                const icaltimetype t = icalrecur_iterator_next(it);
                if (icaltime_is_null_time(t))
                    break;
                last = t;
            }
            icalrecur_iterator_free(it);
        }
        if (ends.size() >= 4096)
            ends.clear();
        found = ends.insert(key, last);
    }
    rule.count = 0;
    rule.until = *found;
    return rule;
}

QStringList listOf(const QString& text)
{
    return text.split(u',', Qt::SkipEmptyParts);
}

QDateTime wallTime(const icaltimetype& t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

// The rules a planner makes (every n days, weeks on some weekdays, months
// on a date or on a weekday of the month, years on a date) are walked here
// by date arithmetic, starting at the period the days asked for fall in.
// libical walks every rule from its first occurrence through a calendar
// library, which cost the planner's first page most of its time.
struct PlainRule {
    icalrecurrencetype_frequency freq = ICAL_NO_RECURRENCE;
    int interval = 1;
    int weekStart = 1;                    // Qt's numbering: Monday 1
    QList<std::pair<int, int>> weekdays;  // position in the month (0: every), Qt's day
    QList<int> monthDays, months;
};

int qtWeekday(icalrecurrencetype_weekday day)
{
    return day == ICAL_SUNDAY_WEEKDAY ? 7 : int(day) - 1;
}

std::optional<PlainRule> plainRuleOf(const icalrecurrencetype& r)
{
    if (r.rscale || sizeOf(r.by_second, ICAL_BY_SECOND_SIZE) || sizeOf(r.by_minute, ICAL_BY_MINUTE_SIZE)
        || sizeOf(r.by_hour, ICAL_BY_HOUR_SIZE) || sizeOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE)
        || sizeOf(r.by_week_no, ICAL_BY_WEEKNO_SIZE) || sizeOf(r.by_set_pos, ICAL_BY_SETPOS_SIZE))
        return std::nullopt;
    PlainRule p;
    p.freq = r.freq;
    p.interval = std::max<int>(1, r.interval);
    p.weekStart = r.week_start == ICAL_NO_WEEKDAY ? 1 : qtWeekday(r.week_start);
    bool placed = false;
    for (int i = 0; i < sizeOf(r.by_day, ICAL_BY_DAY_SIZE); ++i) {
        const int position = icalrecurrencetype_day_position(r.by_day[i]);
        p.weekdays.append({position, qtWeekday(icalrecurrencetype_day_day_of_week(r.by_day[i]))});
        placed = placed || position != 0;
    }
    for (int i = 0; i < sizeOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE); ++i)
        p.monthDays << r.by_month_day[i];
    for (int i = 0; i < sizeOf(r.by_month, ICAL_BY_MONTH_SIZE); ++i) {
        if (icalrecurrencetype_month_is_leap(r.by_month[i]))
            return std::nullopt;
        p.months << icalrecurrencetype_month_month(r.by_month[i]);
    }
    std::sort(p.months.begin(), p.months.end());
    p.months.erase(std::unique(p.months.begin(), p.months.end()), p.months.end());
    // libical gives a day named twice twice, and counts weeks of more than
    // one from Monday whatever the rule's week start: such rules stay its own.
    for (qsizetype i = 0; i < p.weekdays.size(); ++i)
        if (p.weekdays.indexOf(p.weekdays[i]) != i)
            return std::nullopt;
    if (p.freq == ICAL_WEEKLY_RECURRENCE && p.interval > 1 && p.weekStart != 1)
        return std::nullopt;
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
    case ICAL_WEEKLY_RECURRENCE:
        return placed || !p.monthDays.isEmpty() || !p.months.isEmpty() ? std::nullopt : std::optional(p);
    case ICAL_MONTHLY_RECURRENCE:
        return !p.months.isEmpty() || (!p.weekdays.isEmpty() && !p.monthDays.isEmpty()) ? std::nullopt
                                                                                        : std::optional(p);
    case ICAL_YEARLY_RECURRENCE:
        return !p.weekdays.isEmpty() || !p.monthDays.isEmpty() ? std::nullopt : std::optional(p);
    default:
        return std::nullopt;
    }
}

// The first day of the rule's `k`th period, the one `start` is in being 0.
QDate periodStart(const PlainRule& r, QDate start, qint64 k)
{
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        return start.addDays(k * r.interval);
    case ICAL_WEEKLY_RECURRENCE:
        return start.addDays(-((start.dayOfWeek() - r.weekStart + 7) % 7) + 7 * k * r.interval);
    case ICAL_MONTHLY_RECURRENCE:
        return QDate(start.year(), start.month(), 1).addMonths(int(k * r.interval));
    default:
        return QDate(int(start.year() + k * r.interval), 1, 1);
    }
}

// The period the day `d` falls in (never before the first).
qint64 periodOf(const PlainRule& r, QDate start, QDate d)
{
    qint64 n = 0;
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        n = start.daysTo(d);
        break;
    case ICAL_WEEKLY_RECURRENCE:
        n = periodStart(r, start, 0).daysTo(d) / 7;
        break;
    case ICAL_MONTHLY_RECURRENCE:
        n = (qint64(d.year()) - start.year()) * 12 + d.month() - start.month();
        break;
    default:
        n = d.year() - start.year();
    }
    return std::max<qint64>(0, n / r.interval);
}

bool onWeekday(const PlainRule& r, QDate d, QDate start)
{
    if (r.weekdays.isEmpty())
        return d.dayOfWeek() == start.dayOfWeek();
    return std::any_of(r.weekdays.cbegin(), r.weekdays.cend(),
                       [&](const auto& w) { return w.second == d.dayOfWeek(); });
}

// The days of the `k`th period the rule picks, in order.
QList<QDate> daysOf(const PlainRule& r, QDate start, qint64 k)
{
    QList<QDate> out;
    const QDate first = periodStart(r, start, k);
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        if (r.weekdays.isEmpty() || onWeekday(r, first, start))
            out << first;
        return out;
    case ICAL_WEEKLY_RECURRENCE:
        for (int i = 0; i < 7; ++i)
            if (onWeekday(r, first.addDays(i), start))
                out << first.addDays(i);
        return out;
    case ICAL_MONTHLY_RECURRENCE: {
        const int days = first.daysInMonth();
        for (const int v : r.monthDays)
            if (const int day = v > 0 ? v : days + 1 + v; day >= 1 && day <= days)
                out << first.addDays(day - 1);
        for (const auto& [position, weekday] : r.weekdays) {
            const QDate firstOne = first.addDays((weekday - first.dayOfWeek() + 7) % 7);
            const QDate last = first.addDays(days - 1);
            const QDate lastOne = last.addDays(-((last.dayOfWeek() - weekday + 7) % 7));
            if (position == 0) {
                for (QDate d = firstOne; d.month() == first.month(); d = d.addDays(7))
                    out << d;
            } else if (const QDate d = position > 0 ? firstOne.addDays(qint64{7} * (position - 1))
                                                    : lastOne.addDays(qint64{-7} * (-position - 1));
                       d.month() == first.month() && d.year() == first.year()) {
                out << d;
            }
        }
        if (r.monthDays.isEmpty() && r.weekdays.isEmpty() && start.day() <= days)
            out << first.addDays(start.day() - 1);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }
    default:
        for (const int month : r.months.isEmpty() ? QList<int>{start.month()} : r.months)
            if (const QDate d(first.year(), month, start.day()); d.isValid())
                out << d;
        return out;
    }
}

// The wall times (in UTC QDateTimes) of the rule's occurrences from the
// day `first` to `last`, of a series starting at `start`, in order. None:
// a rule libical walks, or a start on a day the rule does not pick (which
// libical counts its own way).
std::optional<QList<QDateTime>> walkPlain(const icalrecurrencetype& rule, const QDateTime& start, bool date,
                                          QDate first, QDate last)
{
    const std::optional<PlainRule> r = plainRuleOf(rule);
    if (!r || !daysOf(*r, start.date(), 0).contains(start.date()))
        return std::nullopt;
    std::optional<QDateTime> until;
    if (!icaltime_is_null_time(rule.until)) {
        if (bool(rule.until.is_date) != date)
            return std::nullopt;
        until = wallTime(rule.until);
    }
    const QDate s = start.date();
    QList<QDateTime> out;
    if (s >= first && s <= last)
        out << start;
    int counted = 1;
    for (qint64 k = rule.count > 0 ? 0 : std::max<qint64>(0, periodOf(*r, s, first) - 1); periodStart(*r, s, k) <= last;
         ++k) {
        for (const QDate d : daysOf(*r, s, k)) {
            if (d <= s)
                continue;
            const QDateTime at(d, start.time(), Qt::UTC);
            if ((until && at > *until) || (rule.count > 0 && counted >= rule.count) || d > last)
                return out;
            ++counted;
            if (d >= first)
                out << at;
        }
    }
    return out;
}

QList<Occurrence> expandOver(const Series& series, QDate from, QDate to, const QSet<QString>& replaced,
                             const QByteArray& clockZone)
{
    QList<Occurrence> out;
    // A floating time repeats in local time, one in UTC in UTC.
    const QTimeZone zone =
        series.zone.isEmpty() && series.start.endsWith(u'Z') ? QTimeZone::utc() : zoneNamed(series.zone, clockZone);
    const std::optional<Moment> start = momentOf(series.start, zone);
    if (!start)
        return out;
    std::optional<Moment> finish = momentOf(series.finish, zone);
    if (!finish || finish->at < start->at)
        finish = Moment{start->date ? start->at.addDays(1) : start->at, start->date};

    // A series that starts after the days asked for has nothing on them.
    if (series.rdates.isEmpty() && start->at.toLocalTime().date() > to)
        return out;
    icalrecurrencetype rule = icalrecurrencetype_from_string(series.rule.toUtf8().constData());
    const bool repeats = !series.rule.isEmpty() && expands(rule) && fits(rule, series.start);
    // An end given in UTC ends at the same wall time of the zone.
    if (repeats && !icaltime_is_null_time(rule.until) && !rule.until.is_date && icaltime_is_utc(rule.until))
        rule.until = wallOf({wallTime(rule.until), false}, zone);

    // A day of slack on both sides for the zones between ours and the series'.
    const qint64 length = start->at.secsTo(finish->at);
    const Moment first{from.addDays(-1).startOfDay().addSecs(-length), false};
    const Moment last{to.addDays(2).startOfDay(), false};
    Expanding e{zone,
                series.zone.isEmpty() && !series.start.endsWith(u'Z'),
                start->date,
                length,
                start->at.date().daysTo(finish->at.date()),
                &replaced,
                &out};
    std::optional<QList<QDateTime>> walked;
    if (repeats && series.rdates.isEmpty())
        walked = walkPlain(rule, wallTime(wallOf(*start, zone)), start->date, wallTime(wallOf(first, zone)).date(),
                           wallTime(wallOf(last, zone)).date());
    if (walked) {
        // An excluded date leaves out that day's occurrence, an excluded time that one.
        QSet<QDateTime> times;
        QSet<QDate> days;
        for (const QString& text : series.exdates)
            if (const std::optional<Moment> m = momentOf(text, zone); m && m->date)
                days.insert(m->at.date());
            else if (m)
                times.insert(wallTime(wallOf(*m, zone)));
        for (const QDateTime& at : std::as_const(*walked))
            if (!times.contains(at) && !days.contains(at.date()))
                keep(&e, at);
    } else {
        Owned ev{icalcomponent_new(ICAL_VEVENT_COMPONENT)};
        icalcomponent_set_dtstart(ev.c, wallOf(*start, zone));
        icalcomponent_set_dtend(ev.c, wallOf(*finish, zone));
        if (repeats) {
            if (rule.count > 0)
                rule = withEnd(rule, wallOf(*start, zone));
            icalcomponent_add_property(ev.c, icalproperty_new_rrule(rule));
        }
        const auto addDates = [&](const QStringList& texts, icalproperty* (*make)(icaltimetype)) {
            for (const QString& text : texts)
                if (const std::optional<Moment> m = momentOf(text, zone))
                    icalcomponent_add_property(ev.c, make(wallOf(*m, zone)));
        };
        addDates(series.exdates, icalproperty_new_exdate);
        addDates(series.rdates, [](icaltimetype t) {
            icaldatetimeperiodtype p{};
            p.time = t;
            p.period = icalperiodtype_null_period();
            return icalproperty_new_rdate(p);
        });
        icalcomponent_foreach_recurrence(ev.c, wallOf(first, zone), wallOf(last, zone), take, &e);
    }

    const QDateTime begin = from.startOfDay(), end = to.addDays(1).startOfDay();
    out.removeIf([&](const Occurrence& o) { return !(o.start < end && (o.finish > begin || o.start >= begin)); });
    std::stable_sort(out.begin(), out.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
    return out;
}

// libical walks a rule from its first occurrence on every call, so each
// page painted and each date picked would walk every series again. A
// series' occurrences are kept for the whole months around the days asked
// for, under everything that decides them: its own texts, the occurrences
// replaced, and the zone the clock is in. A series changed anywhere (the
// page, an import, a sync) is a new key, so nothing stale is ever served.
struct Kept {
    QDate from, to;
    QList<Occurrence> occurrences;  // in order of start, and so of finish: one length for all
    // Theirs as local wall times (day * kDay + milliseconds): with no zone
    // set, every local time's conversion has the C library look at
    // /etc/localtime again, which would cost more than the expansion.
    QList<qint64> starts, finishes;
    QDate first;  // the local day of the series' start
};

constexpr qsizetype kMostKept = 4096;  // a few thousand series: a few MB
// A window reaches the weeks the month grid shows beside its months. The
// first one a series has covers the months asked for, so that the page
// shown first waits for no more; the next reaches a year ahead, so that
// the planner's other pages walk each series once more only. A jump
// further than kWidest starts a new window rather than walk every day between.
constexpr int kMonthsAhead = 13;
constexpr qint64 kWidest = 800;  // days
constexpr qint64 kDay = qint64(24) * 3600 * 1000;

qint64 wallNumber(const QDateTime& local)
{
    return local.date().toJulianDay() * kDay + local.time().msecsSinceStartOfDay();
}

QString keyOf(const Series& s, const QSet<QString>& replaced, const QByteArray& clockZone)
{
    QStringList ids(replaced.cbegin(), replaced.cend());
    ids.sort();
    const QChar gap(0x1f);
    return QStringList{s.start,
                       s.finish,
                       s.zone,
                       s.rule,
                       s.rdates.join(u','),
                       s.exdates.join(u','),
                       ids.join(u','),
                       QString::fromLatin1(clockZone)}
        .join(gap);
}

struct Found {
    QList<Occurrence> occurrences;
    QDate first;
};

// `clockZone`: the zone the clock is in, asked once by the caller (asking
// reads a file).
Found lookUp(const Series& series, QDate from, QDate to, const QSet<QString>& replaced, const QByteArray& clockZone)
{
    static QMutex guard;  // the search index fills itself on a thread of its own
    static QHash<QString, Kept> kept;
    const QString key = keyOf(series, replaced, clockZone);
    const QMutexLocker lock(&guard);
    auto found = kept.find(key);
    if (found == kept.end() || from < found->from || found->to < to) {
        QDate first = QDate(from.year(), from.month(), 1).addDays(-7);
        QDate last = QDate(to.year(), to.month(), 1).addMonths(found == kept.end() ? 1 : kMonthsAhead).addDays(13);
        if (found != kept.end() && std::min(first, found->from).daysTo(std::max(last, found->to)) <= kWidest) {
            first = std::min(first, found->from);
            last = std::max(last, found->to);
        }
        if (found == kept.end() && kept.size() >= kMostKept)
            kept.clear();
        Kept k{first, last, expandOver(series, first, last, replaced, clockZone), {}, {}, {}};
        for (const Occurrence& o : k.occurrences) {
            k.starts << wallNumber(o.start);
            k.finishes << wallNumber(o.finish);
        }
        if (const std::optional<Moment> m = momentOf(series.start, zoneNamed(series.zone, clockZone)))
            k.first = m->date ? m->at.date() : m->at.toLocalTime().date();
        found = kept.emplace(key, std::move(k));
    }
    // What starts on the days, or before them and lasts into them.
    const qint64 begin = from.toJulianDay() * kDay, end = to.addDays(1).toJulianDay() * kDay;
    qsizetype lo = 0, hi = found->starts.size();
    while (lo < hi && found->finishes[lo] <= begin && found->starts[lo] < begin)
        ++lo;
    while (hi > lo && found->starts[hi - 1] >= end)
        --hi;
    return {found->occurrences.mid(lo, hi - lo), found->first};
}

}  // namespace

bool ruleReads(const QString& rule)
{
    return rule.isEmpty() || icalrecurrencetype_from_string(rule.toUtf8().constData()).freq != ICAL_NO_RECURRENCE;
}

bool withinBudget(const Series& series)
{
    if (series.rule.isEmpty())
        return true;
    const icalrecurrencetype r = icalrecurrencetype_from_string(series.rule.toUtf8().constData());
    return r.freq == ICAL_NO_RECURRENCE || fits(r, series.start);
}

QList<Occurrence> expand(const Series& series, QDate from, QDate to, const QSet<QString>& replaced)
{
    const QByteArray clockZone = QTimeZone::systemTimeZoneId();
    if (!from.isValid() || !to.isValid() || to < from)
        return expandOver(series, from, to, replaced, clockZone);
    return lookUp(series, from, to, replaced, clockZone).occurrences;
}

QString instantOf(const QString& id, const QString& zone)
{
    const std::optional<Moment> m = momentOf(id, zoneNamed(zone));
    return !m || m->date ? id : wallText(m->at.toUTC(), false) + u'Z';
}

QString textOf(const QDateTime& local, const QString& zone, bool allDay)
{
    if (allDay)
        return local.date().toString(kDateForm);
    return wallText(local.toTimeZone(zoneNamed(zone)), false);
}

void setFinish(Series& series, QTime finish)
{
    const std::optional<Moment> start = momentOf(series.start, zoneNamed(series.zone));
    if (!start || start->date)
        return;
    const QDateTime from = start->at.toLocalTime();
    QDateTime to(from.date(), finish);
    if (to < from)
        to = to.addDays(1);
    series.finish = textOf(to, series.zone, false);
}

namespace {

Series seriesFrom(Statement& st, int at)
{
    Series s;
    s.row = st.integer(at);
    s.start = st.text(at + 1);
    s.finish = st.text(at + 2);
    s.zone = st.text(at + 3);
    s.rule = st.text(at + 4);
    s.rdates = listOf(st.text(at + 5));
    s.exdates = listOf(st.text(at + 6));
    s.seriesRow = st.integer(at + 7);
    s.recurrenceId = st.text(at + 8);
    return s;
}

constexpr const char* kSeriesColumns = "s.OrgRow, s.Start, s.Finish, s.Zone, s.Rule, s.RDates, s.ExDates, "
                                       "s.SeriesRow, s.RecurrenceId";

// The texts of a time of `o` as the row says them when it is the row's own.
// The row's own text where the occurrence keeps its time (`storedTime`
// is what it reads as), else the time written anew.
QString timeText(const QDateTime& at, const QString& stored, std::optional<QTime> storedTime, QString (*form)(QTime))
{
    return storedTime == at.time() ? stored : form(at.time());
}

// What eachRow reads of each row: the whole of it in the order the rows
// were added, or only the date and times (column 4, the note, is not
// read), which the index on them gives without the table.
enum class Read { Rows, Times };

// Calls `use(rows, date)` for each stored row dated from the day before
// `from` (one may run past midnight) to `to` that is no series' first occurrence.
template <class Use>
void eachRow(sqlite3* db, QDate from, QDate to, Read read, Use use)
{
    QStringList marks;
    QList<QDate> days;
    for (QDate d = from.addDays(-1); d <= to; d = d.addDays(1)) {
        days << d;
        marks << QStringLiteral("?");
    }
    Statement rows(db, QStringLiteral("SELECT OrgRow, DateValue, TimeStart, TimeFinished%1 FROM tblOrginize o "
                                      "WHERE DateValue IN (%2) AND NOT EXISTS (SELECT 1 FROM tblOrginizeSeries s "
                                      "WHERE s.OrgRow = o.OrgRow AND s.SeriesRow = 0)%3")
                           .arg(read == Read::Rows ? QLatin1String(", Note") : QLatin1String(), marks.join(u','),
                                read == Read::Rows ? QLatin1String(" ORDER BY OrgRow") : QLatin1String()));
    QHash<QString, QDate> dateOf;
    for (int i = 0; i < days.size(); ++i) {
        const QString text = Clock::dateText(days[i]);
        rows.bind(i + 1, text);
        dateOf.insert(text, days[i]);
    }
    while (rows.step())
        use(rows, dateOf.value(rows.text(1)));
}

// Whether a row that starts at `start` and finishes at `finish` (its texts) runs past midnight.
bool pastMidnight(std::optional<QTime> start, std::optional<QTime> finish)
{
    return start && finish && *finish < *start;
}

// Calls `use(series, s, found)` for each series with its occurrences on the
// days from `from` to `to`; `series` holds after the series' columns the
// first row's date, start, finish and note.
template <class Use>
void eachSeries(sqlite3* db, QDate from, QDate to, Use use)
{
    const QByteArray clockZone = QTimeZone::systemTimeZoneId();
    QHash<qint64, QSet<QString>> replaced;
    Statement others(db, QStringLiteral("SELECT SeriesRow, RecurrenceId FROM tblOrginizeSeries WHERE SeriesRow <> 0"));
    while (others.step())
        replaced[others.integer(0)].insert(others.text(1));

    Statement series(db, QStringLiteral("SELECT %1, o.DateValue, o.TimeStart, o.TimeFinished, o.Note "
                                        "FROM tblOrginizeSeries s JOIN tblOrginize o ON o.OrgRow = s.OrgRow "
                                        "WHERE s.SeriesRow = 0 ORDER BY s.OrgRow")
                             .arg(QLatin1String(kSeriesColumns)));
    while (series.step()) {
        const Series s = seriesFrom(series, 0);
        use(series, s, lookUp(s, from, to, replaced.value(s.row), clockZone));
    }
}

// The last day an occurrence lasts into: a finish at midnight ends the day before.
QDate lastDayOf(const Occurrence& o)
{
    const QDate last = o.allDay || o.finish.time() == QTime(0, 0) ? o.finish.date().addDays(-1) : o.finish.date();
    return std::max(last, o.start.date());
}

}  // namespace

QList<Entry> between(Connection& con, QDate from, QDate to)
{
    QList<Entry> out;
    if (!from.isValid() || !to.isValid() || to < from)
        return out;
    sqlite3* db = con.handle();

    eachRow(db, from, to, Read::Rows, [&](Statement& rows, QDate date) {
        Entry e;
        e.row = rows.integer(0);
        e.date = date;
        e.start = rows.text(2);
        e.finish = rows.text(3);
        e.note = rows.text(4);
        if (e.date >= from)
            out << e;
        if (pastMidnight(Clock::parseTime(e.start), Clock::parseTime(e.finish)) && e.date < to) {
            e.date = e.date.addDays(1);
            e.continued = true;
            e.start.clear();
            e.finish.clear();
            out << e;
        }
    });

    eachSeries(db, from, to, [&](Statement& series, const Series& s, const Found& found) {
        const QString startText = series.text(10), finishText = series.text(11), note = series.text(12);
        const std::optional<QTime> startTime = Clock::parseTime(startText), finishTime = Clock::parseTime(finishText);
        Entry e;
        e.row = s.row;
        e.note = note;
        e.repeats = !s.rule.isEmpty() || !s.rdates.isEmpty();
        e.rule = s.rule;
        e.first = found.first;
        for (const Occurrence& o : found.occurrences) {
            e.occurrence = o.allDay                                      ? wallText(o.start, true)
                           : s.zone.isEmpty() && !s.start.endsWith(u'Z') ? wallText(o.start, false)
                                                                         : wallText(o.start.toUTC(), false) + u'Z';
            for (QDate d = std::max(from, o.start.date()); d <= std::min(to, lastDayOf(o)); d = d.addDays(1)) {
                e.date = d;
                e.continued = !o.allDay && d != o.start.date();
                if (o.allDay || e.continued) {
                    e.start.clear();
                    e.finish.clear();
                } else {
                    e.start = timeText(o.start, startText, startTime, Clock::startText);
                    e.finish = o.finish == o.start ? finishText
                                                   : timeText(o.finish, finishText, finishTime, Clock::finishText);
                }
                out << e;
            }
        }
    });
    std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.date < b.date; });
    return out;
}

QSet<QDate> busyDays(Connection& con, QDate from, QDate to)
{
    QSet<QDate> busy;
    if (!from.isValid() || !to.isValid() || to < from)
        return busy;
    sqlite3* db = con.handle();
    eachRow(db, from, to, Read::Times, [&](Statement& rows, QDate date) {
        if (date >= from)
            busy.insert(date);
        // The times are read only for a day after that is not known to be busy yet.
        const QDate next = date.addDays(1);
        if (next <= to && !busy.contains(next)
            && pastMidnight(Clock::parseTime(rows.text(2)), Clock::parseTime(rows.text(3))))
            busy.insert(next);
    });
    eachSeries(db, from, to, [&](Statement&, const Series&, const Found& found) {
        for (const Occurrence& o : found.occurrences)
            for (QDate d = std::max(from, o.start.date()); d <= std::min(to, lastDayOf(o)); d = d.addDays(1))
                busy.insert(d);
    });
    return busy;
}

std::optional<Series> seriesOf(Connection& con, qint64 row)
{
    Statement st(
        con.handle(),
        QStringLiteral("SELECT %1 FROM tblOrginizeSeries s WHERE s.OrgRow = ?").arg(QLatin1String(kSeriesColumns)));
    st.bind(1, row);
    if (!st.step())
        return std::nullopt;
    return seriesFrom(st, 0);
}

void write(Connection& con, const Series& s)
{
    Statement st(con.handle(), QStringLiteral("INSERT OR REPLACE INTO tblOrginizeSeries (OrgRow, Start, Finish, Zone, "
                                              "Rule, RDates, ExDates, SeriesRow, RecurrenceId) "
                                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    st.bind(1, s.row)
        .bind(2, s.start)
        .bind(3, s.finish)
        .bind(4, s.zone)
        .bind(5, s.rule)
        .bind(6, s.rdates.join(u','))
        .bind(7, s.exdates.join(u','))
        .bind(8, s.seriesRow)
        .bind(9, s.recurrenceId);
    st.step();
}

void remove(Connection& con, qint64 row)
{
    Statement st(con.handle(), QStringLiteral("DELETE FROM tblOrginizeSeries WHERE OrgRow = ?"));
    st.bind(1, row);
    st.step();
}

std::optional<QDate> nextFrom(Connection& con, qint64 row, QDate from)
{
    const std::optional<Series> series = seriesOf(con, row);
    if (!series || (series->rule.isEmpty() && series->rdates.isEmpty()))
        return std::nullopt;
    // A month first: most series have one there, and a longer span costs a longer expansion.
    for (const auto& [first, last] : {std::pair{from, from.addDays(31)}, std::pair{from.addDays(32), from.addYears(5)}})
        for (const Occurrence& o : expand(*series, first, last))
            if (o.start.date() >= from || o.finish.date() >= from)  // an unreadable rule gives its first
                return o.start.date();
    return std::nullopt;
}

}  // namespace Occurrences
