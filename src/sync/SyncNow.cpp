#include "sync/SyncNow.h"

#include <sqlite3.h>

#include <QScopeGuard>

#include "kit/AppFolder.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailSettings.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/DavSync.h"

namespace {
// The window may be saving a record; its writes are short.
constexpr int kBusyWaitMs = 15000;
const QString kNoPassword = QStringLiteral("No password of the sync user %1 at %2 is stored on this computer: "
                                           "enter it in File, Sync Settings.");
const QString kNoBrowser = QStringLiteral("The sync server %1 takes a %2 sign-in, which needs the browser: "
                                          "use File, Sync Now.");
}  // namespace

SyncOutcome SyncNow::run(const std::function<void(int)>& progress, const std::function<void(DavSync*)>& running,
                         const std::optional<SyncSettings>& given)
{
    SyncOutcome outcome;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_busy_timeout(con.handle(), kBusyWaitMs);
        SyncSettings settings = given ? *given : SyncStore::readSettings(con);
        if (settings.signIn == SignInKind::OAuth2 && settings.accessToken.isEmpty()) {
            outcome.message = kNoBrowser.arg(settings.server, oauthProviderName(settings.oauth.kind));
            return outcome;
        }
        if (settings.signIn == SignInKind::Password && settings.password.isEmpty() && !settings.server.isEmpty()) {
            const Secrets::Answer answer = readSecretNow(con, SyncStore::kSecret);
            settings.password = answer.outcome == Secrets::Outcome::Done ? answer.text : QString();
            if (settings.password.isEmpty()) {
                outcome.message = kNoPassword.arg(settings.userName, settings.server);
                return outcome;
            }
        }
        DavSync sync(settings, connectionSettings());
        if (running)
            running(&sync);
        const auto done = qScopeGuard([&] {
            if (running)
                running(nullptr);
        });
        const DavSync::Result result = sync.run(con, progress);
        outcome.ok = result.ok;
        outcome.message = result.lines.join(u'\n');
        outcome.move = result.move;
        outcome.tokenRefused = result.tokenRefused;
    } catch (const StoreError& e) {
        outcome.message = QStringLiteral("The sync cannot use the records here: %1").arg(e.reason());
    }
    return outcome;
}
