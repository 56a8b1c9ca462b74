#include "sync/SyncJob.h"

#include <QThread>

#include "sync/DavSync.h"

SyncJob::SyncJob(const SyncSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
}

SyncJob::~SyncJob()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void SyncJob::start()
{
    m_thread.reset(QThread::create([this] {
        const SyncOutcome outcome = SyncNow::run([this](int percent) { emit progress(percent); },
                                                 [this](DavSync* sync) {
                                                     const QMutexLocker lock(&m_mutex);
                                                     m_sync = sync;
                                                     if (m_sync && m_cancelled)
                                                         m_sync->cancel();
                                                 },
                                                 m_settings);
        QMetaObject::invokeMethod(
            this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
    }));
    m_thread->start();
}

void SyncJob::cancel()
{
    const QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    if (m_sync)
        m_sync->cancel();
}
