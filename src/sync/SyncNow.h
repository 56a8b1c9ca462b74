#pragma once

#include <functional>

#include <QString>

#include "sync/SyncFiles.h"

class DavSync;

// The sync with the server of the Sync Settings, on the program's own
// database: one line a collection, or the one error.
namespace SyncNow {
// `running` is told the sync under way, so that it can be cancelled. The
// password is `password`, else the table's, else the keyring's; without one
// nothing is sent and the outcome says which password is missing.
FileOutcome run(const std::function<void(int)>& progress = {}, const std::function<void(DavSync*)>& running = {},
                const QString& password = {});
// From the File menu: the password (from the keyring, or asked for, each
// while a window shows the wait with Cancel), then a progress window with
// Cancel, then the result in a message.
void withProgress();
}  // namespace SyncNow
