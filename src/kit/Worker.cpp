#include "kit/Worker.h"

#include <QCoreApplication>

Worker::Worker(QThread::Priority priority)
    : m_priority(priority)
{
}

Worker::~Worker()
{
    stop();
}

void Worker::post(std::function<void()> work)
{
    std::unique_lock lock(m_mutex);
    m_work.push_back(std::move(work));
    if (!m_thread) {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start(m_priority);
    }
    lock.unlock();
    m_changed.notify_all();
}

void Worker::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_work.empty(); });
        if (m_work.empty())
            return;
        const std::function<void()> work = std::move(m_work.front());
        m_work.pop_front();
        m_busy = true;
        lock.unlock();
        work();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

void Worker::finish()
{
    std::unique_lock lock(m_mutex);
    if (m_thread && QThread::currentThread() != m_thread.get())
        m_changed.wait(lock, [this] { return m_work.empty() && !m_busy; });
}

void Worker::stop()
{
    std::unique_lock lock(m_mutex);
    if (!m_thread)
        return;
    m_stopping = true;  // what is posted still runs first
    lock.unlock();
    m_changed.notify_all();
    m_thread->wait();
    lock.lock();
    m_thread.reset();
    m_stopping = false;
}

Worker& Worker::forProgram()
{
    static Worker* worker = nullptr;
    if (!worker) {
        worker = new Worker(QThread::LowPriority);
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                         [] { delete std::exchange(worker, nullptr); });
    }
    return *worker;
}
