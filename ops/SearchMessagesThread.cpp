// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/SearchMessagesThread.h"

SearchMessagesThread::SearchMessagesThread(MessageSearch& search, const SearchQuery& query, const SearchRange& range,
    int limit, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_search(search)
    , m_query(query)
    , m_range(range)
    , m_limit(limit)
{
}

QString SearchMessagesThread::work()
{
    m_search.update([this](const SearchSource& source, qint64 done, qint64 total) {
        reportProgress(done, total, QString(), QStringLiteral("Indexing the messages of %1...").arg(source.label()));
    });
    checkCancelled();
    m_results = m_search.search(m_query, m_range, m_limit);
    return QString();
}
