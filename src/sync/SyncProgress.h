#pragma once

namespace SyncNow {
// From the File menu: the password (from the keyring, or asked for, each
// while a window shows the wait with Cancel), then the sync on a thread of
// its own, with a progress window and Cancel beside the program's windows,
// which go on working, then the result in a message. A server that sends
// the sync to another origin is named to the user, and only when they take
// it is it written to the Sync Settings and the sync run again there.
void withProgress();
}  // namespace SyncNow
