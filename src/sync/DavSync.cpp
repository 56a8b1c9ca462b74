#include "sync/DavSync.h"

#include <QSet>
#include <QUuid>

#include <algorithm>

#include "kit/Invitation.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "store/TaskRows.h"
#include "sync/ContactMap.h"
#include "sync/EventMap.h"
#include "sync/SyncPlan.h"
#include "sync/SyncRecords.h"

namespace {

SyncPlan::Remote readContact(const QByteArray& body)
{
    const VCard::ReadResult read = VCard::read(body);
    if (read.cards.isEmpty())
        return {.readable = false};
    const ContactMap::Imported in = ContactMap::fromCard(read.cards.first());
    return {in.uid,
            QStringList(in.contact.begin(), in.contact.end()),
            {},
            true,
            read.cards.first().raw,
            in.more.join(u'\n')};
}

// The series is the record (its UID is the shortest: an occurrence's adds
// its RECURRENCE-ID); the detached occurrences travel inside the resource
// kept with it, those on a date the planner cannot hold too, as they came.
// A resource with an event that does not read, or that had to be cleaned,
// is not kept: it goes back as the record's fields say.
SyncPlan::Remote readEvent(const QByteArray& body)
{
    const EventMap::ReadResult read = EventMap::read(body);
    if (read.events.isEmpty())
        return {.readable = false};
    const auto& series = *std::min_element(read.events.begin(), read.events.end(),
                                           [](const auto& a, const auto& b) { return a.uid.size() < b.uid.size(); });
    const bool keep =
        read.malformed == read.outOfReach
        && std::none_of(read.events.begin(), read.events.end(), [](const auto& e) { return e.object.isEmpty(); });
    SyncPlan::Remote remote{
        series.uid,
        QStringList(series.appointment.begin(), series.appointment.end()),
        {},
        true,
        keep ? body : QByteArray(),
        {},
        SyncRecords::withAttendance(SyncRecords::exceptionsOf(body, series.uid), keep ? body : QByteArray())};
    remote.rulesTooLarge = read.rulesBeyondBudget;
    remote.zonesRepaired = read.zonesReplaced + read.zonesFixed;
    return remote;
}

// A resource of one to-do (a resource with events is the planner's): the
// values it gives with its parent's UID, kept as it came.
SyncPlan::Remote readTask(const QByteArray& body)
{
    const EventMap::ReadResult read = EventMap::read(body);
    if (read.tasks.isEmpty() || !read.events.isEmpty() || read.malformed > 0)
        return {.readable = false};
    const TaskMap::Imported& in = read.tasks.first();
    SyncPlan::Remote remote{in.uid, in.base, {}, true, in.object};
    remote.undated = in.dueUnreadable ? 1 : 0;
    return remote;
}

// The rows as the sync compares them with the server's.
QList<KeyedRecord> allRows(SyncRecords& rows)
{
    return rows.all();
}

// A task's values but its place, and its parent's UID after them
// (TaskMap::baseOf): where a task stands here is no server's business.
// Every task is given a UID first, so a new one's parent is named too.
QList<KeyedRecord> taskRows(SyncRecords& rows)
{
    QList<KeyedRecord> out;
    for (const TaskMap::Outgoing& o : TaskMap::outgoing(rows))
        out << KeyedRecord{o.key, o.uid, TaskMap::baseOf(o.task, o.parentUid)};
    return out;
}

// The record as it goes to the server: what is kept of it with only the
// changes made here, or, for one made here, as a file would have it.
// Empty bytes: an appointment whose date cannot be read.
WrittenObject writeContact(SyncRecords& rows, const QString& uid, const QStringList& values)
{
    return outgoingCard(rows, uid, values);
}

WrittenObject writeEvent(SyncRecords& rows, const QString& uid, const QStringList& values)
{
    EventMap::Outgoing o;
    std::copy(values.begin(), values.end(), o.appointment.begin());
    o.uid = uid;
    const KeptObject kept = rows.kept(uid);
    o.kept = kept.object;
    o.base = kept.base;
    o.series = rows.series(uid);
    if (o.series)
        o.overrides = EventMap::overridesOf(rows, o.series->row);
    const EventMap::WriteResult w = EventMap::write({o});
    return {w.unreadableDates ? QByteArray() : w.bytes, w.damaged > 0};
}

WrittenObject writeTask(SyncRecords& rows, const QString& uid, const QStringList& values)
{
    TaskMap::Outgoing o;
    std::copy_n(values.begin(), std::min<qsizetype>(values.size(), TaskFields::Parent), o.task.begin());
    o.uid = uid;
    o.parentUid = values.value(TaskFields::Parent);
    const KeptObject kept = rows.kept(uid);
    o.kept = kept.object;
    o.base = kept.base;
    const EventMap::WriteResult w = EventMap::write({}, {o});
    return {w.bytes, w.damaged > 0};
}

// A task row from the values a server's to-do gave: the place of `stored`
// kept, a new one last at the top level until placeTasks() puts it under its parent.
QStringList taskRow(Connection& con, const QStringList& values, QStringList stored)
{
    if (stored.isEmpty()) {
        stored = QStringList(TaskFields::Count);
        stored[TaskFields::Parent] = QStringLiteral("0");
        stored[TaskFields::Position] = QString::number(TaskRows::nextPosition(con, 0));
    }
    for (int f = 0; f < TaskFields::Parent; ++f)
        stored[f] = values.value(f);
    return stored;
}

// Once every task the server sent is stored, each stands under the parent
// it names (`named`), and so does a task here at the top level whose parent
// `arrived` now. A parent that is not here leaves the task at the top level
// (it is found when it comes); a loop of parents is cut at the task that
// closes it, which stands at the top level. Both are counted.
void placeTasks(Connection& con, SyncRecords& rows, QList<std::pair<qint64, QString>> named,
                const QSet<QString>& arrived, DavSync::Counts& counts)
{
    using F = TaskFields::Field;
    for (const TaskMap::Outgoing& o : TaskMap::outgoing(rows))
        if (o.task[F::Parent] == u"0" && arrived.contains(o.base.value(F::Parent)))
            named.emplaceBack(o.key, o.base.value(F::Parent));
    const auto putUnder = [&](qint64 key, QStringList row, qint64 parent) {
        if (row.value(F::Parent).toLongLong() == parent)
            return;
        row[F::Parent] = QString::number(parent);
        row[F::Position] = QString::number(TaskRows::nextPosition(con, parent));
        rows.updateRow(key, row);
    };
    for (const auto& [key, parentUid] : named) {
        qint64 parent = parentUid.isEmpty() ? 0 : rows.keyOf(parentUid);
        if (parent < 0) {
            ++counts.orphans;
            parent = 0;
        }
        if (const QStringList row = rows.row(key); !row.isEmpty())
            putUnder(key, row, parent);
    }
    const auto parentOf = [&](qint64 key) { return rows.row(key).value(F::Parent).toLongLong(); };
    // Whether the parents above the task come back to it.
    const auto inLoop = [&](qint64 key) {
        QSet<qint64> seen;
        for (qint64 up = parentOf(key); up > 0 && !seen.contains(up); up = parentOf(up)) {
            if (up == key)
                return true;
            seen << up;
        }
        return false;
    };
    for (const auto& [key, parentUid] : named)
        if (inLoop(key)) {
            ++counts.loopsCut;
            putUnder(key, rows.row(key), 0);
        }
}

const QByteArray kXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

[[noreturn]] void unexpected(const DavReply& r, const char* what)
{
    throw SyncError(
        QStringLiteral("The sync server %1 answered %2 when asked %3.").arg(r.url.host()).arg(r.status).arg(what));
}

// The Sync Settings' address as a URL: https when no scheme is written.
QUrl serverUrl(const QString& written)
{
    QString address = written.trimmed();
    if (!address.contains(QStringLiteral("://")))
        address.prepend(QStringLiteral("https://"));
    QUrl root(address);
    if (root.path().isEmpty())
        root.setPath(QStringLiteral("/"));
    return root;
}

const QString kCancelledLater = QStringLiteral("The sync was cancelled.");
const QString kKeptFromServer = QStringLiteral(" What came from the server is kept; the rest goes at the next sync.");
const QString kSyncedMeanwhile =
    QStringLiteral("The records here were synced by another program meanwhile; nothing was changed by this sync.");

}  // namespace

