// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Threads that write the files of one export side by side: conversations make independent files, and
// formatting them, not the disk, takes the time. At most twice as many jobs as threads wait in the
// queue, so that the feeding thread stays close to what is written. The feeding thread waits in short
// steps in which it reports progress and may stop.
class FileRenderPool
{
public:
    // Thrown by a job's step once the pool stops; ends the job without a failure.
    struct Stopped
    {
    };
    using Job = std::function<void()>;
    using Waiting = std::function<void()>;

    // cancelled: a flag that stops the jobs as well, checked at every step.
    FileRenderPool(int threads, const std::atomic<bool>* cancelled);
    // Stops and waits for the threads.
    ~FileRenderPool();
    FileRenderPool(const FileRenderPool&) = delete;
    FileRenderPool& operator=(const FileRenderPool&) = delete;

    // The threads for this machine: one per core, at most a few.
    static int defaultThreads();

    // Queues the job. While the queue is full, runs `waiting` every 50 ms; it may throw to give up.
    // Throws the first failure of a job run so far.
    void submit(Job job, const Waiting& waiting);
    // Waits for every job, running `waiting` every 50 ms; throws the first failure of a job.
    void finish(const Waiting& waiting);
    // Drops the queued jobs, makes the running ones stop at their next step and waits for them.
    void stop();

    // For the jobs, once per unit of work: counts it, and throws Stopped once the pool stops.
    void step();
    qint64 stepsDone() const { return m_steps.load(std::memory_order_relaxed); }

private:
    void runThread();
    void throwFailure();

    const std::atomic<bool>* m_cancelled;
    std::atomic<bool> m_stopping { false };
    std::atomic<qint64> m_steps { 0 };
    size_t m_queueLimit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    int m_running = 0;
    bool m_shutdown = false;
    std::exception_ptr m_failure;
    std::vector<std::thread> m_threads;
};
