#pragma once

#include <functional>
#include <optional>

#include <QHash>
#include <QStringList>

#include "sync/Dav.h"
#include "sync/SyncSettings.h"

class Connection;

// Two-way sync of the address book with one CardDAV address book, of the
// day planner with one CalDAV calendar and of the task list with the to-dos
// of that calendar (or of the first task list, where the calendar takes no
// to-dos), all found from the server address. Per collection:
//  1. read the server: what changed since the last sync (sync-collection,
//     or the whole list of ETags where the server lacks it) and the changed
//     resources themselves (one multiget);
//  2. in one store transaction, apply that here and decide what to send;
//     a record changed on both sides is kept twice (ours under a new UID);
//  3. send our changes, remembering each one the server took.
// A failure before 2 changes nothing here; one in 3 leaves both sides in a
// state the next sync completes.
class DavSync {
public:
    struct Counts {
        int sent = 0, received = 0, deletedHere = 0, deletedThere = 0, keptTwice = 0, leftOut = 0, refused = 0;
        int damaged = 0;                           // sent from the fields alone: what was kept of them no longer reads
        int rulesTooLarge = 0, zonesRepaired = 0;  // in what was received (SyncPlan::Remote)
        int outside = 0;                           // listed outside the collection's path, so left alone
        // Tasks received: without a due or start date that cannot be read;
        // at the top level as their parent is not here; cut from a loop of parents.
        int undated = 0, orphans = 0, loopsCut = 0;
        // Not done, tried again at the next sync: refused as changed there
        // (412) again after the collection was read anew; not found to delete.
        int refusedAgain = 0, notFound = 0;
        int failed() const { return refused + refusedAgain + notFound; }
    };
    // The server sends the sync to another origin: from the Sync Settings'
    // address to the one it names. Nothing was sent there; taking it is the user's choice.
    struct Move {
        QString from, to;
    };
    struct Result {
        bool ok = false;    // false also when a record was not done (the rest was synced)
        QStringList lines;  // one a collection, or the one error
        Counts contacts, appointments, tasks;
        int requests = 0;
        std::optional<Move> move;
        bool tokenRefused = false;  // the OAuth2 access token was refused: a renewed one may do
    };

    DavSync(const SyncSettings& settings, const ConnectionSettings& connection);
    // `progress` hears 0..100 as the work goes.
    Result run(Connection& con, const std::function<void(int)>& progress = {});
    // From any thread: stops before the next request, or before the store is changed.
    void cancel() { m_client.cancel(); }

private:
    struct Collection;
    void discover(Connection& con, Collection& c);
    void readServer(Connection& con, Collection& c);
    void applyHere(Connection& con, Collection& c);
    void send(Connection& con, Collection& c, const std::function<void()>& step);

    SyncSettings m_settings;
    QUrl m_root;  // the server's address as written in the Sync Settings
    DavClient m_client;
    // The calendar home's collections as listed for the first calendar
    // kind found in this sync, for the next one.
    std::optional<std::pair<Multistatus, QUrl>> m_calendars;
    // Resources read in this sync by href: events and tasks may share a collection.
    QHash<QString, DavResponse> m_read;
};

// The result lines of a sync as the File menu and the command line show them.
QString describe(const char* what, const DavSync::Counts& counts);