struct DavSync::Collection {
    const TableShape& shape;
    const char* what;  // for the result line
    const char* wellKnown;
    const char* ns;        // the CardDAV or CalDAV namespace
    const char* homeSet;   // property of the principal
    const char* type;      // resourcetype of the collection
    const char* multiget;  // report that fetches resources by href
    const char* data;      // property that carries a resource
    const char* extension;
    const char* mime;
    SyncPlan::Remote (*read)(const QByteArray&);
    WrittenObject (*write)(SyncRecords&, const QString& uid, const QStringList& values);
    QList<KeyedRecord> (*local)(SyncRecords&);
    const char* component;  // of a calendar: the one it syncs (VEVENT, VTODO)

    QUrl url = {};              // empty: the server keeps no collection for it, so it is not synced
    bool rediscovered = false;  // what the map knew of the server no longer holds
    QString origin = {};        // server and user the collection was found for
    QString token = {}, newToken = {};
    SyncPlan::Listing listing = {};
    QList<SyncPlan::Upload> uploads = {};
    Counts counts = {};

    QString key(const char* name) const { return shape.kind + u'.' + QLatin1String(name); }
    bool tasks() const { return &shape == &TableShape::tasks(); }
    SyncPlan::Plan plan(const QList<MapEntry>& map, const QList<KeyedRecord>& local) const
    {
        return SyncPlan::reconcile(
            {listing, map, local, rediscovered, url.path(QUrl::FullyEncoded), QLatin1String(extension)},
            [] { return QUuid::createUuid().toString(QUuid::WithoutBraces); });
    }
};

