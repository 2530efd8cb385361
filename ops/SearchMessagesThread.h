// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"
#include "ops/MessageSearch.h"

// Searches on a worker: brings the indexes of the search's stores up to date, with progress while
// one is being built, then asks them. The search object belongs to the caller, who leaves it alone
// until the worker has ended.
class SearchMessagesThread : public WorkerThread
{
    Q_OBJECT

public:
    SearchMessagesThread(MessageSearch& search, const SearchQuery& query, const SearchRange& range, int limit,
        ProgressReceiver* progress, QObject* parent = nullptr);

    // After a successful run.
    const SearchResults& results() const { return m_results; }

protected:
    QString work() override;

private:
    MessageSearch& m_search;
    SearchQuery m_query;
    SearchRange m_range;
    int m_limit;
    SearchResults m_results;
};
