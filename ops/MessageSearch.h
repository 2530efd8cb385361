// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/search/SearchIndex.h"
#include "store/search/SearchQuery.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// A message store that a search looks through: a local database, a phone's cache or an offline
// phone's folder.
struct SearchSource
{
    enum class Kind { LocalDatabase, DeviceCache, OfflineDevice };

    Kind kind = Kind::LocalDatabase;
    QString name; // the folder's name
    QDir folder;

    // How results name the source: a local database by its name, a phone's folder by where it lies
    // in the data folder ("android_cache/<IMEI>", "virtual_android/<name>").
    QString label() const;
};

// Every message store of the data folder: the local databases, the phones' caches and the offline
// phones, each kind in name order.
QList<SearchSource> allSearchSources();

struct SearchHit : SearchIndexHit
{
    int source = 0; // the position of its source in MessageSearch::sources()
};

struct SearchResults
{
    // Newest first.
    QList<SearchHit> hits;
    // Every match, also beyond the limit; -1 when not counted.
    qint64 total = -1;
};

// One search over many stores, each through its full-text index. The object keeps the indexes open
// between searches, so that a search refined as it is typed costs only its queries. It shows nothing
// and may run on any one thread at a time; a cancel of the task running on that thread stops it.
class MessageSearch
{
public:
    explicit MessageSearch(const QList<SearchSource>& sources);
    ~MessageSearch();
    MessageSearch(const MessageSearch&) = delete;
    MessageSearch& operator=(const MessageSearch&) = delete;

    const QList<SearchSource>& sources() const { return m_sources; }

    // Brings the index of every source up to date. A source whose index can not be made is left out
    // of the searches and named in failures(); the others are searched all the same.
    using Progress = std::function<void(const SearchSource& source, qint64 done, qint64 total)>;
    void update(const Progress& progress = {});

    // The newest `limit` matches of every source (limit < 0: all of them), newest first, and the
    // number of all matches when `countAll`. A range with a conversation is meant for one source.
    // Runs update() first when it has not run yet.
    SearchResults search(const SearchQuery& query, const SearchRange& range, int limit, bool countAll = true);

    // "<source>: <error>" for each source left out.
    const QStringList& failures() const { return m_failures; }

private:
    void fail(int source, const std::exception& error);

    QList<SearchSource> m_sources;
    std::vector<std::unique_ptr<SearchIndex>> m_indexes; // null for a source left out
    QStringList m_failures;
    bool m_updated = false;
};