DavSync::DavSync(const SyncSettings& settings, const ConnectionSettings& connection)
    : m_settings(settings)
    , m_root(serverUrl(settings.server))
    , m_client(settings.userName, settings.password, settings.accessToken, m_root, connection)
{
}

void DavSync::discover(Connection& con, Collection& c)
{
    if (m_settings.server.trimmed().isEmpty())
        throw SyncError(QStringLiteral("No sync server is set: enter one in Properties, Sync Settings."));
    const QUrl& root = m_root;
    if (!root.isValid() || root.host().isEmpty() || (root.scheme() != u"https" && root.scheme() != u"http"))
        throw SyncError(
            QStringLiteral("The sync server address %1 is not a web address.").arg(m_settings.server.trimmed()));

    c.origin = root.toString() + u'\n' + m_settings.userName;
    c.token = SyncStore::value(con, c.key("Token"));
    c.url = QUrl(SyncStore::value(con, c.key("Url")));
    if (SyncStore::value(con, c.key("Origin")) == c.origin && c.url.isValid() && sameOrigin(c.url, root))
        return;
    c.rediscovered = true;
    c.token.clear();
    const auto propfind = [&](const QUrl& url, const char* depth, const QByteArray& props) {
        const DavReply r = m_client.send("PROPFIND", url,
                                         kXml + "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"" + c.ns + "\"><D:prop>" + props
                                             + "</D:prop></D:propfind>",
                                         {{"Depth", depth}});
        return std::pair{r.status == 207 ? parseMultistatus(r.body, r.url) : Multistatus{}, r.url};
    };
    const auto first = [](const Multistatus& ms, const char* prop) {
        return ms.responses.isEmpty() ? QString() : ms.responses.first().props.value(QLatin1String(prop));
    };
    const auto home = [&] {
        QUrl principal = root;
        for (const QUrl& start : {root.resolved(QUrl(QLatin1String(c.wellKnown))), root}) {
            const auto [ms, at] = propfind(start, "0", "<D:current-user-principal/>");
            if (const QString href = first(ms, "current-user-principal"); !href.isEmpty()) {
                principal = at.resolved(QUrl(href));
                break;
            }
        }
        const auto [homes, at] = propfind(principal, "0", "<C:" + QByteArray(c.homeSet) + "/>");
        const QString home = first(homes, c.homeSet);
        return propfind(home.isEmpty() ? principal : at.resolved(QUrl(home)), "1",
                        c.component ? "<D:resourcetype/><C:supported-calendar-component-set/>" : "<D:resourcetype/>");
    };
    const std::pair<Multistatus, QUrl> listed = c.component && m_calendars ? *m_calendars : home();
    if (c.component)
        m_calendars = listed;
    const auto& [list, listedAt] = listed;
    // Each collection of the type with the components it takes (none said: any).
    QList<std::pair<QString, QStringList>> found;
    for (const DavResponse& r : list.responses)
        if (r.props.value(QStringLiteral("resourcetype")).split(u' ').contains(QLatin1String(c.type)))
            found.emplaceBack(
                r.href,
                r.props.value(QStringLiteral("supported-calendar-component-set")).split(u' ', Qt::SkipEmptyParts));
    std::sort(found.begin(), found.end());  // the same one for every program that syncs with it
    const auto takes = [&](const char* component) {
        return [component](const std::pair<QString, QStringList>& f) {
            return !component || f.second.isEmpty() || f.second.contains(QLatin1String(component));
        };
    };
    // Tasks go with the events where their calendar takes them, else to the first task list.
    auto pick = std::find_if(found.cbegin(), found.cend(), takes(c.component ? "VEVENT" : nullptr));
    if (pick == found.cend() || !takes(c.component)(*pick))
        pick = std::find_if(found.cbegin(), found.cend(), takes(c.component));
    if (pick == found.cend() && c.tasks()) {
        c.url.clear();
        return;
    }
    if (pick == found.cend())
        throw SyncError(QStringLiteral("The sync server %1 has no %2 for %3.")
                            .arg(root.host(),
                                 QLatin1String(qstrcmp(c.type, "calendar") == 0 ? "calendar" : "address book"),
                                 m_settings.userName));
    c.url = listedAt.resolved(QUrl(pick->first));
    if (!c.url.path().endsWith(u'/'))  // escapes kept as the server wrote them
        c.url.setPath(c.url.path(QUrl::FullyEncoded) + u'/', QUrl::TolerantMode);
}

