#include "sync/DavSync.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QUuid>

#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/ContactMap.h"
#include "sync/EventMap.h"
#include "sync/SyncRecords.h"

namespace {

struct Remote {
    QString uid;
    QStringList values;
    QString etag;
};

struct Upload {
    QString uid;
    QString href;
    QString etag;  // empty: a new resource
    QStringList values;
    bool remove = false;
};

bool readContact(const QByteArray& body, QString& uid, QStringList& values)
{
    const VCard::ReadResult read = VCard::read(body);
    if (read.cards.isEmpty())
        return false;
    const ContactMap::Imported in = ContactMap::fromCard(read.cards.first());
    uid = in.uid;
    values = QStringList(in.contact.begin(), in.contact.end());
    return true;
}

bool readEvent(const QByteArray& body, QString& uid, QStringList& values)
{
    const EventMap::ReadResult read = EventMap::read(body);
    if (read.events.isEmpty())
        return false;
    uid = read.events.first().uid;
    values = QStringList(read.events.first().appointment.begin(), read.events.first().appointment.end());
    return true;
}

QByteArray writeContact(const QStringList& values, const QString& uid)
{
    ContactMap::Contact c;
    std::copy(values.begin(), values.end(), c.begin());
    return ContactMap::toCard(c, uid);
}

// Empty when the appointment's date cannot be read.
QByteArray writeEvent(const QStringList& values, const QString& uid)
{
    EventMap::Outgoing o;
    std::copy(values.begin(), values.end(), o.appointment.begin());
    o.uid = uid;
    const EventMap::WriteResult w = EventMap::write({o});
    return w.unreadableDates ? QByteArray() : w.bytes;
}

const QByteArray kXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

[[noreturn]] void unexpected(const DavReply& r, const char* what)
{
    throw SyncError(
        QStringLiteral("The sync server %1 answered %2 when asked %3.").arg(r.url.host()).arg(r.status).arg(what));
}

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

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
    bool (*read)(const QByteArray&, QString&, QStringList&);
    QByteArray (*write)(const QStringList&, const QString&);

    QUrl url = {};
    bool rediscovered = false;  // what the map knew of the server no longer holds
    QString origin = {};        // server and user the collection was found for
    QString token = {}, newToken = {};
    QMap<QString, Remote> fetched = {};  // by href: new or changed on the server
    QStringList removed = {};            // hrefs gone from the server
    QList<Upload> uploads = {};
    Counts counts = {};

    QString key(const char* name) const { return shape.kind + u'.' + QLatin1String(name); }
    // Where a new resource of ours goes: its UID when that is a plain name.
    QString hrefFor(const QString& uid) const
    {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]{1,100}$"));
        const QString name =
            plain.match(uid).hasMatch()
                ? uid
                : QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex());
        return url.path(QUrl::FullyEncoded) + name + QLatin1String(extension);
    }
};

DavSync::DavSync(const SyncSettings& settings, const ConnectionSettings& connection)
    : m_settings(settings)
    , m_client(settings.userName, settings.password, connection)
{
}

void DavSync::discover(Connection& con, Collection& c)
{
    QString address = m_settings.server.trimmed();
    if (address.isEmpty())
        throw SyncError(QStringLiteral("No sync server is set: enter one in Properties, Sync Settings."));
    if (!address.contains(QStringLiteral("://")))
        address.prepend(QStringLiteral("https://"));
    QUrl root(address);
    if (!root.isValid() || root.host().isEmpty() || (root.scheme() != u"https" && root.scheme() != u"http"))
        throw SyncError(QStringLiteral("The sync server address %1 is not a web address.").arg(address));
    if (root.path().isEmpty())
        root.setPath(QStringLiteral("/"));

    c.origin = root.toString() + u'\n' + m_settings.userName;
    c.token = SyncStore::value(con, c.key("Token"));
    c.url = QUrl(SyncStore::value(con, c.key("Url")));
    if (SyncStore::value(con, c.key("Origin")) == c.origin && c.url.isValid() && !c.url.isEmpty())
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
    const QUrl homeUrl = home.isEmpty() ? principal : at.resolved(QUrl(home));
    const auto [list, listedAt] = propfind(homeUrl, "1", "<D:resourcetype/>");
    QStringList found;
    for (const DavResponse& r : list.responses)
        if (r.props.value(QStringLiteral("resourcetype")).split(u' ').contains(QLatin1String(c.type)))
            found << r.href;
    if (found.isEmpty())
        throw SyncError(QStringLiteral("The sync server %1 has no %2 for %3.")
                            .arg(root.host(),
                                 QLatin1String(qstrcmp(c.type, "calendar") == 0 ? "calendar" : "address book"),
                                 m_settings.userName));
    found.sort();  // the same one for every program that syncs with it
    c.url = listedAt.resolved(QUrl(found.first()));
    if (!c.url.path().endsWith(u'/'))
        c.url.setPath(c.url.path() + u'/');
}

