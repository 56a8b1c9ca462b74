#include "sync/InvitationPlanner.h"

#include <libical/ical.h>

#include <memory>

#include "kit/AppFolder.h"
#include "store/AppointmentRows.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/EventMap.h"
#include "sync/SyncRecords.h"

namespace InvitationPlanner {

namespace {

struct IcalFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, IcalFree>;

QByteArray occurrenceKey(icalcomponent* ev)
{
    icalproperty* rid = icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY);
    if (!rid)
        return {};
    icaltimetype t = icalcomponent_get_recurrenceid(ev);
    if (t.zone && !icaltime_is_utc(t))
        t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
    return icaltime_as_ical_string(t);
}

// The kept series with the changed occurrence in place of the one it
// replaces (or beside the others), and the zones it names that the series
// did not have.
QByteArray withOccurrence(const QByteArray& kept, const QByteArray& incoming)
{
    const Component series(icalparser_parse_string(kept.constData()));
    const Component changed(icalparser_parse_string(incoming.constData()));
    if (!series || !changed || icalcomponent_isa(series.get()) != ICAL_VCALENDAR_COMPONENT
        || icalcomponent_isa(changed.get()) != ICAL_VCALENDAR_COMPONENT)
        return incoming;
    icalcomponent* occurrence = icalcomponent_get_first_component(changed.get(), ICAL_VEVENT_COMPONENT);
    if (!occurrence)
        return incoming;
    const QByteArray key = occurrenceKey(occurrence);
    for (icalcomponent* ev = icalcomponent_get_first_component(series.get(), ICAL_VEVENT_COMPONENT); ev;) {
        icalcomponent* next = icalcomponent_get_next_component(series.get(), ICAL_VEVENT_COMPONENT);
        if (occurrenceKey(ev) == key) {
            icalcomponent_remove_component(series.get(), ev);
            icalcomponent_free(ev);
        }
        ev = next;
    }
    for (icalcomponent* zone = icalcomponent_get_first_component(changed.get(), ICAL_VTIMEZONE_COMPONENT); zone;
         zone = icalcomponent_get_next_component(changed.get(), ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* id = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
        const char* tzid = id ? icalproperty_get_tzid(id) : nullptr;
        if (tzid && !icalcomponent_get_timezone(series.get(), tzid))
            icalcomponent_add_component(series.get(), icalcomponent_new_clone(zone));
    }
    icalproperty* method = icalcomponent_get_first_property(series.get(), ICAL_METHOD_PROPERTY);
    if (method) {
        icalcomponent_remove_property(series.get(), method);
        icalproperty_free(method);
    }
    icalcomponent_add_component(series.get(), icalcomponent_new_clone(occurrence));
    char* text = icalcomponent_as_ical_string_r(series.get());
    QByteArray bytes(text);
    free(text);  // NOLINT(cppcoreguidelines-no-malloc): libical's own allocation
    return bytes;
}

template <class Work>
QString withRecords(Work work)
{
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        SyncRecords rows(con, TableShape::appointments());
        QString said = work(con, rows);
        rows.commit();
        return said;
    } catch (const StoreError& e) {
        return QStringLiteral("The planner could not be changed: %1").arg(e.reason());
    }
}

std::optional<Invitation::Stored> stored(const QString& uid)
{
    std::optional<Invitation::Stored> out;
    withRecords([&](Connection&, SyncRecords& rows) {
        const qint64 key = rows.keyOf(uid);
        if (key >= 0 && !rows.row(key).isEmpty())
            out = Invitation::Stored{key, rows.kept(uid).object};
        return QString();
    });
    return out;
}

QString take(const QByteArray& calendar, const QString& uid, bool tentative)
{
    return withRecords([&](Connection&, SyncRecords& rows) {
        const Invitation::Invite invite = Invitation::read(calendar, {});
        QByteArray object = calendar;
        QString target = uid;
        if (!invite.recurrenceId.isEmpty()) {
            const QByteArray kept = rows.kept(uid).object;
            if (!kept.isEmpty()) {
                object = withOccurrence(kept, calendar);
                target = EventMap::occurrenceUid(uid, invite.recurrenceId);
            }
        }
        const EventMap::ReadResult read = EventMap::read(object);
        if (read.events.isEmpty())
            return QStringLiteral("The invitation's event could not be read into the planner.");
        for (const EventMap::Imported& in : read.events) {
            QStringList values(in.appointment.begin(), in.appointment.end());
            // Marked where the planner shows it; the kept event says TENTATIVE itself.
            if (tentative && in.uid == target)
                values[EventMap::Note].prepend(QStringLiteral("Tentative: "));
            rows.put(in.uid, values);
            rows.keep(in.uid, {in.object, values}, {});
        }
        return QString();
    });
}

QString remove(const QString& uid)
{
    return withRecords([&](Connection& con, SyncRecords& rows) {
        const qint64 key = rows.keyOf(uid);
        if (key < 0)
            return QString();
        for (const qint64 row : rows.overrideRows(key))
            AppointmentRows::remove(con, row);
        AppointmentRows::remove(con, key);
        return QString();
    });
}

}  // namespace

Invitation::Planner planner()
{
    return {stored, take, remove};
}

}  // namespace InvitationPlanner