void DavSync::readServer(Connection& con, Collection& c)
{
    const auto syncReport = [&](const QString& token) {
        return m_client.send("REPORT", c.url,
                             kXml + "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>"
                                 + token.toHtmlEscaped().toUtf8()
                                 + "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop>"
                                   "</D:sync-collection>",
                             {{"Depth", "1"}});
    };
    c.listing.whole = c.token.isEmpty();
    DavReply r = syncReport(c.token);
    if (r.status != 207 && !c.listing.whole) {  // the server forgot our token
        c.listing.whole = true;
        r = syncReport(QString());
    }
    if (r.status != 207) {  // no sync-collection: the ETags of all
        r = m_client.send("PROPFIND", c.url,
                          kXml + "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:getetag/></D:prop></D:propfind>",
                          {{"Depth", "1"}});
        if (r.status == 404)
            SyncStore::setValue(con, c.key("Origin"), QString());  // look for it again next time
        if (r.status != 207)
            unexpected(r, "for its records");
    }
    const Multistatus ms = parseMultistatus(r.body, r.url);
    c.newToken = ms.syncToken;
    const QString self = c.url.path(QUrl::FullyEncoded);
    for (const DavResponse& d : ms.responses) {
        if (d.href == self || d.href + u'/' == self)
            continue;
        if (!d.href.startsWith(self)) {  // not ours to read, change or delete, whatever the server says
            ++c.counts.outside;
            continue;
        }
        if (d.status == 404)
            c.listing.removed << d.href;
        else if (d.props.contains(QStringLiteral("getetag")))
            c.listing.etags.insert(d.href, d.props.value(QStringLiteral("getetag")));
    }
    // Events and tasks may share a collection: each kind leaves the other's resources alone.
    if (c.component)
        for (const MapEntry& e :
             SyncRecords(con, c.tasks() ? TableShape::appointments() : TableShape::tasks()).entries())
            c.listing.etags.remove(e.href);
    // What to read depends on the map alone; the records are read with it when the plan is carried out.
    const SyncPlan::Plan first = c.plan(SyncRecords(con, c.shape).entries(), {});
    QByteArray hrefs;
    for (const QString& href : first.fetch)
        if (!m_read.contains(href))  // not read already for the other kind
            hrefs += "<D:href>" + href.toHtmlEscaped().toUtf8() + "</D:href>";
    if (!hrefs.isEmpty()) {
        r = m_client.send("REPORT", c.url,
                          kXml + "<C:" + c.multiget + " xmlns:D=\"DAV:\" xmlns:C=\"" + c.ns
                              + "\"><D:prop><D:getetag/><C:" + c.data + "/></D:prop>" + hrefs + "</C:" + c.multiget
                              + ">",
                          {{"Depth", "1"}});
        if (r.status != 207)
            unexpected(r, "for changed records");
        for (const DavResponse& d : parseMultistatus(r.body, r.url).responses)
            m_read.insert(d.href, d);
    }
    for (const QString& href : first.fetch) {
        SyncPlan::Remote remote{.readable = false};  // unless it came back
        if (const auto d = m_read.constFind(href); d != m_read.cend()) {
            remote = c.read(d->props.value(QLatin1String(c.data)).toUtf8());
            remote.etag = d->props.value(QStringLiteral("getetag"));
        }
        c.listing.fetched.insert(href, remote);
    }
}

