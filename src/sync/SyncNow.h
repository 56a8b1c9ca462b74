#pragma once

#include <functional>
#include <optional>

#include "sync/DavSync.h"
#include "sync/SyncFiles.h"
#include "sync/SyncSettings.h"

// What a sync ended with; `move` when the server sends it to another origin.
struct SyncOutcome : FileOutcome {
    std::optional<DavSync::Move> move;
    bool tokenRefused = false;
};

// The sync with the server of the Sync Settings, on the program's own
// database: one line a collection, or the one error.
namespace SyncNow {
// `running` is told the sync under way, so that it can be cancelled. The
// settings are those `given`, else the store's; the password theirs, else
// the keyring's; without one nothing is sent and the outcome says which
// password is missing. It waits for the server on the thread that calls it:
// the command line's, or a SyncJob's (which is given the settings read on
// the window's thread, password included: the keyring answers there only).
// An OAuth2 sign-in needs the access token among the settings: the command
// line, which opens no browser, says so and sends nothing.
SyncOutcome run(const std::function<void(int)>& progress = {}, const std::function<void(DavSync*)>& running = {},
                const std::optional<SyncSettings>& given = {});
}  // namespace SyncNow
