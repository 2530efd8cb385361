// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/LiveSearch.h"

#include "base/TaskReporting.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <optional>

namespace {

// The cancel flag of a stage of the worker; its reports go nowhere.
class CancelFlag : public ProgressReceiver
{
public:
    QObject* reportTarget() override { return nullptr; }
};

struct Request
{
    int number = 0;
    QString text;
    SearchRange range;
    int limit = 0;
};

} // namespace

struct LiveSearch::Shared
{
    QMutex mutex;
    std::optional<Request> pending;
    int latest = 0;
    bool reload = true;
    // Set when a newer request supersedes the running search, or when the object goes.
    CancelFlag stale;
    // Set only when the object goes: an index being built is not given up for a keystroke.
    CancelFlag stopping;

    void stop()
    {
        const QMutexLocker lock(&mutex);
        stale.cancelled = true;
        stopping.cancelled = true;
        pending.reset();
    }
};

class LiveSearch::Worker : public QObject
{
public:
    Worker(std::shared_ptr<Shared> shared, LiveSearch* owner)
        : m_shared(std::move(shared))
        , m_owner(owner)
    {
    }

    // Runs the pending request, if one is still waiting: requests that came while an earlier one ran
    // have each queued a call, and the first of those calls takes the latest of them.
    void runPending()
    {
        Request request;
        bool reload = false;
        {
            const QMutexLocker lock(&m_shared->mutex);
            if (!m_shared->pending)
                return;
            request = std::move(*m_shared->pending);
            m_shared->pending.reset();
            m_shared->stale.cancelled = false;
            reload = std::exchange(m_shared->reload, false);
        }
        try {
            if (reload || !m_search) {
                m_search = std::make_unique<MessageSearch>(allSearchSources());
                const TaskCancelScope scope(&m_shared->stopping);
                m_search->update([this](const SearchSource& source, qint64 done, qint64 total) {
                    post([label = source.label(), done, total](
                             LiveSearch* owner) { emit owner->indexing(label, done, total); });
                });
            }
            const TaskCancelScope scope(&m_shared->stale);
            Answer answer;
            answer.request = request.number;
            answer.results = m_search->search(SearchQuery(request.text), request.range, request.limit);
            answer.sources = m_search->sources();
            answer.failures = m_search->failures();
            post([answer = std::move(answer)](LiveSearch* owner) {
                if (answer.request == owner->latestRequest())
                    emit owner->answered(answer);
            });
        } catch (const TaskCancelled&) {
            // A later request follows, or the object is going.
            if (m_shared->stopping.cancelled)
                m_search.reset();
        } catch (const std::exception& error) {
            Answer answer;
            answer.request = request.number;
            answer.failures << exceptionText(error);
            post([answer = std::move(answer)](LiveSearch* owner) {
                if (answer.request == owner->latestRequest())
                    emit owner->answered(answer);
            });
        }
    }

private:
    template <typename Report> void post(Report report)
    {
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, report = std::move(report)] { report(owner); }, Qt::QueuedConnection);
    }

    std::shared_ptr<Shared> m_shared;
    // Outlives the thread: its destructor waits for it.
    LiveSearch* m_owner;
    std::unique_ptr<MessageSearch> m_search;
};

LiveSearch::LiveSearch(QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_thread(new QThread(this))
    , m_worker(new Worker(m_shared, this))
{
    m_thread->setObjectName(QStringLiteral("LiveSearch"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

LiveSearch::~LiveSearch()
{
    m_shared->stop();
    m_thread->quit();
    m_thread->wait();
}

int LiveSearch::request(const QString& text, const SearchRange& range, int limit)
{
    int number = 0;
    {
        const QMutexLocker lock(&m_shared->mutex);
        number = ++m_shared->latest;
        m_shared->pending = Request { number, text, range, limit };
        m_shared->stale.cancelled = true;
    }
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->runPending(); }, Qt::QueuedConnection);
    return number;
}

void LiveSearch::reload()
{
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->reload = true;
}

int LiveSearch::latestRequest() const
{
    const QMutexLocker lock(&m_shared->mutex);
    return m_shared->latest;
}
