#pragma once

#include <QObject>

#include <atomic>

#include "kit/Worker.h"
#include "store/SearchIndex.h"

// Readers of the mail and the notes for the search index.
SearchIndex::Sources searchSources();

// At the start: fills the search index beside the window when it is
// missing or old, on a connection of its own, and reads again the notes
// changed on disk since they were indexed.
class SearchFill : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SearchFill() override;
    void start();
    // Ends a fill under way soon (at quit); the next start fills again.
    void stop();

signals:
    void progress(int share);  // 0-100, only while a fill runs
    void finished(const QString& failure);

private:
    Worker m_worker{QThread::LowPriority};
    bool m_started = false;
    std::atomic<bool> m_stop = false;
};
