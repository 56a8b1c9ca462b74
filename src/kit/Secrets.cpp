#include "kit/Secrets.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include "kit/AppInfo.h"

namespace {
Secrets::Answer answerOf(QKeychain::Job* job)
{
    switch (job->error()) {
    case QKeychain::NoError:
        if (auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(job))
            return {Secrets::Outcome::Done, reader->textData()};
        return {Secrets::Outcome::Done, {}};
    case QKeychain::EntryNotFound:
        return {Secrets::Outcome::Missing, {}};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return {Secrets::Outcome::NoKeyring, {}};
    default:
        return {Secrets::Outcome::Failed, job->errorString()};
    }
}

// The job deletes itself once finished; `done` runs only while `context` lives.
void run(QKeychain::Job* job, QObject* context, Secrets::Done done)
{
    if (!context)
        context = QCoreApplication::instance();
    if (!Secrets::exists()) {
        delete job;
        QMetaObject::invokeMethod(
            context,
            [done = std::move(done)] {
                done({Secrets::Outcome::NoKeyring, {}});
            },
            Qt::QueuedConnection);
        return;
    }
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [done = std::move(done)](QKeychain::Job* finished) { done(answerOf(finished)); });
    job->start();
}
}  // namespace

bool Secrets::exists()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus)
        return false;
    const QStringList names = {QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd5"),
                               QStringLiteral("org.kde.kwalletd6")};
    const QStringList startable = bus->activatableServiceNames();
    for (const QString& name : names)
        if (bus->isServiceRegistered(name) || startable.contains(name))
            return true;
    return false;
}

void Secrets::read(const QString& key, QObject* context, Done done)
{
    auto* job = new QKeychain::ReadPasswordJob(AppInfo::kAppId);
    job->setKey(key);
    run(job, context, std::move(done));
}

void Secrets::write(const QString& key, const QString& value, QObject* context, Done done)
{
    auto* job = new QKeychain::WritePasswordJob(AppInfo::kAppId);
    job->setKey(key);
    job->setTextData(value);
    run(job, context, std::move(done));
}

void Secrets::remove(const QString& key)
{
    auto* job = new QKeychain::DeletePasswordJob(AppInfo::kAppId);
    job->setKey(key);
    run(job, QCoreApplication::instance(), [](const Answer&) {});
}

Secrets::Answer Secrets::readNow(const QString& key)
{
    QObject context;
    QEventLoop loop;
    Answer answer;
    read(key, &context, [&](const Answer& a) {
        answer = a;
        loop.quit();
    });
    loop.exec();
    return answer;
}
