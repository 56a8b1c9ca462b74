#include "planner/RepeatRule.h"

#include <libical/ical.h>

#include <cstdlib>

#include <QStringList>

#include "kit/Clock.h"

namespace RepeatRule {

namespace {

const QStringList kOnce = {QStringLiteral("Daily"), QStringLiteral("Weekly"), QStringLiteral("Monthly"),
                           QStringLiteral("Yearly")};
const QStringList kUnits = {QStringLiteral("days"), QStringLiteral("weeks"), QStringLiteral("months"),
                            QStringLiteral("years")};
const QString kEvery = QStringLiteral("Every %1 %2");
const QStringList kShortDays = {QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                                QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"),
                                QStringLiteral("Sun")};
const QStringList kDays = {QStringLiteral("Monday"),   QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
                           QStringLiteral("Thursday"), QStringLiteral("Friday"),  QStringLiteral("Saturday"),
                           QStringLiteral("Sunday")};
const QStringList kPositions = {QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"),
                                QStringLiteral("fourth"), QStringLiteral("fifth")};
const QString kLast = QStringLiteral("last");
const QString kOnDays = QStringLiteral(" on %1");
const QString kOnDay = QStringLiteral(" on day %1");
const QString kOnLastDay = QStringLiteral(" on the last day");
const QString kOnThe = QStringLiteral(" on the %1 %2");
const QString kTimes = QStringLiteral(", %1 times");
const QString kOnce1 = QStringLiteral(", once");
const QString kUntil = QStringLiteral(", until %1");

constexpr short kEnd = ICAL_RECURRENCE_ARRAY_MAX;

// libical numbers weekdays from Sunday (1), Qt from Monday (1).
int qtDay(icalrecurrencetype_weekday day)
{
    return day == ICAL_SUNDAY_WEEKDAY ? 7 : int(day) - 1;
}

short icalDay(int qtWeekday, int position)
{
    const int day = qtWeekday % 7 + 1;
    return short(position < 0 ? -(-position * 8 + day) : position * 8 + day);
}

int length(const short* list)
{
    int n = 0;
    while (list[n] != kEnd)
        ++n;
    return n;
}

QString textOf(icalrecurrencetype& r)
{
    char* text = icalrecurrencetype_as_string_r(&r);
    QString out = QString::fromUtf8(text);
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace

QString dayName(int weekday, bool shortName)
{
    return (shortName ? kShortDays : kDays).value(weekday - 1);
}

QString positionName(int position)
{
    return position < 0 ? kLast : kPositions.value(position - 1);
}

QString ruleOf(const Choices& c, bool allDay)
{
    icalrecurrencetype r;
    icalrecurrencetype_clear(&r);
    r.freq = std::array{ICAL_DAILY_RECURRENCE, ICAL_WEEKLY_RECURRENCE, ICAL_MONTHLY_RECURRENCE,
                        ICAL_YEARLY_RECURRENCE}[std::size_t(c.frequency)];
    r.interval = short(std::max(1, c.interval));
    if (c.count > 0) {
        r.count = c.count;
    } else if (c.until.isValid()) {
        r.until = icaltime_null_time();
        r.until.year = c.until.year();
        r.until.month = c.until.month();
        r.until.day = c.until.day();
        r.until.is_date = allDay ? 1 : 0;
        if (!allDay) {
            r.until.hour = 23;
            r.until.minute = 59;
            r.until.second = 59;
        }
    }
    int n = 0;
    if (c.frequency == Frequency::Weekly)
        for (int day = 1; day <= 7; ++day)
            if (c.weekdays.contains(day))
                r.by_day[n++] = icalDay(day, 0);
    if (c.frequency == Frequency::Monthly && c.position != 0)
        r.by_day[n++] = icalDay(c.weekday, c.position);
    r.by_day[n] = kEnd;
    if (c.frequency == Frequency::Monthly && c.position == 0 && c.monthDay != 0) {
        r.by_month_day[0] = short(c.monthDay);
        r.by_month_day[1] = kEnd;
    }
    return textOf(r);
}

std::optional<Choices> choicesOf(const QString& rule)
{
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.toUtf8().constData());
    // RSCALE (another calendar than the Gregorian) is more than the dialog knows.
    if (r.rscale) {
        free(r.rscale);
        return std::nullopt;
    }
    Choices c;
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        c.frequency = Frequency::Daily;
        break;
    case ICAL_WEEKLY_RECURRENCE:
        c.frequency = Frequency::Weekly;
        break;
    case ICAL_MONTHLY_RECURRENCE:
        c.frequency = Frequency::Monthly;
        break;
    case ICAL_YEARLY_RECURRENCE:
        c.frequency = Frequency::Yearly;
        break;
    default:
        return std::nullopt;
    }
    c.interval = r.interval;
    c.count = r.count;
    if (!icaltime_is_null_time(r.until))
        c.until = QDate(r.until.year, r.until.month, r.until.day);
    const int days = length(r.by_day);
    for (int n = 0; n < days; ++n) {
        const int day = qtDay(icalrecurrencetype_day_day_of_week(r.by_day[n]));
        const int position = icalrecurrencetype_day_position(r.by_day[n]);
        if (c.frequency == Frequency::Weekly && position == 0) {
            c.weekdays << day;
        } else if (c.frequency == Frequency::Monthly && days == 1 && (position == -1 || position > 0)) {
            c.position = position;
            c.weekday = day;
        } else {
            return std::nullopt;
        }
    }
    if (const int monthDays = length(r.by_month_day); monthDays > 0) {
        if (c.frequency != Frequency::Monthly || monthDays > 1 || days > 0)
            return std::nullopt;
        c.monthDay = r.by_month_day[0];
    }
    // Whatever else the rule says (BYSETPOS, BYHOUR, WKST, an end at another
    // time of day...) makes its text differ from the one the choices make.
    const QString canonical = textOf(r);
    if (canonical != ruleOf(c, false) && canonical != ruleOf(c, true))
        return std::nullopt;
    return c;
}

QString summaryOf(const Choices& c)
{
    const auto f = std::size_t(c.frequency);
    QString text = c.interval > 1 ? kEvery.arg(c.interval).arg(kUnits[f]) : kOnce[f];
    if (c.frequency == Frequency::Weekly && !c.weekdays.isEmpty()) {
        QStringList names;
        for (int day = 1; day <= 7; ++day)
            if (c.weekdays.contains(day))
                names << dayName(day, true);
        text += kOnDays.arg(names.join(QStringLiteral(", ")));
    }
    if (c.frequency == Frequency::Monthly) {
        if (c.position != 0)
            text += kOnThe.arg(positionName(c.position), dayName(c.weekday));
        else if (c.monthDay < 0)
            text += kOnLastDay;
        else if (c.monthDay > 0)
            text += kOnDay.arg(c.monthDay);
    }
    if (c.count == 1)
        text += kOnce1;
    else if (c.count > 1)
        text += kTimes.arg(c.count);
    else if (c.until.isValid())
        text += kUntil.arg(Clock::dateText(c.until));
    return text;
}

int positionOf(QDate date)
{
    const int position = (date.day() - 1) / 7 + 1;
    return position == 5 ? -1 : position;
}

}  // namespace RepeatRule
