#include "sync/TaskMap.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

#include "sync/IcalParts.h"
#include "sync/SyncRecords.h"

namespace TaskMap {

namespace {

using F = TaskFields::Field;

// The fields a to-do carries, in the order of TaskFields (its place aside),
// and the parent's UID after them.
constexpr int kCarried = F::Parent;

QString textOf(icalcomponent* c, icalproperty_kind kind)
{
    icalproperty* p = icalcomponent_get_first_property(c, kind);
    if (!p)
        return {};
    QString text = QString::fromUtf8(kind == ICAL_SUMMARY_PROPERTY       ? icalproperty_get_summary(p)
                                     : kind == ICAL_DESCRIPTION_PROPERTY ? icalproperty_get_description(p)
                                                                         : icalproperty_get_uid(p));
    // Control characters but tab and line feed cannot be written back (libical drops them).
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t' && c != u'\n'; });
    return text;
}

icaltimetype timeOf(icalproperty* p)
{
    switch (icalproperty_isa(p)) {
    case ICAL_DUE_PROPERTY:
        return icalproperty_get_due(p);
    case ICAL_DTSTART_PROPERTY:
        return icalproperty_get_dtstart(p);
    case ICAL_COMPLETED_PROPERTY:
        return icalproperty_get_completed(p);
    case ICAL_LASTMODIFIED_PROPERTY:
        return icalproperty_get_lastmodified(p);
    default:
        return icalproperty_get_dtstamp(p);
    }
}

// A date as the store keeps it: a day, a time of the local clock, or UTC
// with a Z. A time in a named zone is turned into the local clock.
QString storedDate(icalcomponent* cal, icalproperty* p)
{
    if (!p)
        return {};
    icaltimetype t = timeOf(p);
    if (icaltime_is_null_time(t))
        return {};
    QString text;
    if (icalparameter* z = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER); z && !t.is_date) {
        const char* tzid = icalparameter_get_tzid(z);
        icaltimezone* zone = icalcomponent_get_timezone(cal, tzid);
        if (!zone)
            zone = icaltimezone_get_builtin_timezone(tzid);
        if (zone)
            text = QDateTime::fromSecsSinceEpoch(icaltime_as_timet_with_zone(t, zone))
                       .toLocalTime()
                       .toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
        t.zone = nullptr;
    }
    // libical keeps what it could not make sense of (month 31, hour 25), and
    // writes no time past the year 2999: no date to the task.
    if (text.isEmpty())
        text = QString::fromLatin1(icaltime_as_ical_string(t));
    const QDate day = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    const bool valid = day.isValid() && day.year() >= 1900 && day.year() <= 2999
                       && (t.is_date || QTime::fromString(text.mid(9, 6), QStringLiteral("HHmmss")).isValid());
    return valid ? text : QString();
}

// libical drops a date it cannot read and leaves a note of it: the date is
// put back as it came, under its own name, so the to-do goes out again
// whole. Returns how many it put back.
int restoreDates(icalcomponent* todo)
{
    std::vector<std::pair<icalproperty*, std::pair<QByteArray, QByteArray>>> dates;
    for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_XLICERROR_PROPERTY)) {
        const QString error = QString::fromUtf8(icalproperty_get_xlicerror(p));
        for (const char* name : {"DUE", "DTSTART", "COMPLETED"}) {
            const QString marker =
                QStringLiteral("in %1 property. Removing entire property: ").arg(QLatin1String(name));
            if (const qsizetype at = error.indexOf(marker); at >= 0)
                dates.push_back({p, {name, error.mid(at + marker.size()).toUtf8()}});
        }
    }
    for (const auto& [old, date] : dates) {
        icalproperty* kept = icalproperty_new_x(date.second.constData());
        icalproperty_set_x_name(kept, date.first.constData());
        EventMap::replaceInPlace(todo, old, kept);
    }
    return int(dates.size());
}