namespace {

// A series the server no longer holds goes with the occurrences changed in it.
void deleteSeries(SyncRecords& rows, qint64 key)
{
    for (const qint64 changed : rows.overrideRows(key))
        rows.deleteRow(changed);
    rows.deleteRow(key);
}

}  // namespace

void DavSync::applyHere(Connection& con, Collection& c)
{
    SyncRecords rows(con, c.shape);
    rows.begin();
    rows.hashAttendance();
    const QList<KeyedRecord> local = c.local(rows);  // first: it may give records their UIDs
    const SyncPlan::Plan plan = c.plan(rows.entries(), local);
    if (!plan.fetch.isEmpty())  // the map moved since the server was read: another sync of this store
        throw SyncError(kSyncedMeanwhile);
    // What is left out here of a series whose exceptions go back, and whom
    // a meeting that goes back invites here, before its object is taken.
    QHash<QString, QStringList> leftOut;
    QHash<QString, QByteArray> invitedHere;
    for (const QString& uid : plan.ours) {
        if (const auto series = rows.series(plan.links.value(uid).key))
            leftOut.insert(uid, series->exdates);
        invitedHere.insert(uid, rows.kept(uid).object);
    }
    QHash<QString, qint64> inserted;
    QList<std::pair<qint64, QString>> parents;  // of tasks: the parent each names
    for (const SyncPlan::Row& r : plan.rows) {
        if (r.kind == SyncPlan::Row::Insert) {
            const qint64 key = rows.insertRow(c.tasks() ? taskRow(con, r.values, {}) : r.values);
            inserted.insert(r.uid, key);
            if (r.copyOf >= 0)
                rows.copySeries(r.copyOf, key);
            parents.emplaceBack(key, r.values.value(TaskFields::Parent));
        } else if (r.kind == SyncPlan::Row::Update) {
            rows.updateRow(r.key, c.tasks() ? taskRow(con, r.values, rows.row(r.key)) : r.values);
            parents.emplaceBack(r.key, r.values.value(TaskFields::Parent));
        } else {
            deleteSeries(rows, r.key);
        }
    }
    for (const QString& uid : plan.forgets)
        rows.forget(uid);
    for (MapEntry e : plan.links) {
        e.key = inserted.value(e.uid, e.key);
        rows.link(e);
    }
    if (c.tasks())  // each under its parent, now that every one has its key
        placeTasks(con, rows, parents, QSet<QString>(inserted.keyBegin(), inserted.keyEnd()), c.counts);
    // Whatever the plan made of a resource, the record now stands for what
    // the server holds: that is what goes back, with the changes made here.
    for (const SyncPlan::Remote& s : std::as_const(c.listing.fetched))
        if (s.readable && plan.links.contains(s.uid)) {
            c.counts.rulesTooLarge += s.rulesTooLarge;
            c.counts.zonesRepaired += s.zonesRepaired;
            c.counts.undated += s.undated;
        }
    for (const SyncPlan::Remote& s : std::as_const(c.listing.fetched))
        if (s.readable && !s.object.isEmpty() && plan.links.contains(s.uid)) {
            rows.keep(s.uid, {s.object, s.values}, s.more);
            if (!plan.ours.contains(s.uid)) {
                rows.keepOverrides(s.uid, s.object, plan.theirs.contains(s.uid));
            } else {
                if (auto series = rows.series(s.uid); series && leftOut.contains(s.uid)) {
                    series->exdates = leftOut.value(s.uid);
                    Occurrences::write(con, *series);
                }
                const QByteArray mine = invitedHere.value(s.uid);
                if (!mine.isEmpty() && Invitation::attendance(mine) != Invitation::attendance(s.object))
                    rows.keep(s.uid, {Invitation::withAttendeesOf(s.object, mine), s.values}, s.more);
            }
        }
    // A series taken as the server holds it is synced with the exceptions
    // its object gave it here.
    const QHash<qint64, QString> exceptions = rows.exceptions();
    QHash<QString, const SyncPlan::Remote*> read;
    for (const SyncPlan::Remote& r : std::as_const(c.listing.fetched))
        if (r.readable)
            read.insert(r.uid, &r);
    for (MapEntry e : plan.links) {
        e.key = inserted.value(e.uid, e.key);
        const SyncPlan::Remote* s = read.value(e.uid);
        if (s && e.key >= 0 && e.hash == SyncRecords::hash(s->values, s->exceptions)) {
            const QString read = e.hash;
            e.hash = SyncRecords::hash(s->values, exceptions.value(e.key));
            if (e.hash != read)
                rows.link(e);
        }
    }
    c.uploads = plan.uploads;
    c.counts.received = plan.received;
    c.counts.deletedHere = plan.deletedHere;
    c.counts.keptTwice = plan.keptTwice;
    SyncStore::setValue(con, c.key("Url"), c.url.toString());
    SyncStore::setValue(con, c.key("Token"), c.newToken);
    SyncStore::setValue(con, c.key("Origin"), c.origin);
    rows.commit();
}

