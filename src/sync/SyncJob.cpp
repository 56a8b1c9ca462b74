#include "sync/SyncJob.h"

#include "sync/DavSync.h"

SyncJob::SyncJob(const SyncSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
}

SyncJob::~SyncJob()
{
    cancel();
}

void SyncJob::start()
{
    m_worker.post(
        [this] {
            return SyncNow::run([this](int percent) { emit progress(percent); },
                                [this](DavSync* sync) {
                                    const QMutexLocker lock(&m_mutex);
                                    m_sync = sync;
                                    if (m_sync && m_cancelled)
                                        m_sync->cancel();
                                },
                                m_settings);
        },
        this, [this](const SyncOutcome& outcome) { emit finished(outcome); });
}

void SyncJob::cancel()
{
    const QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    if (m_sync)
        m_sync->cancel();
}
