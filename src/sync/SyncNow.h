#pragma once

#include <functional>

#include "sync/SyncFiles.h"

class DavSync;

// The sync with the server of the Sync Settings, on the program's own
// database: one line a collection, or the one error.
namespace SyncNow {
// `running` is told the sync under way, so that it can be cancelled.
FileOutcome run(const std::function<void(int)>& progress = {}, const std::function<void(DavSync*)>& running = {});
// From the File menu: a progress window with Cancel, then the result in a message.
void withProgress();
}  // namespace SyncNow
