#include "kit/Secrets.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include "kit/AppInfo.h"

namespace {
constexpr int kPatienceMs = 5000;
bool s_hung = false;  // a job ran out of time: the keyring is not asked again

// Runs `job` and waits for it; the error, or OtherError when it never finished.
QKeychain::Error run(QKeychain::Job* job, QString* text = nullptr)
{
    if (s_hung) {
        delete job;
        return QKeychain::NoBackendAvailable;
    }
    QEventLoop loop;
    bool done = false;
    QKeychain::Error error = QKeychain::OtherError;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* finished) {
        done = true;
        error = finished->error();
        if (auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(finished); reader && text)
            *text = reader->textData();
        loop.quit();
    });
    QTimer::singleShot(kPatienceMs, &loop, &QEventLoop::quit);
    job->start();  // deletes itself once finished, also after we stopped waiting
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done)
        s_hung = true;
    return error;
}
}  // namespace

bool Secrets::available()
{
    // An entry nobody writes: "not found" means a keyring answered.
    auto* job = new QKeychain::ReadPasswordJob(AppInfo::kAppId);
    job->setKey(QStringLiteral("keyring check"));
    const QKeychain::Error error = run(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

std::optional<QString> Secrets::read(const QString& key)
{
    auto* job = new QKeychain::ReadPasswordJob(AppInfo::kAppId);
    job->setKey(key);
    QString text;
    if (run(job, &text) != QKeychain::NoError)
        return std::nullopt;
    return text;
}

bool Secrets::write(const QString& key, const QString& value)
{
    auto* job = new QKeychain::WritePasswordJob(AppInfo::kAppId);
    job->setKey(key);
    job->setTextData(value);
    return run(job) == QKeychain::NoError;
}

bool Secrets::remove(const QString& key)
{
    auto* job = new QKeychain::DeletePasswordJob(AppInfo::kAppId);
    job->setKey(key);
    const QKeychain::Error error = run(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}
