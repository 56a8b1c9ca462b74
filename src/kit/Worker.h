#pragma once

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

// The one way work leaves the window's thread: a thread of its own that
// runs what is posted to it, one piece after the other, in order (no event
// loop runs there: a piece that needs one brings its own). What a
// piece returns reaches `receiver` on the receiver's own thread; an owner
// keeps its worker as a member, so the worker is stopped and joined before
// the owner is gone and nothing is delivered to an object that is no more.
class Worker {
public:
    explicit Worker(QThread::Priority priority = QThread::InheritPriority);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void post(std::function<void()> work);

    template <class Work, class Done>
    void post(Work work, QObject* receiver, Done done)
    {
        post([work = std::move(work), receiver, done = std::move(done)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                receiver, [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
                Qt::QueuedConnection);
        });
    }

    // Returns once everything posted before has run.
    void finish();
    // Finishes what was posted, then ends the thread; a later post starts it anew.
    void stop();

    // For work no window owns (one that may be closed meanwhile): what is
    // posted here runs to its end before the application object is gone.
    static Worker& forProgram();

private:
    void run();

    const QThread::Priority m_priority;
    std::mutex m_mutex;  // guards the four below
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_work;
    bool m_busy = false;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_thread;
};
