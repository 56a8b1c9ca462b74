#include "sync/InvitationPlanner.h"

#include <QUuid>

#include "kit/AppFolder.h"
#include "store/AppointmentRows.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/EventMap.h"
#include "sync/SyncRecords.h"

namespace InvitationPlanner {

namespace {

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
        // One occurrence is a record of its own, which the series it names takes in.
        const QString occurrence = Invitation::read(calendar, {}).recurrenceId;
        const QString target = occurrence.isEmpty() ? uid : EventMap::occurrenceUid(uid, occurrence);
        const EventMap::ReadResult read = EventMap::read(calendar);
        if (read.events.isEmpty())
            return QStringLiteral("The invitation's event could not be read into the planner.");
        rows.hashAttendance(uid);  // before the meeting changes, as it was synced
        for (const EventMap::Imported& in : read.events) {
            QStringList values(in.appointment.begin(), in.appointment.end());
            // Marked where the planner shows it; the kept event says TENTATIVE itself.
            if (tentative && in.uid == target)
                values[EventMap::Note].prepend(QStringLiteral("Tentative: "));
            rows.put(in.uid, values);
            rows.keep(in.uid, {in.object, values}, {});
        }
        // A whole series: its changed occurrences are the ones it holds now.
        if (occurrence.isEmpty())
            rows.keepOverrides(uid, calendar);
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

std::optional<Invitation::Sent> event(qint64 row, bool give)
{
    std::optional<Invitation::Sent> out;
    withRecords([&](Connection&, SyncRecords& rows) {
        const QStringList values = rows.row(row);
        EventMap::Outgoing o;
        o.series = rows.series(row);
        // A changed occurrence goes out inside its series' event, under its UID: it is no meeting of its own.
        if (values.isEmpty() || (o.series && o.series->seriesRow != 0))
            return QString();
        std::copy(values.begin(), values.end(), o.appointment.begin());
        o.uid = rows.uidOf(row);
        if (o.uid.isEmpty() && !give)
            return QString();
        if (o.uid.isEmpty()) {
            o.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            rows.link({o.uid, row, {}, {}, {}});
        }
        const KeptObject kept = rows.kept(o.uid);
        o.kept = kept.object;
        o.base = kept.base;
        if (o.series)
            o.overrides = EventMap::overridesOf(rows, row);
        out = Invitation::Sent{o.uid, EventMap::write({o}).bytes};
        return QString();
    });
    return out;
}

// The object becomes what the row was read from: its texts now are its base.
QString keep(const QString& uid, const QByteArray& object)
{
    return withRecords([&](Connection&, SyncRecords& rows) {
        const qint64 key = rows.keyOf(uid);
        if (key >= 0) {
            rows.hashAttendance(uid);  // before the meeting changes, as it was synced
            rows.keep(uid, {object, rows.row(key)}, {});
        }
        return QString();
    });
}

}  // namespace

Invitation::Planner planner()
{
    return {stored, take, remove, event, keep};
}

}  // namespace InvitationPlanner