void DavSync::send(Connection& con, Collection& c, const std::function<void()>& step)
{
    SyncRecords rows(con, c.shape);
    QList<MapEntry> sent;
    QStringList gone;
    // The next sync reads the collection whole: the server changed under us,
    // or we made a resource after the token was given, and a server need not
    // report the removal of what did not exist at its token.
    bool listAgain = false;
    // Each record refused as changed there, with the ETag it was sent for: a
    // second refusal of the same after the collection was read anew is a
    // server that will not take it, said as such.
    const QStringList stale = SyncStore::value(con, c.key("Stale")).split(u'\n', Qt::SkipEmptyParts);
    QStringList staleNow;
    const auto refusedAsChanged = [&](const SyncPlan::Upload& u) {
        listAgain = true;
        staleNow << u.uid + u'\t' + u.etag;
        if (stale.contains(staleNow.last()))
            ++c.counts.refusedAgain;
    };
    const auto remember = [&] {
        rows.begin();
        for (const MapEntry& e : sent)
            rows.recordSent(e);
        for (const QString& uid : gone)
            rows.forget(uid);
        if (listAgain)
            SyncStore::setValue(con, c.key("Token"), QString());
        if (staleNow != stale)
            SyncStore::setValue(con, c.key("Stale"), staleNow.join(u'\n'));
        rows.commit();
    };
    try {
        for (const SyncPlan::Upload& u : c.uploads) {
            QList<std::pair<QByteArray, QByteArray>> headers;
            if (u.etag.isEmpty())
                headers.emplaceBack("If-None-Match", "*");
            else
                headers.emplaceBack("If-Match", u.etag.toUtf8());
            const QUrl url = hrefUrl(c.url, u.href);
            if (u.remove) {
                const DavReply r = m_client.send("DELETE", url, {}, headers);
                if (r.status / 100 == 2) {
                    gone << u.uid;
                    ++c.counts.deletedThere;
                } else if (r.status == 404) {  // gone meanwhile, or not where we looked: the next listing says
                    ++c.counts.notFound;
                } else if (r.status == 412) {
                    refusedAsChanged(u);
                } else {
                    unexpected(r, "to delete a record");
                }
            } else if (const WrittenObject body = c.write(rows, u.uid, u.values); body.bytes.isEmpty()) {
                ++c.counts.leftOut;
            } else {
                c.counts.damaged += body.damaged ? 1 : 0;
                headers.emplaceBack("Content-Type", c.mime);
                const DavReply r = m_client.send("PUT", url, body.bytes, headers);
                if (r.status / 100 == 2) {
                    sent << MapEntry{u.uid, -1, u.href, QString::fromUtf8(r.etag),
                                     SyncRecords::hash(u.values, u.exceptions)};
                    ++c.counts.sent;
                    listAgain |= u.etag.isEmpty();
                } else if (r.status == 412) {
                    refusedAsChanged(u);
                } else {
                    ++c.counts.refused;  // it stays here and is offered again next time
                }
            }
            step();
        }
    } catch (const SyncError&) {
        remember();
        throw;
    }
    remember();
}

