#include "sync/SyncPlan.h"

#include <map>
#include <optional>

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace SyncPlan {

QString hrefFor(const QString& collection, const QString& uid, const QString& extension)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]{1,100}$"));
    const QString name =
        plain.match(uid).hasMatch()
            ? uid
            : QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex());
    return collection + name + extension;
}

Plan reconcile(const Input& in, const std::function<QString()>& newUid)
{
    Plan p;
    std::map<QString, std::optional<MapEntry>> next;  // by UID: the map entry afterwards, or none
    const auto link = [&](const MapEntry& e) { next[e.uid] = e; };
    const auto forget = [&](const QString& uid) { next[uid] = std::nullopt; };

    // A map made with another server keeps only which row has which UID; the
    // records deleted here are then forgotten below, as never sent.
    QList<MapEntry> map;
    for (MapEntry e : in.map) {
        if (in.newServer) {
            e.href.clear();
            e.etag.clear();
            link(e);
        }
        map << e;
    }
    QMap<QString, QString> known;  // href -> ETag as last synced
    for (const MapEntry& e : map)
        if (!e.href.isEmpty())
            known.insert(e.href, e.etag);
    for (auto it = in.server.etags.cbegin(); it != in.server.etags.cend(); ++it)
        if ((!known.contains(it.key()) || known.value(it.key()) != it.value()) && !in.server.fetched.contains(it.key()))
            p.fetch << it.key();
    if (!p.fetch.isEmpty())
        return p;

    QStringList removed = in.server.removed;
    if (in.server.whole)
        for (auto it = known.cbegin(); it != known.cend(); ++it)
            if (!in.server.etags.contains(it.key()))
                removed << it.key();

    QHash<qint64, QStringList> mine;
    QHash<qint64, QString> exceptions;
    for (const KeyedRecord& r : in.local) {
        mine.insert(r.key, r.values);
        if (!r.exceptions.isEmpty())
            exceptions.insert(r.key, r.exceptions);
    }
    // Whether the row changed since it was synced: its fields, or the
    // occurrences of its series left out or changed.
    const auto changedHere = [&](qint64 key, const QString& synced) {
        return SyncRecords::hash(mine.value(key), exceptions.value(key)) != synced;
    };
    const auto upload = [&](const QString& uid, const QString& href, const QString& etag, qint64 key) {
        p.uploads << Upload{uid, href, etag, mine.value(key), false, exceptions.value(key)};
    };
    QHash<QString, const MapEntry*> byHref, byUid;
    for (MapEntry& e : map) {
        if (!mine.contains(e.key))
            e.key = -1;
        if (!e.href.isEmpty())
            byHref.insert(e.href, &e);
        byUid.insert(e.uid, &e);
    }
    const auto insert = [&](const QString& uid, const QStringList& values) {
        p.rows << Row{Row::Insert, -1, values, uid};
    };
    const auto sendNew = [&](const QString& uid, qint64 key, const QStringList& values, const QString& x) {
        link({uid, key, {}, {}, {}});
        p.uploads << Upload{uid, hrefFor(in.collection, uid, in.extension), {}, values, false, x};
    };

    QSet<QString> settled;  // UIDs the server's changes decided
    for (auto it = in.server.fetched.cbegin(); it != in.server.fetched.cend(); ++it) {
        const Remote& s = it.value();
        if (!s.readable)
            continue;
        const MapEntry linked{s.uid, -1, it.key(), s.etag, SyncRecords::hash(s.values, s.exceptions)};
        const MapEntry* m = byHref.value(it.key(), byUid.value(s.uid));
        settled << s.uid;
        if (m)
            settled << m->uid;
        if (m && m->uid != s.uid)
            forget(m->uid);
        if (!m || m->key < 0) {  // new, or changed there after it was deleted here: the server's version wins
            insert(s.uid, s.values);
            link(linked);
            ++p.received;
            continue;
        }
        const QStringList here = mine.value(m->key);
        const QString hereX = exceptions.value(m->key);
        // A series' fields and its exceptions are two parts that may change apart.
        const bool fieldsThere = SyncRecords::fieldsHash(linked.hash) != SyncRecords::fieldsHash(m->hash);
        const bool exceptionsHere =
            SyncRecords::exceptionsHash(SyncRecords::hash(here, hereX)) != SyncRecords::exceptionsHash(m->hash);
        if (here == s.values && hereX == s.exceptions) {
            link({s.uid, m->key, linked.href, linked.etag, linked.hash});
        } else if (linked.hash == m->hash || (!fieldsThere && !exceptionsHere && here != s.values)) {
            // The server holds what was last synced, or changed there are
            // only the exceptions and here only the fields: ours goes back,
            // with the exceptions the server holds unless changed here.
            link({s.uid, m->key, linked.href, linked.etag, m->hash});
            if (exceptionsHere)
                p.ours << s.uid;
            p.uploads << Upload{s.uid, linked.href, linked.etag, here, false, exceptionsHere ? hereX : s.exceptions};
        } else {
            if (here != s.values)
                p.rows << Row{Row::Update, m->key, s.values, {}};
            ++p.received;
            link({s.uid, m->key, linked.href, linked.etag, linked.hash});
            if (changedHere(m->key, m->hash)) {
                // Changed on both sides: the server's version keeps the row,
                // ours becomes a record of its own, a series with all its exceptions.
                const QString uid = newUid();
                p.rows << Row{Row::Insert, -1, here, uid, m->key};
                sendNew(uid, -1, here, hereX);
                p.theirs << s.uid;
                ++p.keptTwice;
            }
        }
    }
    for (const QString& href : removed) {
        const MapEntry* m = byHref.value(href);
        if (!m || settled.contains(m->uid))
            continue;
        settled << m->uid;
        if (m->key >= 0 && changedHere(m->key, m->hash)) {
            sendNew(m->uid, m->key, mine.value(m->key), exceptions.value(m->key));  // changed here: it goes back
        } else {
            if (m->key >= 0) {
                p.rows << Row{Row::Delete, m->key, {}, {}};
                ++p.deletedHere;
            }
            forget(m->uid);
        }
    }
    QSet<qint64> mapped;
    for (const MapEntry& m : map) {
        mapped << m.key;
        if (settled.contains(m.uid))
            continue;
        if (m.key < 0 && m.href.isEmpty())
            forget(m.uid);
        else if (m.key < 0)
            p.uploads << Upload{m.uid, m.href, m.etag, {}, true};
        else if (m.href.isEmpty())
            upload(m.uid, hrefFor(in.collection, m.uid, in.extension), {}, m.key);
        else if (changedHere(m.key, m.hash))
            upload(m.uid, m.href, m.etag, m.key);
    }
    for (const KeyedRecord& r : in.local)
        if (!mapped.contains(r.key))
            sendNew(newUid(), r.key, r.values, r.exceptions);

    for (const auto& [uid, entry] : next) {
        if (entry)
            p.links.insert(uid, *entry);
        else
            p.forgets << uid;
    }
    return p;
}

}  // namespace SyncPlan