// libical reads a list ("CATEGORIES:home,garden") as one property a value,
// and writes it so: neighbours of one such name with the same parameters go
// back on one line, as they came, their values escaped as libical writes them.
void joinLists(icalcomponent* todo)
{
    std::vector<icalproperty*> all;
    for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_ANY_PROPERTY))
        all.push_back(p);
    const auto list = [](icalproperty* p) {
        return icalproperty_isa(p) == ICAL_CATEGORIES_PROPERTY || icalproperty_isa(p) == ICAL_RESOURCES_PROPERTY;
    };
    const auto params = [](icalproperty* p) {
        QByteArray text;
        for (icalparameter* a = icalproperty_get_first_parameter(p, ICAL_ANY_PARAMETER); a;
             a = icalproperty_get_next_parameter(p, ICAL_ANY_PARAMETER))
            text += QByteArray(icalparameter_as_ical_string(a)) + ';';
        return text;
    };
    for (size_t i = 0; i < all.size();) {
        size_t end = i + 1;
        while (list(all[i]) && end < all.size() && icalproperty_isa(all[end]) == icalproperty_isa(all[i])
               && params(all[end]) == params(all[i]))
            ++end;
        if (end - i > 1) {
            QByteArray values;
            for (size_t k = i; k < end; ++k)
                values += (k > i ? "," : "") + QByteArray(icalproperty_get_value_as_string(all[k]));
            icalproperty* joined = icalproperty_new_x(values.constData());
            icalproperty_set_x_name(joined, icalproperty_get_property_name(all[i]));
            for (icalparameter* a = icalproperty_get_first_parameter(all[i], ICAL_ANY_PARAMETER); a;
                 a = icalproperty_get_next_parameter(all[i], ICAL_ANY_PARAMETER))
                icalproperty_add_parameter(joined, icalparameter_new_clone(a));
            for (size_t k = i + 1; k < end; ++k) {
                icalcomponent_remove_property(todo, all[k]);
                icalproperty_free(all[k]);
            }
            EventMap::replaceInPlace(todo, all[i], joined);
        }
        i = end;
    }
}

bool isParent(icalproperty* related)
{
    icalparameter* type = icalproperty_get_first_parameter(related, ICAL_RELTYPE_PARAMETER);
    return !type || icalparameter_get_reltype(type) == ICAL_RELTYPE_PARENT;
}

icalproperty* parentOf(icalcomponent* todo)
{
    for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_RELATEDTO_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_RELATEDTO_PROPERTY))
        if (isParent(p))
            return p;
    return nullptr;
}

// Done by its STATUS: any of them (a writer may leave an empty one before it).
bool completed(icalcomponent* todo)
{
    for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_STATUS_PROPERTY))
        if (icalproperty_get_status(p) == ICAL_STATUS_COMPLETED)
            return true;
    return false;
}

QString number(icalcomponent* todo, icalproperty_kind kind)
{
    icalproperty* p = icalcomponent_get_first_property(todo, kind);
    return QString::number(!p                               ? 0
                           : kind == ICAL_PRIORITY_PROPERTY ? icalproperty_get_priority(p)
                                                            : icalproperty_get_percentcomplete(p));
}

}  // namespace

QStringList baseOf(const TaskValues& task, const QString& parentUid)
{
    QStringList out(task.begin(), task.begin() + kCarried);
    out << parentUid;
    return out;
}

Imported fromTodo(icalcomponent* cal, icalcomponent* todo)
{
    Imported in;
    in.dueUnreadable = restoreDates(todo) > 0;
    TaskValues& t = in.task;
    t[F::Title] = textOf(todo, ICAL_SUMMARY_PROPERTY);
    t[F::Notes] = textOf(todo, ICAL_DESCRIPTION_PROPERTY);
    icalproperty* due = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY);
    icalproperty* start = icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY);
    t[F::Due] = storedDate(cal, due);
    t[F::Start] = storedDate(cal, start);
    in.dueUnreadable = in.dueUnreadable || (due && t[F::Due].isEmpty()) || (start && t[F::Start].isEmpty());
    t[F::Priority] = number(todo, ICAL_PRIORITY_PROPERTY);
    t[F::Percent] = number(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
    t[F::Completed] = storedDate(cal, icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY));
    // Done without saying when: as of when it was last written.
    if (t[F::Completed].isEmpty() && completed(todo)) {
        icalproperty* when = icalcomponent_get_first_property(todo, ICAL_LASTMODIFIED_PROPERTY);
        t[F::Completed] = storedDate(cal, when ? when : icalcomponent_get_first_property(todo, ICAL_DTSTAMP_PROPERTY));
        if (t[F::Completed].isEmpty())
            t[F::Completed] = QStringLiteral("19700101T000000Z");
    }
    if (icalproperty* rule = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype r = icalproperty_get_rrule(rule);
        char* text = icalrecurrencetype_as_string_r(&r);
        t[F::Rule] = QString::fromUtf8(text);
        free(text);
    }
    if (icalproperty* parent = parentOf(todo))
        in.parentUid = QString::fromUtf8(icalproperty_get_relatedto(parent)).trimmed();
    in.object = EventMap::keptObject(cal, todo);
    // Blanks around a UID do not survive libical's writing: they are not part of it.
    in.uid = textOf(todo, ICAL_UID_PROPERTY).trimmed();
    if (in.uid.isEmpty())  // named by its content, so a second import finds it again
        in.uid = QString::fromLatin1(QCryptographicHash::hash(in.object, QCryptographicHash::Sha1).toHex());
    in.base = baseOf(t, in.parentUid);
    return in;
}

