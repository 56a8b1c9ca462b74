#include "sync/SyncNow.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QScopeGuard>

#include "kit/AppFolder.h"
#include "kit/LoadingProgress.h"
#include "kit/MsgBox.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/DavSync.h"
#include "sync/SyncJob.h"

namespace {
// The window may be saving a record; its writes are short.
constexpr int kBusyWaitMs = 15000;
const QString kCaption = QStringLiteral("Sync Now");
const QString kStoreFailed = QStringLiteral("The sync cannot use the records here: %1");
}  // namespace

FileOutcome SyncNow::run(const std::function<void(int)>& progress, const std::function<void(DavSync*)>& running,
                         const std::optional<QString>& password)
{
    FileOutcome outcome;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        sqlite3_busy_timeout(con.handle(), kBusyWaitMs);
        DavSync sync(SyncStore::readSettings(con, password));
        if (running)
            running(&sync);
        const auto done = qScopeGuard([&] {
            if (running)
                running(nullptr);
        });
        const DavSync::Result result = sync.run(con, progress);
        outcome.ok = result.ok;
        outcome.message = result.lines.join(u'\n');
    } catch (const StoreError& e) {
        outcome.message = kStoreFailed.arg(e.reason());
    }
    return outcome;
}

void SyncNow::withProgress()
{
    if (qApp->findChild<SyncJob*>(QString(), Qt::FindDirectChildrenOnly))
        return;  // one sync at a time; its window is on the screen
    QString password;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        password = SyncStore::readPassword(con);
    } catch (const StoreError& e) {
        MsgBox(kStoreFailed.arg(e.reason()), MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    auto* job = new SyncJob(password, qApp);
    auto* window = new LoadingProgress(kCaption);
    window->setWindowModality(Qt::NonModal);  // the program works on meanwhile
    QObject::connect(job, &QObject::destroyed, window, &QObject::deleteLater);
    QObject::connect(window, &LoadingProgress::Cancelled, job, &SyncJob::cancel);
    QObject::connect(job, &SyncJob::progress, window, &LoadingProgress::setPercent);
    QObject::connect(job, &SyncJob::finished, job, [job, window](const FileOutcome& outcome) {
        window->hide();
        job->deleteLater();
        MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, job, &SyncJob::cancel);
    window->show();
    job->start();
}
