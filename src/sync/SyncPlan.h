#pragma once

#include <functional>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "sync/SyncRecords.h"

// What one collection's sync does, decided from what the server listed, the
// sync map and the records here, without touching either side: a value the
// sync then carries out (DavSync), and that a table of cases checks alone.
namespace SyncPlan {

// A resource the server holds. `readable` is false when it was asked for but
// did not come back as one record: it is left as it is on both sides.
struct Remote {
    QString uid = {};
    QStringList values = {};
    QString etag = {};
    bool readable = true;
    // The resource as it came, kept beside the record it becomes (empty:
    // nothing to keep), and what of it has no field. The plan needs neither.
    QByteArray object = {};
    QString more = {};
    // A series' occurrences left out or changed, as KeyedRecord::exceptions has them.
    QString exceptions = {};
    // Of an event: rules too large to expand, and time zones whose rules
    // change too often, that the reading had to deal with (EventMap::ReadResult).
    int rulesTooLarge = 0, zonesRepaired = 0;
    // Of a task: a DUE or DTSTART that is no date, kept in the object alone.
    int undated = 0;
};

struct Listing {
    bool whole = false;             // every resource listed, not only the changes since the token
    QMap<QString, QString> etags;   // href -> ETag, as listed
    QStringList removed;            // hrefs the server says are gone
    QMap<QString, Remote> fetched;  // href -> the resource, once read
};

struct Input {
    Listing server;
    QList<MapEntry> map;
    QList<KeyedRecord> local;  // what fetching needs no record: empty is fine until then
    bool newServer = false;    // the map's hrefs belong to a server synced before
    QString collection;        // path of the collection, ending in '/'
    QString extension;         // of a new resource: ".vcf", ".ics"
};

// A change of a local row, done in this order. An insert's new key goes to
// the map entry of `uid`.
struct Row {
    enum Kind { Insert, Update, Delete } kind;
    qint64 key = -1;  // Update, Delete
    QStringList values;
    QString uid;  // Insert
    // Insert: the row repeats as this one does, with its exceptions (-1: it does not).
    qint64 copyOf = -1;

    bool operator==(const Row&) const = default;
};

struct Upload {
    QString uid;
    QString href;
    QString etag;  // empty: a new resource
    QStringList values;
    bool remove = false;
    QString exceptions = {};  // KeyedRecord::exceptions: the map's hash takes them in

    bool operator==(const Upload&) const = default;
};

struct Plan {
    // Hrefs to read before anything else can be decided: while there are
    // any, the rest of the plan is empty.
    QStringList fetch;
    QList<Row> rows;
    // The map afterwards, by UID; the rows first, then these. An entry of a
    // row inserted above takes the new key; key -1 is a row deleted here.
    QMap<QString, MapEntry> links;
    QStringList forgets;
    QList<Upload> uploads;
    // Series read anew that become what the server holds, each change of
    // their occurrences here replaced (a copy of ours was made above).
    QStringList theirs;
    // Series read anew whose occurrences left out or changed here stay as
    // they are here and go back.
    QStringList ours;
    int received = 0, deletedHere = 0, keptTwice = 0;
};

// `newUid` names the records that are new to the server.
Plan reconcile(const Input& in, const std::function<QString()>& newUid);

// Where a new resource goes: its UID when that is a plain name, else a hash of it.
QString hrefFor(const QString& collection, const QString& uid, const QString& extension);

}  // namespace SyncPlan