namespace {

// `now` in place of the first property of `kind` (the others go), or
// after the last property when there was none; nothing when `now` is null.
void put(icalcomponent* todo, icalproperty_kind kind, icalproperty* now)
{
    std::vector<icalproperty*> old;
    for (icalproperty* p = icalcomponent_get_first_property(todo, kind); p;
         p = icalcomponent_get_next_property(todo, kind))
        if (kind != ICAL_RELATEDTO_PROPERTY || isParent(p))
            old.push_back(p);
    for (size_t i = old.empty() || !now ? 0 : 1; i < old.size(); ++i) {
        icalcomponent_remove_property(todo, old[i]);
        icalproperty_free(old[i]);
    }
    if (now && !old.empty())
        EventMap::replaceInPlace(todo, old[0], now);
    else if (now)
        icalcomponent_add_property(todo, now);
}

icalproperty* dateProperty(icalproperty_kind kind, const QString& stored)
{
    if (stored.isEmpty())
        return nullptr;
    const icaltimetype t = icaltime_from_string(stored.toLatin1().constData());
    if (icaltime_is_null_time(t))
        return nullptr;
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, t.is_date ? icalvalue_new_date(t) : icalvalue_new_datetime(t));
    return p;
}

void set(icalcomponent* todo, int field, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    switch (field) {
    case F::Title:
        put(todo, ICAL_SUMMARY_PROPERTY, value.isEmpty() ? nullptr : icalproperty_new_summary(utf8.constData()));
        break;
    case F::Notes:
        put(todo, ICAL_DESCRIPTION_PROPERTY,
            value.isEmpty() ? nullptr : icalproperty_new_description(utf8.constData()));
        break;
    case F::Due:
        put(todo, ICAL_DUE_PROPERTY, dateProperty(ICAL_DUE_PROPERTY, value));
        break;
    case F::Start:
        put(todo, ICAL_DTSTART_PROPERTY, dateProperty(ICAL_DTSTART_PROPERTY, value));
        break;
    case F::Priority:
        put(todo, ICAL_PRIORITY_PROPERTY, value.toInt() ? icalproperty_new_priority(value.toInt()) : nullptr);
        break;
    case F::Percent:
        put(todo, ICAL_PERCENTCOMPLETE_PROPERTY,
            value.toInt() ? icalproperty_new_percentcomplete(value.toInt()) : nullptr);
        break;
    case F::Completed: {
        put(todo, ICAL_COMPLETED_PROPERTY, dateProperty(ICAL_COMPLETED_PROPERTY, value));
        if (!value.isEmpty())
            put(todo, ICAL_STATUS_PROPERTY, icalproperty_new_status(ICAL_STATUS_COMPLETED));
        else if (completed(todo))
            put(todo, ICAL_STATUS_PROPERTY, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
        break;
    }
    case F::Rule: {
        icalrecurrencetype r = icalrecurrencetype_from_string(utf8.constData());
        put(todo, ICAL_RRULE_PROPERTY,
            value.isEmpty() || r.freq == ICAL_NO_RECURRENCE ? nullptr : icalproperty_new_rrule(r));
        break;
    }
    default: {  // the parent
        icalproperty* related = nullptr;
        if (!value.isEmpty()) {
            related = icalproperty_new_relatedto(utf8.constData());
            icalproperty_add_parameter(related, icalparameter_new_reltype(ICAL_RELTYPE_PARENT));
        }
        put(todo, ICAL_RELATEDTO_PROPERTY, related);
    }
    }
}

icalcomponent* keptTodo(icalcomponent* cal, const Outgoing& o, QStringList& zones)
{
    icalcomponent* root = EventMap::parsed(o.kept);
    if (!root)
        return nullptr;
    icalcomponent* todo = nullptr;
    for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VTODO_COMPONENT); c && !todo;
         c = icalcomponent_get_next_component(root, ICAL_VTODO_COMPONENT))
        if (textOf(c, ICAL_UID_PROPERTY).trimmed() == o.uid
            || icalcomponent_get_first_property(c, ICAL_UID_PROPERTY) == nullptr)
            todo = icalcomponent_new_clone(c);
    if (todo) {
        restoreDates(todo);
        joinLists(todo);
        // What libical noted of the rest is its own, not the to-do's.
        while (icalproperty* note = icalcomponent_get_first_property(todo, ICAL_XLICERROR_PROPERTY)) {
            icalcomponent_remove_property(todo, note);
            icalproperty_free(note);
        }
        // One read without a UID goes out with the record's, so it is found again.
        if (!icalcomponent_get_first_property(todo, ICAL_UID_PROPERTY))
            icalcomponent_add_property(todo, icalproperty_new_uid(o.uid.toUtf8().constData()));
    }
    if (todo)
        for (icalcomponent* z = icalcomponent_get_first_component(root, ICAL_VTIMEZONE_COMPONENT); z;
             z = icalcomponent_get_next_component(root, ICAL_VTIMEZONE_COMPONENT)) {
            icalproperty* id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
            const QString tzid = id ? QString::fromUtf8(icalproperty_get_tzid(id)) : QString();
            if (!zones.contains(tzid)) {
                zones << tzid;
                icalcomponent_add_component(cal, icalcomponent_new_clone(z));
            }
        }
    icalcomponent_free(root);
    return todo;
}

}  // namespace

