#include "planner/Appointments.h"

#include <QDateTime>
#include <QTime>

#include "kit/Clock.h"
#include "store/AppointmentRows.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace {

using F = AppointmentFields::Field;

// A refused write of the page names the table that refused it.
const QString kRecord = QStringLiteral("The record in tblOrginize");
const QString kDeletion = QStringLiteral("The deletion in tblOrginize");

}  // namespace

QList<Occurrences::Entry> Appointments::onDay(QDate day)
{
    return Occurrences::between(m_con, day, day);
}

Appointments::Save Appointments::save(const Appointment& typed, const Occurrences::Entry& shown, Scope scope)
{
    // One occurrence changed becomes an appointment of its own that names
    // the occurrence it replaces; the whole series changes its first row,
    // whose date stays the series' first.
    const bool alone = shown.repeats && scope == Scope::One;
    const bool adding = !shown.row || alone;
    m_con.handle();  // a store that cannot be opened is said as such, not as a refused write
    AppointmentValues values;
    if (adding) {
        values[F::TimeStart] = alone ? shown.start : typed.start.trimmed();
    } else if (std::optional<AppointmentValues> stored = AppointmentRows::byKey(m_con, shown.row)) {
        values = *stored;
    } else {
        throw StoreError(QStringLiteral("There is no current record."));  // deleted since the page showed it
    }
    values[F::Note] = typed.note.trimmed();
    values[F::TimeFinished] = typed.finish.trimmed();
    if (!shown.repeats || alone)
        values[F::DateValue] = Clock::dateText(typed.date);
    const qint64 row = refusedAs(kRecord, [&] {
        if (adding)
            return AppointmentRows::add(m_con, values);
        AppointmentRows::change(m_con, shown.row, values);
        return shown.row;
    });
    if (alone) {
        storeOccurrence(shown, row, typed.date, typed.finish.trimmed());
        return {Saved::Replaced, row};
    }
    if (shown.repeats)
        keepFinish(shown.row, typed.finish);
    else if (!shown.row)
        storeRepeat(row, typed.rule.value_or(QString()), typed.date, typed.start.trimmed(), typed.finish.trimmed());
    if (shown.row && typed.rule)
        changeRule(shown, *typed.rule, typed.date);
    return {!shown.row ? Saved::Added : shown.repeats ? Saved::Series : Saved::Changed, row};
}

Appointments::Save Appointments::changeRule(const Occurrences::Entry& e, const QString& rule, QDate day)
{
    if (std::optional<Occurrences::Series> s = Occurrences::seriesOf(m_con, e.row)) {
        s->rule = rule;
        Occurrences::write(m_con, *s);
    } else {
        storeRepeat(e.row, rule, day, e.start, e.finish);
    }
    return {Saved::RuleChanged, e.row};
}

Appointments::Removed Appointments::remove(const Occurrences::Entry& e, Scope scope)
{
    if (e.repeats && scope == Scope::One)
        return leaveOut(e.row, e.occurrence) ? Removed::Occurrence : Removed::Nothing;
    // A changed occurrence deleted leaves its day empty, not the series' occurrence back.
    if (const std::optional<Occurrences::Series> changed = Occurrences::seriesOf(m_con, e.row);
        changed && changed->seriesRow)
        leaveOut(changed->seriesRow, changed->recurrenceId);
    return refusedAs(kDeletion, [&] { return AppointmentRows::remove(m_con, e.row); }) ? Removed::Appointment
                                                                                       : Removed::Nothing;
}

void Appointments::storeRepeat(qint64 row, const QString& rule, QDate day, const QString& start, const QString& finish)
{
    if (rule.isEmpty())
        return;
    // Floating times: the series repeats at the same time of the user's clock.
    const std::optional<QTime> from = Clock::parseTime(start), to = Clock::parseTime(finish);
    Occurrences::Series s;
    s.row = row;
    s.rule = rule;
    s.start = Occurrences::textOf(from ? QDateTime(day, *from) : day.startOfDay(), QString(), !from);
    if (from && to && *to > *from)
        s.finish = Occurrences::textOf(QDateTime(day, *to), QString(), false);
    Occurrences::write(m_con, s);
}

void Appointments::keepFinish(qint64 row, const QString& finish)
{
    std::optional<Occurrences::Series> s = Occurrences::seriesOf(m_con, row);
    if (const std::optional<QTime> to = Clock::parseTime(finish); s && to) {
        Occurrences::setFinish(*s, *to);
        Occurrences::write(m_con, *s);
    }
}

bool Appointments::leaveOut(qint64 row, const QString& occurrence)
{
    std::optional<Occurrences::Series> s = Occurrences::seriesOf(m_con, row);
    if (!s)
        return false;
    s->exdates << occurrence;
    Occurrences::write(m_con, *s);
    return true;
}

void Appointments::storeOccurrence(const Occurrences::Entry& e, qint64 row, QDate date, const QString& finish)
{
    Occurrences::Series s;
    s.row = row;
    s.seriesRow = e.row;
    s.recurrenceId = e.occurrence;
    // Its own times as well: should the series go, it stays an appointment.
    const std::optional<QTime> from = Clock::parseTime(e.start);
    s.start = Occurrences::textOf(from ? QDateTime(date, *from) : date.startOfDay(), QString(), !from);
    if (const std::optional<QTime> to = Clock::parseTime(finish); to && from)
        Occurrences::setFinish(s, *to);
    Occurrences::write(m_con, s);
}
