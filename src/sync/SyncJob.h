#pragma once

#include <QMutex>
#include <QObject>

#include "kit/Worker.h"
#include "sync/SyncNow.h"

// A sync with the server of the Sync Settings on a thread of its own, with
// its own store connection and network access: the window's thread never
// waits for the server or for a store another program holds busy. Progress
// and the outcome arrive as signals on the thread that made the job.
class SyncJob : public QObject {
    Q_OBJECT
public:
    // The keyring answers on the window's thread only: the settings and the
    // password are read there and handed over.
    SyncJob(const SyncSettings& settings, QObject* parent);
    // Asks the sync to stop and waits for its thread.
    ~SyncJob() override;
    SyncJob(const SyncJob&) = delete;
    SyncJob& operator=(const SyncJob&) = delete;

    void start();
    // The sync stops before its next request (the one under way is
    // abandoned); what was done on either side stays consistent.
    void cancel();

signals:
    void progress(int percent);
    void finished(const SyncOutcome& outcome);

private:
    SyncSettings m_settings;
    QMutex m_mutex;  // guards the two below, which the sync's thread sets
    DavSync* m_sync = nullptr;
    bool m_cancelled = false;
    Worker m_worker;  // last: it stops before the rest goes
};