QList<Outgoing> outgoing(SyncRecords& rows)
{
    QList<Outgoing> out;
    QHash<qint64, QString> uids;
    QList<qint64> parents;
    rows.each([&](const RecordBytes& r) {
        Outgoing& o = out.emplaceBack();
        std::transform(r.values.begin(), r.values.end(), o.task.begin(),
                       [](QByteArrayView v) { return QString::fromUtf8(v); });
        o.key = r.key;
        o.uid = QString::fromUtf8(r.uid);
        uids.insert(r.key, o.uid);
        parents << o.task[F::Parent].toLongLong();
        if (!r.object.isEmpty()) {
            const KeptObject kept = SyncRecords::keptFrom(r.object, r.base);
            o.kept = kept.object;
            o.base = kept.base;
        }
    });
    const QSet<QString> here(uids.cbegin(), uids.cend());
    for (qsizetype i = 0; i < out.size(); ++i) {
        out[i].parentUid = uids.value(parents[i]);
        if (const QString kept = out[i].base.value(F::Parent);
            !uids.contains(parents[i]) && !kept.isEmpty() && !here.contains(kept))
            out[i].parentUid = kept;
    }
    return out;
}

int addTo(icalcomponent* cal, const QList<Outgoing>& tasks, QStringList& zones, const icaltimetype& stamp)
{
    int damaged = 0;
    for (const Outgoing& o : tasks) {
        icalcomponent* todo = o.kept.isEmpty() ? nullptr : keptTodo(cal, o, zones);
        damaged += !o.kept.isEmpty() && !todo ? 1 : 0;
        QStringList base = todo ? o.base : QStringList();
        if (!todo) {
            todo = icalcomponent_new(ICAL_VTODO_COMPONENT);
            icalcomponent_add_property(todo, icalproperty_new_uid(o.uid.toUtf8().constData()));
            icalcomponent_add_property(todo, icalproperty_new_dtstamp(stamp));
        }
        const QStringList now = baseOf(o.task, o.parentUid);
        for (int f = 0; f < now.size(); ++f)
            if (now[f] != base.value(f) && !(base.isEmpty() && (now[f].isEmpty() || now[f] == u"0")))
                set(todo, f, now[f]);
        icalcomponent_add_component(cal, todo);
    }
    return damaged;
}

}  // namespace TaskMap
