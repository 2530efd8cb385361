// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageCounter.h"

#include "base/TaskReporting.h"
#include "store/IOS6MessageDb.h"
#include "ui/dialogs/DeleteConfirmation.h"

#include <QMetaObject>
#include <QRunnable>

namespace {

// Set when the counter goes; a count then ends at SQLite's next look at it. It reports nowhere.
class StopFlag : public ProgressReceiver
{
public:
    QObject* reportTarget() override { return nullptr; }
};

QString folderKey(const QDir& folder)
{
    return QDir::cleanPath(folder.absolutePath());
}

} // namespace

MessageCounter::MessageCounter(QObject* parent)
    : QObject(parent)
    , m_stop(std::make_shared<StopFlag>())
{
    // One thread: counts of the same folder end in the order they were asked for.
    m_pool.setMaxThreadCount(1);
}

MessageCounter::~MessageCounter()
{
    m_stop->cancelled = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void MessageCounter::count(const QDir& folder)
{
    const QString key = folderKey(folder);
    const quint64 request = ++m_requests;
    m_latest.insert(key, request);
    const std::shared_ptr<ProgressReceiver> stop = m_stop;
    // The destructor waits for the pool, so this object outlives the runnable; an answer it no longer
    // takes is dropped with its posted events.
    m_pool.start(QRunnable::create([this, stop, key, request] {
        qint64 found = -1;
        try {
            const TaskCancelScope scope(stop.get());
            IOS6MessageDb db(QDir(key), QString(), false);
            found = storedMessageCount(db);
        } catch (const TaskCancelled&) {
            return;
        } catch (...) {
            // Nothing may leave the pool's thread; the tree shows the count as unknown.
            found = -1;
        }
        if (stop->cancelled)
            return;
        QMetaObject::invokeMethod(
            this, [this, key, request, found] { deliver(key, request, found); }, Qt::QueuedConnection);
    }));
}

void MessageCounter::deliver(const QString& folder, quint64 request, qint64 count)
{
    // An answer to a request that a later one replaced is stale: the store has changed since.
    const auto latest = m_latest.constFind(folder);
    if (latest == m_latest.cend() || latest.value() != request)
        return;
    m_latest.erase(latest);
    emit counted(folder, count);
}
