#include "sync/SyncNow.h"

#include <sqlite3.h>

#include <QApplication>
#include <QTimer>

#include "controls/PasswordPrompt.h"
#include "kit/AppFolder.h"
#include "kit/ConnectionSettings.h"
#include "kit/LoadingProgress.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/DavSync.h"

namespace {
// The window may be saving a record; its writes are short.
constexpr int kBusyWaitMs = 15000;
const QString kNoPassword = QStringLiteral("No password of the sync user %1 at %2 is stored on this computer: "
                                           "enter it in File, Sync Settings.");
const QString kSyncAccount = QStringLiteral("the sync user %1 at %2");
const QString kNotKept = QStringLiteral("The keyring did not take the sync password (%1), so it is not kept.");

void syncWith(const QString& password)
{
    LoadingProgress window(QStringLiteral("Sync Now"));
    window.show();
    DavSync* current = nullptr;
    QObject::connect(&window, &LoadingProgress::Cancelled, &window, [&current] {
        if (current)
            current->cancel();
    });
    const FileOutcome outcome = SyncNow::run([&window](int percent) { window.setPercent(percent); },
                                             [&current](DavSync* s) { current = s; }, password);
    window.hide();
    MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
}
}  // namespace

FileOutcome SyncNow::run(const std::function<void(int)>& progress, const std::function<void(DavSync*)>& running,
                         const QString& password)
{
    FileOutcome outcome;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_busy_timeout(con.handle(), kBusyWaitMs);
        SyncSettings settings = SyncStore::readSettings(con);
        if (!password.isEmpty())
            settings.password = password;
        if (settings.password.isEmpty() && !settings.server.isEmpty()) {
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
    Connection con;
    SyncSettings settings;
    if (!storeGuard([&] {
            con.Open(AppFolder::databaseFile());
            settings = SyncStore::readSettings(con);
        }))
        return;
    if (!settings.password.isEmpty() || settings.server.isEmpty())
        return syncWith(settings.password);
    auto* prompt =
        new PasswordPrompt(QApplication::activeWindow(), kSyncAccount.arg(settings.userName, settings.server));
    const QString store = con.path();
    QObject::connect(prompt, &PasswordPrompt::entered, prompt, [store](const QString& typed, bool keep) {
        Connection own;
        if (keep && storeGuard([&] { own.Open(store); }))
            SyncStore::keepPassword(own, typed, qApp, [](const Secrets::Answer& a) {
                if (a.outcome == Secrets::Outcome::Failed)
                    MsgBox(kNotKept.arg(a.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
            });
        QTimer::singleShot(0, qApp, [typed] { syncWith(typed); });
    });
    prompt->waitForKeyring();
    readSecret(con, SyncStore::kSecret, prompt, [prompt](const Secrets::Answer& answer) {
        if (prompt->closed())
            return;
        if (answer.outcome != Secrets::Outcome::Done || answer.text.isEmpty())
            return prompt->ask();
        prompt->hide();
        prompt->deleteLater();
        QTimer::singleShot(0, qApp, [password = answer.text] { syncWith(password); });
    });
}