DavSync::Result DavSync::run(Connection& con, const std::function<void(int)>& progress)
{
    const auto report = [&](int percent) {
        if (progress)
            progress(percent);
    };
    Collection collections[] = {
        {TableShape::contacts(), "Contacts", "/.well-known/carddav", "urn:ietf:params:xml:ns:carddav",
         "addressbook-home-set", "addressbook", "addressbook-multiget", "address-data", ".vcf",
         "text/vcard; charset=utf-8", readContact, writeContact, allRows, nullptr},
        {TableShape::appointments(), "Appointments", "/.well-known/caldav", "urn:ietf:params:xml:ns:caldav",
         "calendar-home-set", "calendar", "calendar-multiget", "calendar-data", ".ics", "text/calendar; charset=utf-8",
         readEvent, writeEvent, allRows, "VEVENT"},
        {TableShape::tasks(), "Tasks", "/.well-known/caldav", "urn:ietf:params:xml:ns:caldav", "calendar-home-set",
         "calendar", "calendar-multiget", "calendar-data", ".ics", "text/calendar; charset=utf-8", readTask, writeTask,
         taskRows, "VTODO"},
    };
    Result result;
    bool applied = false;
    try {
        report(0);
        for (Collection& c : collections) {
            discover(con, c);
            if (!c.url.isEmpty())
                readServer(con, c);
            report(int(10 * (&c - collections + 1) + 10));
        }
        if (m_client.cancelled())
            throw SyncError(kSyncCancelled);
        {
            // All collections in one transaction: all of what the server said, or none of it.
            SyncRecords hold(con, TableShape::contacts());
            hold.begin();
            for (Collection& c : collections)
                if (!c.url.isEmpty())
                    applyHere(con, c);
            hold.commit();
        }
        applied = true;
        report(50);
        qsizetype total = 0, done = 0;
        for (const Collection& c : collections)
            total += c.uploads.size();
        for (Collection& c : collections)
            if (!c.url.isEmpty())
                send(con, c, [&] { report(50 + int(50 * ++done / std::max<qsizetype>(total, 1))); });
        result.ok = std::all_of(std::begin(collections), std::end(collections),
                                [](const Collection& c) { return c.counts.failed() == 0; });
        for (const Collection& c : collections)
            result.lines
                << (c.url.isEmpty()
                        ? QStringLiteral("%1: not synced, the server keeps no task list.").arg(QLatin1String(c.what))
                        : describe(c.what, c.counts));
    } catch (const ServerMoved& e) {
        result.move = Move{m_root.toString(QUrl::RemoveUserInfo), e.to.toString(QUrl::RemoveUserInfo)};
        result.lines << QStringLiteral(
                            "The sync server %1 sends the sync to another server, %2; nothing was sent there.")
                            .arg(result.move->from, result.move->to);
    } catch (const TokenRefused& e) {
        result.tokenRefused = true;
        result.lines << e.reason();
    } catch (const SyncError& e) {
        result.lines << e.reason();
    } catch (const StoreError& e) {
        result.lines << QStringLiteral("The sync cannot use the records here: %1").arg(e.reason());
    }
    if (result.lines.size() == 1 && applied)
        result.lines.last() = (m_client.cancelled() ? kCancelledLater : result.lines.last()) + kKeptFromServer;
    result.contacts = collections[0].counts;
    result.appointments = collections[1].counts;
    result.tasks = collections[2].counts;
    result.requests = m_client.requests();
    report(100);
    return result;
}

