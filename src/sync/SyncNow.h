#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "sync/SyncFiles.h"

class DavSync;

// The sync with the server of the Sync Settings, on the program's own
// database: one line a collection, or the one error.
namespace SyncNow {
// `running` is told the sync under way, so that it can be cancelled. It
// waits for the server on the thread that calls it: the command line's, or a
// SyncJob's, which hands over the password it read (else it is read here).
FileOutcome run(const std::function<void(int)>& progress = {}, const std::function<void(DavSync*)>& running = {},
                const std::optional<QString>& password = {});
// From the File menu: a progress window with Cancel beside the program's
// windows, which go on working, then the result in a message.
void withProgress();
}  // namespace SyncNow
