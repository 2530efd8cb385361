// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageCounter.h"

#include "base/TaskReporting.h"
#include "store/IOS6MessageDb.h"
#include "ui/dialogs/DeleteConfirmation.h"

#include <QMetaObject>
#include <QRunnable>

#include <exception>

namespace {

// Set when the counter goes; a read then ends at SQLite's next look at it. It reports nowhere.
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
    // One thread each: counts of the same folder end in the order they were asked for.
    m_pool.setMaxThreadCount(1);
    m_conversationPool.setMaxThreadCount(1);
}

MessageCounter::~MessageCounter()
{
    m_stop->cancelled = true;
    m_pool.clear();
    m_conversationPool.clear();
    m_pool.waitForDone();
    m_conversationPool.waitForDone();
}

void MessageCounter::count(const QDir& folder)
{
    const QString key = folderKey(folder);
    const quint64 request = ++m_requests;
    m_latest.insert(key, request);
    start(m_pool, [this, key, request]() -> std::function<void()> {
        qint64 found = -1;
        try {
            IOS6MessageDb db(QDir(key), QString(), false);
            found = storedMessageCount(db);
        } catch (const TaskCancelled&) {
            throw;
        } catch (...) {
            // The tree shows the count as unknown.
            found = -1;
        }
        return [this, key, request, found] { deliver(key, request, found); };
    });
}

void MessageCounter::readConversations(const QDir& folder)
{
    const QString key = folderKey(folder);
    start(m_conversationPool, [this, key]() -> std::function<void()> {
        _MsgCollection chats;
        QString error;
        try {
            IOS6MessageDb db(QDir(key), QString(), false);
            db.chats(chats);
        } catch (const TaskCancelled&) {
            throw;
        } catch (const std::exception& failure) {
            error = exceptionText(failure);
        } catch (...) {
            error = QStringLiteral("unknown error.");
        }
        return [this, key, chats, error] { emit conversationsRead(key, chats, error); };
    });
}

void MessageCounter::start(QThreadPool& pool, std::function<std::function<void()>()> job)
{
    const std::shared_ptr<ProgressReceiver> stop = m_stop;
    // The destructor waits for the pools, so this object outlives the runnable; an answer it no
    // longer takes is dropped with its posted events.
    pool.start(QRunnable::create([this, stop, job = std::move(job)] {
        std::function<void()> answer;
        try {
            const TaskCancelScope scope(stop.get());
            answer = job();
        } catch (const TaskCancelled&) {
            return;
        }
        if (stop->cancelled)
            return;
        QMetaObject::invokeMethod(this, std::move(answer), Qt::QueuedConnection);
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
