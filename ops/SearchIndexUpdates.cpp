// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/SearchIndexUpdates.h"

#include "base/TaskReporting.h"
#include "ops/OpsLog.h"
#include "store/search/SearchIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// The cancel flag of one update; it reports nowhere.
class UpdateCancel : public ProgressReceiver
{
public:
    QObject* reportTarget() override { return nullptr; }
};

struct Updates
{
    std::mutex mutex;
    std::condition_variable changed;
    QStringList queued;
    QString running;
    std::shared_ptr<UpdateCancel> runningCancel;
    std::thread thread;
    bool threadActive = false;
    bool stopped = false;
};

// Never destroyed: the post routine stops the thread while the application still exists.
Updates& updates()
{
    static Updates* const shared = new Updates;
    return *shared;
}

QString folderKey(const QDir& folder)
{
    return QDir::cleanPath(folder.absolutePath());
}

void updateIndex(const QString& folder, ProgressReceiver* cancel)
{
    try {
        const TaskCancelScope scope(cancel);
        SearchIndex index { QDir(folder) };
        index.ensureUpToDate();
    } catch (const TaskCancelled&) {
    } catch (const std::exception& error) {
        qCWarning(lcOps).noquote() << QStringLiteral("search index of %1 not updated: %2")
                                          .arg(QDir::toNativeSeparators(folder), exceptionText(error));
    }
}

void runUpdates()
{
    Updates& shared = updates();
    for (;;) {
        QString folder;
        std::shared_ptr<UpdateCancel> cancel;
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            if (shared.queued.isEmpty() || shared.stopped) {
                shared.threadActive = false;
                shared.changed.notify_all();
                return;
            }
            folder = shared.queued.takeFirst();
            cancel = std::make_shared<UpdateCancel>();
            shared.running = folder;
            shared.runningCancel = cancel;
        }
        updateIndex(folder, cancel.get());
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            shared.running.clear();
            shared.runningCancel.reset();
            shared.changed.notify_all();
        }
    }
}

void stopAllUpdates()
{
    Updates& shared = updates();
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        shared.stopped = true;
        shared.queued.clear();
        if (shared.runningCancel)
            shared.runningCancel->cancelled = true;
    }
    if (shared.thread.joinable())
        shared.thread.join();
}

} // namespace

void updateSearchIndexLater(const QDir& folder)
{
    const QString key = folderKey(folder);
    // Without an application nothing would stop the thread at the end of the program.
    if (!QCoreApplication::instance()) {
        UpdateCancel never;
        updateIndex(key, &never);
        return;
    }
    Updates& shared = updates();
    const std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.stopped || shared.queued.contains(key))
        return;
    shared.queued.append(key);
    if (shared.threadActive)
        return;
    // A thread that found the queue empty has left its loop and needs no lock to end.
    if (shared.thread.joinable())
        shared.thread.join();
    else
        qAddPostRoutine(stopAllUpdates);
    shared.threadActive = true;
    shared.thread = std::thread(runUpdates);
}

void stopSearchIndexUpdate(const QDir& folder)
{
    const QString top = folderKey(folder);
    const auto within = [&top](const QString& key) {
        return key == top || key.startsWith(top.endsWith(QLatin1Char('/')) ? top : top + QLatin1Char('/'));
    };
    Updates& shared = updates();
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.queued.removeIf(within);
    if (within(shared.running) && shared.runningCancel)
        shared.runningCancel->cancelled = true;
    shared.changed.wait(lock, [&shared, &within] { return !within(shared.running); });
}

void waitForSearchIndexUpdates()
{
    Updates& shared = updates();
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait(lock, [&shared] { return !shared.threadActive; });
}