void DavSync::readServer(Connection& con, Collection& c)
{
    QMap<QString, QString> known;  // href -> ETag as last synced
    {
        SyncRecords rows(con, c.shape);
        if (!c.rediscovered)
            for (const MapEntry& e : rows.entries())
                if (!e.href.isEmpty())
                    known.insert(e.href, e.etag);
    }
    const auto syncReport = [&](const QString& token) {
        return m_client.send("REPORT", c.url,
                             kXml + "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>"
                                 + token.toHtmlEscaped().toUtf8()
                                 + "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop>"
                                   "</D:sync-collection>",
                             {{"Depth", "1"}});
    };
    bool wholeList = c.token.isEmpty();
    DavReply r = syncReport(c.token);
    if (r.status != 207 && !wholeList) {  // the server forgot our token
        wholeList = true;
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
    QMap<QString, QString> listed;
    const QString self = c.url.path(QUrl::FullyEncoded);
    for (const DavResponse& d : ms.responses) {
        if (d.href == self)
            continue;
        if (d.status == 404)
            c.removed << d.href;
        else if (d.props.contains(QStringLiteral("getetag")))
            listed.insert(d.href, d.props.value(QStringLiteral("getetag")));
    }
    if (wholeList)
        for (auto it = known.cbegin(); it != known.cend(); ++it)
            if (!listed.contains(it.key()))
                c.removed << it.key();
    QByteArray hrefs;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        if (!known.contains(it.key()) || known.value(it.key()) != it.value())
            hrefs += "<D:href>" + it.key().toHtmlEscaped().toUtf8() + "</D:href>";
    if (hrefs.isEmpty())
        return;
    r = m_client.send("REPORT", c.url,
                      kXml + "<C:" + c.multiget + " xmlns:D=\"DAV:\" xmlns:C=\"" + c.ns
                          + "\"><D:prop><D:getetag/><C:" + c.data + "/></D:prop>" + hrefs + "</C:" + c.multiget + ">",
                      {{"Depth", "1"}});
    if (r.status != 207)
        unexpected(r, "for changed records");
    for (const DavResponse& d : parseMultistatus(r.body, r.url).responses) {
        Remote remote;
        remote.etag = d.props.value(QStringLiteral("getetag"));
        if (c.read(d.props.value(QLatin1String(c.data)).toUtf8(), remote.uid, remote.values))
            c.fetched.insert(d.href, remote);
    }
}

void DavSync::applyHere(Connection& con, Collection& c)
{
    SyncRecords rows(con, c.shape);
    rows.begin();
    if (c.rediscovered)
        for (const MapEntry& e : rows.entries()) {
            if (e.key < 0)
                rows.forget(e.uid);
            else
                rows.link({e.uid, e.key, {}, {}, e.hash});
        }
    QHash<qint64, QStringList> mine;
    for (const KeyedRecord& r : rows.all())
        mine.insert(r.key, r.values);
    QList<MapEntry> map = rows.entries();
    QHash<QString, MapEntry*> byHref, byUid;
    for (MapEntry& e : map) {
        if (!e.href.isEmpty())
            byHref.insert(e.href, &e);
        byUid.insert(e.uid, &e);
        if (!mine.contains(e.key))
            e.key = -1;
    }
    QSet<QString> settled;  // UIDs the server's changes decided
    const auto sendNew = [&](const QString& uid, qint64 key, const QStringList& values) {
        rows.link({uid, key, {}, {}, {}});
        c.uploads << Upload{uid, c.hrefFor(uid), {}, values};
    };
    for (auto it = c.fetched.cbegin(); it != c.fetched.cend(); ++it) {
        const Remote& s = it.value();
        const MapEntry linked{s.uid, -1, it.key(), s.etag, SyncRecords::hash(s.values)};
        const MapEntry* m = byHref.value(it.key(), byUid.value(s.uid));
        settled << s.uid;
        if (m)
            settled << m->uid;
        if (m && m->uid != s.uid)
            rows.forget(m->uid);
        if (!m || m->key < 0) {
            rows.link({s.uid, rows.insertRow(s.values), linked.href, linked.etag, linked.hash});
            ++c.counts.received;
            continue;
        }
        const QStringList& here = mine[m->key];
        if (here != s.values && linked.hash == m->hash) {  // the server holds what was last synced
            rows.link({s.uid, m->key, linked.href, linked.etag, m->hash});
            c.uploads << Upload{s.uid, linked.href, linked.etag, here};
            continue;
        }
        if (here != s.values) {
            rows.updateRow(m->key, s.values);
            ++c.counts.received;
        }
        rows.link({s.uid, m->key, linked.href, linked.etag, linked.hash});
        if (here != s.values && SyncRecords::hash(here) != m->hash) {
            // Changed on both sides: the server's version keeps the row, ours becomes a record of its own.
            sendNew(newUid(), rows.insertRow(here), here);
            ++c.counts.keptTwice;
        }
    }
    for (const QString& href : c.removed) {
        const MapEntry* m = byHref.value(href);
        if (!m || settled.contains(m->uid))
            continue;
        settled << m->uid;
        if (m->key >= 0 && SyncRecords::hash(mine[m->key]) != m->hash) {
            sendNew(m->uid, m->key, mine[m->key]);  // changed here: it goes back
            continue;
        }
        if (m->key >= 0) {
            rows.deleteRow(m->key);
            ++c.counts.deletedHere;
        }
        rows.forget(m->uid);
    }
    QSet<qint64> mapped;
    for (const MapEntry& m : map) {
        mapped << m.key;
        if (settled.contains(m.uid))
            continue;
        if (m.key < 0 && m.href.isEmpty())
            rows.forget(m.uid);
        else if (m.key < 0)
            c.uploads << Upload{m.uid, m.href, m.etag, {}, true};
        else if (m.href.isEmpty())
            c.uploads << Upload{m.uid, c.hrefFor(m.uid), {}, mine[m.key]};
        else if (SyncRecords::hash(mine[m.key]) != m.hash)
            c.uploads << Upload{m.uid, m.href, m.etag, mine[m.key]};
    }
    for (auto it = mine.cbegin(); it != mine.cend(); ++it)
        if (!mapped.contains(it.key()))
            sendNew(newUid(), it.key(), it.value());
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
    bool listAgain = false;  // the server changed under us: the next sync reads it whole
    const auto remember = [&] {
        rows.begin();
        for (const MapEntry& e : sent)
            rows.recordSent(e);
        for (const QString& uid : gone)
            rows.forget(uid);
        if (listAgain)
            SyncStore::setValue(con, c.key("Token"), QString());
        rows.commit();
    };
    try {
        for (const Upload& u : c.uploads) {
            QList<std::pair<QByteArray, QByteArray>> headers;
            if (u.etag.isEmpty())
                headers.emplaceBack("If-None-Match", "*");
            else
                headers.emplaceBack("If-Match", u.etag.toUtf8());
            QUrl url = c.url;
            url.setPath(u.href);
            if (u.remove) {
                const DavReply r = m_client.send("DELETE", url, {}, headers);
                if (r.status / 100 == 2 || r.status == 404) {
                    gone << u.uid;
                    ++c.counts.deletedThere;
                } else if (r.status == 412) {
                    listAgain = true;
                } else {
                    unexpected(r, "to delete a record");
                }
            } else if (const QByteArray body = c.write(u.values, u.uid); body.isEmpty()) {
                ++c.counts.leftOut;
            } else {
                headers.emplaceBack("Content-Type", c.mime);
                const DavReply r = m_client.send("PUT", url, body, headers);
                if (r.status / 100 == 2) {
                    sent << MapEntry{u.uid, -1, u.href, QString::fromUtf8(r.etag), SyncRecords::hash(u.values)};
                    ++c.counts.sent;
                } else if (r.status == 412) {
                    listAgain = true;
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
         "text/vcard; charset=utf-8", readContact, writeContact},
        {TableShape::appointments(), "Appointments", "/.well-known/caldav", "urn:ietf:params:xml:ns:caldav",
         "calendar-home-set", "calendar", "calendar-multiget", "calendar-data", ".ics", "text/calendar; charset=utf-8",
         readEvent, writeEvent},
    };
    Result result;
    bool applied = false;
    try {
        report(0);
        for (Collection& c : collections) {
            discover(con, c);
            readServer(con, c);
            report(&c == collections ? 20 : 40);
        }
        {
            // Both collections in one transaction: all of what the server said, or none of it.
            SyncRecords hold(con, TableShape::contacts());
            hold.begin();
            for (Collection& c : collections)
                applyHere(con, c);
            hold.commit();
        }
        applied = true;
        report(50);
        const qsizetype total = collections[0].uploads.size() + collections[1].uploads.size();
        qsizetype done = 0;
        for (Collection& c : collections)
            send(con, c, [&] { report(50 + int(50 * ++done / std::max<qsizetype>(total, 1))); });
        result.ok = collections[0].counts.refused + collections[1].counts.refused == 0;
        result.lines = QStringList{describe(collections[0].what, collections[0].counts),
                                   describe(collections[1].what, collections[1].counts)};
    } catch (const SyncError& e) {
        result.lines << e.reason();
    } catch (const StoreError& e) {
        result.lines << QStringLiteral("The sync cannot use the records here: %1").arg(e.reason());
    }
    if (result.lines.size() == 1 && applied)
        result.lines.last() += QStringLiteral(" What came from the server is kept; the rest goes at the next sync.");
    result.contacts = collections[0].counts;
    result.appointments = collections[1].counts;
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
    return line + u'.';
}
