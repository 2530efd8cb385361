// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/FileRenderPool.h"

#include <QThread>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds waitStep(50);
constexpr int mostThreads = 8;

} // namespace

FileRenderPool::FileRenderPool(int threads, const std::atomic<bool>* cancelled)
    : m_cancelled(cancelled)
    , m_queueLimit(size_t(std::max(threads, 1)) * 2)
{
    for (int i = 0; i < std::max(threads, 1); ++i)
        m_threads.emplace_back([this] { runThread(); });
}

FileRenderPool::~FileRenderPool()
{
    stop();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_shutdown = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

int FileRenderPool::defaultThreads()
{
    return std::clamp(QThread::idealThreadCount(), 1, mostThreads);
}

void FileRenderPool::submit(Job job, const Waiting& waiting)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_failure && m_queue.size() >= m_queueLimit) {
        if (m_changed.wait_for(lock, waitStep) == std::cv_status::timeout) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    throwFailure();
    m_queue.push_back(std::move(job));
    lock.unlock();
    m_changed.notify_all();
}

void FileRenderPool::finish(const Waiting& waiting)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_failure && (!m_queue.empty() || m_running > 0)) {
        if (m_changed.wait_for(lock, waitStep) == std::cv_status::timeout) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    throwFailure();
}

void FileRenderPool::stop()
{
    m_stopping = true;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_queue.clear();
    m_changed.wait(lock, [this] { return m_running == 0; });
}

void FileRenderPool::step()
{
    m_steps.fetch_add(1, std::memory_order_relaxed);
    if (m_stopping || (m_cancelled && *m_cancelled))
        throw Stopped();
}

void FileRenderPool::throwFailure()
{
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void FileRenderPool::runThread()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_shutdown || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        std::exception_ptr failure;
        try {
            job();
        } catch (const Stopped&) {
        } catch (...) {
            failure = std::current_exception();
        }
        // The job and what it holds go before the feeding thread hears that it is done.
        job = nullptr;
        lock.lock();
        --m_running;
        if (failure && !m_failure)
            m_failure = failure;
        m_changed.notify_all();
    }
}