QString describe(const char* what, const DavSync::Counts& n)
{
    QString line = QStringLiteral("%1: %2 sent, %3 received, %4 deleted here, %5 deleted on the server, %6 kept twice")
                       .arg(QLatin1String(what))
                       .arg(n.sent)
                       .arg(n.received)
                       .arg(n.deletedHere)
                       .arg(n.deletedThere)
                       .arg(n.keptTwice);
    if (n.leftOut)
        line += QStringLiteral("; left out %1 whose date cannot be read").arg(n.leftOut);
    if (n.refused)
        line += QStringLiteral("; the server refused %1").arg(n.refused);
    if (n.outside)
        line += QStringLiteral("; left alone %1 the server listed outside the collection").arg(n.outside);
    if (n.refusedAgain)
        line += QStringLiteral("; the server refused %1 again as changed there, tried again at the next sync")
                    .arg(n.refusedAgain);
    if (n.notFound)
        line +=
            QStringLiteral("; %1 to delete not found on the server, looked for again at the next sync").arg(n.notFound);
    if (n.undated)
        line += QStringLiteral("; kept %1 without a due or start date that cannot be read").arg(n.undated);
    if (n.orphans)
        line += QStringLiteral("; put %1 whose parent task is not there at the top level").arg(n.orphans);
    if (n.loopsCut)
        line += QStringLiteral("; put %1 at the top level to end a loop of parent tasks").arg(n.loopsCut);
    if (n.damaged)
        line +=
            QStringLiteral("; sent %1 from the fields alone, what was kept with them cannot be read").arg(n.damaged);
    if (n.rulesTooLarge)
        line += QStringLiteral("; took only the first occurrence of %1 whose repeat rule is too large to expand")
                    .arg(n.rulesTooLarge);
    if (n.zonesRepaired)
        line += QStringLiteral("; used the system's rules, or fixed offsets, for %1 time %2 whose own are too large "
                               "to work out")
                    .arg(n.zonesRepaired)
                    .arg(QLatin1String(n.zonesRepaired == 1 ? "zone" : "zones"));
    return line + u'.';
}
