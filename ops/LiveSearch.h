// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/MessageSearch.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QThread;

// A search refined as it is typed: every request runs on a thread of its own, a newer request stops
// the one still running, and only the answer to the latest request is reported. The indexes stay open
// between requests; the first request after reload() brings every store's index up to date again
// (cheap when nothing changed) and takes in stores that came or went.
class LiveSearch : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        int request = 0;
        QList<SearchSource> sources; // the sources hits refer to
        SearchResults results;
        QStringList failures;
    };

    explicit LiveSearch(QObject* parent = nullptr);
    // Stops the running request and waits for the thread.
    ~LiveSearch() override;

    // Asks for the newest `limit` matches and their count; returns the request's number, which
    // answered() carries.
    int request(const QString& text, const SearchRange& range, int limit);
    // Makes the next request look at the data folder again and update every index.
    void reload();
    int latestRequest() const;

signals:
    // Only for the latest request; an earlier one still running is dropped.
    void answered(const LiveSearch::Answer& answer);
    // While the indexes are being updated before the first answer.
    void indexing(const QString& source, qint64 done, qint64 total);

private:
    struct Shared;
    class Worker;
    std::shared_ptr<Shared> m_shared;
    QThread* m_thread;
    Worker* m_worker;
};
