#include "sync/SyncProgress.h"

#include <QApplication>
#include <QTimer>

#include "controls/PasswordPrompt.h"
#include "kit/AppFolder.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"
#include "sync/SyncJob.h"
#include "sync/SyncSettings.h"
#include "window/LoadingProgress.h"

namespace {
const QString kCaption = QStringLiteral("Sync Now");
const QString kSyncAccount = QStringLiteral("the sync user %1 at %2");
const QString kNotKept = QStringLiteral("The keyring did not take the sync password (%1), so it is not kept.");
const QString kMove = QStringLiteral("The sync server %1 sends the sync to another server:\n\n%2\n\n"
                                     "Sync with that server from now on, and send it your user name and password?");

void syncWith(const SyncSettings& settings, const std::function<void()>& refused = {});
void syncSignedIn(SyncSettings settings, bool again = false);

// Only the user moves the sync to another server: then it is the Sync
// Settings' server, and the sync runs again there.
void askToMove(SyncSettings settings, const DavSync::Move& move)
{
    if (MsgBox(kMove.arg(move.from, move.to), MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    Connection con;
    if (!storeGuard([&] {
            con.Open(AppFolder::databaseFile());
            SyncStore::setValue(con, QStringLiteral("Server"), move.to);
        }))
        return;
    settings.server = move.to;
    if (settings.signIn == SignInKind::OAuth2)
        return syncSignedIn(settings);
    syncWith(settings);
}

// An OAuth2 sign-in gives the access token first; a token the server
// refuses is renewed and the sync tried once more, quietly.
void syncSignedIn(SyncSettings settings, bool again)
{
    Connection con;
    if (!storeGuard([&] { con.Open(AppFolder::databaseFile()); }))
        return;
    OAuthSignIn& signIn = keptSignIn(secretKey(con, SyncStore::kOAuthSecret), settings.userName, settings.oauth);
    auto* once = new QObject(&signIn);
    const auto done = [once, &signIn] {
        QObject::disconnect(&signIn, nullptr, once, nullptr);
        once->deleteLater();
    };
    QObject::connect(&signIn, &OAuthSignIn::granted, once,
                     [done, settings, again, &signIn](const QString& token) mutable {
                         done();
                         settings.accessToken = token;
                         syncWith(
                             settings, again ? std::function<void()>() : [settings, &signIn] {
                                 signIn.tokenRefused();
                                 syncSignedIn(settings, true);
                             });
                     });
    QObject::connect(&signIn, &OAuthSignIn::failed, once, [done](const QString& message) {
        done();
        MsgBox(message, MsgButtons::OKOnly, MsgIcon::Exclamation);
    });
    signIn.requestToken();
}

// The sync on a thread of its own, beside the program's windows: the
// progress window is not modal, and the result comes as a message.
void syncWith(const SyncSettings& settings, const std::function<void()>& refused)
{
    if (qApp->findChild<SyncJob*>(QString(), Qt::FindDirectChildrenOnly))
        return;  // a second Sync Now while the first signed in
    auto* job = new SyncJob(settings, qApp);
    auto* window = new LoadingProgress(kCaption);
    window->setWindowModality(Qt::NonModal);
    QObject::connect(job, &QObject::destroyed, window, &QObject::deleteLater);
    QObject::connect(window, &LoadingProgress::Cancelled, job, &SyncJob::cancel);
    QObject::connect(job, &SyncJob::progress, window, &LoadingProgress::setPercent);
    QObject::connect(job, &SyncJob::finished, job, [job, window, settings, refused](const SyncOutcome& outcome) {
        window->hide();
        job->setParent(nullptr);  // over: a sync that follows from here may start
        job->deleteLater();
        if (outcome.tokenRefused && refused)
            return refused();
        if (outcome.move)
            return askToMove(settings, *outcome.move);
        MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, job, &SyncJob::cancel);
    window->show();
    job->start();
}
}  // namespace

void SyncNow::withProgress()
{
    if (qApp->findChild<SyncJob*>(QString(), Qt::FindDirectChildrenOnly))
        return;  // one sync at a time; its window is on the screen
    Connection con;
    SyncSettings settings;
    if (!storeGuard([&] {
            con.Open(AppFolder::databaseFile());
            settings = SyncStore::readSettings(con);
        }))
        return;
    if (settings.signIn == SignInKind::OAuth2 && !settings.server.isEmpty())
        return syncSignedIn(settings);
    if (!settings.password.isEmpty() || settings.server.isEmpty())
        return syncWith(settings);
    auto* prompt =
        new PasswordPrompt(QApplication::activeWindow(), kSyncAccount.arg(settings.userName, settings.server));
    const QString store = con.path();
    QObject::connect(prompt, &PasswordPrompt::entered, prompt, [store, settings](const QString& typed, bool keep) {
        Connection own;
        if (keep && storeGuard([&] { own.Open(store); }))
            SyncStore::keepPassword(own, typed, qApp, [](const Secrets::Answer& a) {
                if (a.outcome == Secrets::Outcome::Failed)
                    MsgBox(kNotKept.arg(a.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
            });
        QTimer::singleShot(0, qApp, [settings, typed] { syncWith({settings.server, settings.userName, typed}); });
    });
    prompt->waitForKeyring();
    readSecret(con, SyncStore::kSecret, prompt, [prompt, settings](const Secrets::Answer& answer) {
        if (prompt->closed())
            return;
        if (answer.outcome != Secrets::Outcome::Done || answer.text.isEmpty())
            return prompt->ask();
        prompt->hide();
        prompt->deleteLater();
        QTimer::singleShot(0, qApp, [settings, password = answer.text] {
            syncWith({settings.server, settings.userName, password});
        });
    });
}
