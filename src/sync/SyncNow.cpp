#include "sync/SyncNow.h"

#include <sqlite3.h>

#include "kit/AppFolder.h"
#include "kit/ConnectionSettings.h"
#include "kit/LoadingProgress.h"
#include "kit/MsgBox.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/DavSync.h"

namespace {
// The window may be saving a record; its writes are short.
constexpr int kBusyWaitMs = 15000;
}  // namespace

FileOutcome SyncNow::run(const std::function<void(int)>& progress, const std::function<void(DavSync*)>& running)
{
    FileOutcome outcome;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_busy_timeout(con.handle(), kBusyWaitMs);
        DavSync sync(SyncStore::readSettings(con), connectionSettings());
        if (running)
            running(&sync);
        const DavSync::Result result = sync.run(con, progress);
        if (running)
            running(nullptr);
        outcome.ok = result.ok;
        outcome.message = result.lines.join(u'\n');
    } catch (const StoreError& e) {
        outcome.message = QStringLiteral("The sync cannot use the records here: %1").arg(e.reason());
    }
    return outcome;
}

void SyncNow::withProgress()
{
    LoadingProgress window(QStringLiteral("Sync Now"));
    window.show();
    DavSync* current = nullptr;
    QObject::connect(&window, &LoadingProgress::Cancelled, &window, [&current] {
        if (current)
            current->cancel();
    });
    const FileOutcome outcome =
        run([&window](int percent) { window.setPercent(percent); }, [&current](DavSync* s) { current = s; });
    window.hide();
    MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
}
