// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/MessageSearch.h"

#include "base/DataFolders.h"
#include "base/TaskReporting.h"
#include "ops/OpsLog.h"

#include <QtDebug>

#include <algorithm>

QString SearchSource::label() const
{
    switch (kind) {
    case Kind::DeviceCache:
        return QStringLiteral("android_cache/") + name;
    case Kind::OfflineDevice:
        return QStringLiteral("virtual_android/") + name;
    case Kind::LocalDatabase:
        break;
    }
    return name;
}

QList<SearchSource> allSearchSources()
{
    QList<SearchSource> sources;
    const auto add = [&sources](SearchSource::Kind kind, const QDir& parent) {
        for (const QFileInfo& folder : parent.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            sources.append(SearchSource { kind, folder.fileName(), QDir(folder.absoluteFilePath()) });
    };
    add(SearchSource::Kind::LocalDatabase, localDatabasesDir());
    add(SearchSource::Kind::DeviceCache, androidCacheDir());
    add(SearchSource::Kind::OfflineDevice, virtualAndroidDir());
    return sources;
}

MessageSearch::MessageSearch(const QList<SearchSource>& sources)
    : m_sources(sources)
{
    m_indexes.resize(size_t(sources.size()));
}

MessageSearch::~MessageSearch() = default;

void MessageSearch::fail(int source, const std::exception& error)
{
    const QString text = QStringLiteral("%1: %2").arg(m_sources.at(source).label(), exceptionText(error));
    qCWarning(lcOps).noquote() << QStringLiteral("search:") << text;
    m_failures << text;
    m_indexes[size_t(source)].reset();
}

void MessageSearch::update(const Progress& progress)
{
    m_updated = true;
    m_failures.clear();
    for (int i = 0; i < m_sources.size(); ++i) {
        throwIfTaskCancelled();
        std::unique_ptr<SearchIndex>& index = m_indexes[size_t(i)];
        if (!index)
            index = std::make_unique<SearchIndex>(m_sources.at(i).folder);
        try {
            const SearchSource& source = m_sources.at(i);
            SearchIndex::Progress report;
            if (progress)
                report = [&progress, &source](qint64 done, qint64 total) { progress(source, done, total); };
            if (index->ensureUpToDate(report) == SearchIndex::Update::NoStore)
                index.reset();
        } catch (const std::exception& error) {
            fail(i, error);
        }
    }
}

SearchResults MessageSearch::search(const SearchQuery& query, const SearchRange& range, int limit, bool countAll)
{
    if (!m_updated)
        update();
    SearchResults results;
    results.total = countAll ? 0 : -1;
    if (query.isEmpty())
        return results;
    for (int i = 0; i < m_sources.size(); ++i) {
        std::unique_ptr<SearchIndex>& index = m_indexes[size_t(i)];
        if (!index)
            continue;
        // A damaged index is built anew once and asked again.
        for (int attempt = 0;; ++attempt) {
            try {
                QList<SearchIndexHit> found = index->newest(query, range, limit);
                const qint64 count = countAll ? index->count(query, range) : 0;
                for (SearchIndexHit& hit : found) {
                    SearchHit sourced;
                    static_cast<SearchIndexHit&>(sourced) = std::move(hit);
                    sourced.source = i;
                    results.hits.append(std::move(sourced));
                }
                if (countAll)
                    results.total += count;
                break;
            } catch (const std::exception& error) {
                if (attempt > 0 || !SearchIndex::isDamage(error)) {
                    fail(i, error);
                    break;
                }
                try {
                    index->rebuild();
                } catch (const std::exception& rebuildError) {
                    fail(i, rebuildError);
                    break;
                }
            }
        }
        throwIfTaskCancelled();
    }
    // Each source's hits are newest first already; equal dates keep the order of the sources.
    std::stable_sort(results.hits.begin(), results.hits.end(),
        [](const SearchHit& a, const SearchHit& b) { return a.date > b.date; });
    if (limit >= 0 && results.hits.size() > limit)
        results.hits.resize(limit);
    return results;
}
