// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsDb.h"

#include <QDir>
#include <QList>
#include <QString>

#include <functional>
#include <limits>
#include <string>
#include <vector>

class SearchQuery;

// Which messages of a store a search looks at: dates (seconds since 2001, both ends included) and,
// when chatRowId is positive, one conversation.
struct SearchRange
{
    qint64 since = std::numeric_limits<qint64>::min();
    qint64 until = std::numeric_limits<qint64>::max();
    qint64 chatRowId = 0;
};

// One message found, with what it takes to show it and to open it in its store.
struct SearchIndexHit
{
    qint64 messageRowId = 0;
    qint64 chatRowId = 0;
    QString chatIdentifier;
    // The conversation's name with its numbers, as the conversation list shows it.
    QString conversation;
    int date = 0; // seconds since 2001
    bool fromMe = false;
    QString text; // the message body without attachment placeholders
};

// The full-text index of the message store in a database folder, kept in its own SQLite file beside
// it (`sms-search.db` at the folder's top; the store is never written). It holds every message that
// reading the store yields, with its text, the date, the sender side and the conversation, whose
// names and numbers are indexed with each of its messages so that a search for a person finds what
// they wrote. Searches return the newest messages first and never open the store.
//
// ensureUpToDate brings the index in line with the store: it notices by the store's files alone that
// nothing changed, updates only the messages that came or went (and the conversations whose names
// changed) otherwise, and builds the index anew when it is missing, unreadable or of another
// version. A full build writes a new file and puts it in place when complete, so that an index in
// use is always whole. One object serves one thread; statements stop on the task's cancel.
class SearchIndex : public AbsDb
{
public:
    explicit SearchIndex(const QDir& folder);
    ~SearchIndex() override;

    static QString fileName() { return QStringLiteral("sms-search.db"); }
    QString indexPath() const { return m_folder.filePath(fileName()); }
    QString storePath() const;
    bool hasStore() const;

    // Opens an existing index; throws Sqlite3Exception when it is missing or unreadable.
    void open() override;

    enum class Update { NoStore, Unchanged, Updated, Rebuilt };
    // Receives how many of the messages to index are done, when there is work to do.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    Update ensureUpToDate(const Progress& progress = {});
    // Builds the index anew whatever state it is in.
    void rebuild(const Progress& progress = {});

    // The newest messages that match, newest first; limit < 0 for all of them.
    QList<SearchIndexHit> newest(const SearchQuery& query, const SearchRange& range, int limit);
    qint64 count(const SearchQuery& query, const SearchRange& range);
    qint64 messageCount();

    // Whether an error means the index file is damaged and is to be built anew.
    static bool isDamage(const std::exception& error);

private:
    // The layout of the index file; an index of another version is built anew.
    static constexpr int formatVersion = 1;

    QString storeSignature() const;
    QString indexedSignature();
    // Opens and checks the index; false when it is missing, unreadable or of another version.
    bool openUsable();
    void removeIndexFiles(const QString& path) const;
    // Applies the difference between the store and the index; false when a full build is cheaper.
    bool update(const QString& signature, const Progress& progress);
    void buildInto(const QString& path, const QString& signature, const Progress& progress);

    // The FTS5 expression of a query for this index: each term found in a message's text or in
    // the terms of its conversation; empty when the query can match nothing.
    QString matchExpression(const SearchQuery& query, qint64 chatRowId);
    // The keys of the messages dated within the range; false when there are none.
    bool keyBounds(const SearchRange& range, qint64& low, qint64& high);
    // The smallest key of a message dated at or after `date`; lastKey + 1 when there is none.
    qint64 firstKeyFrom(qint64 date, qint64 firstKey, qint64 lastKey);

    struct ChatTokens
    {
        qint64 rowid;
        std::vector<std::string> tokens;
    };
    // The conversations' terms as tokens, read on the first search after an open or an update.
    std::vector<ChatTokens> m_chatTokens;
    bool m_chatTokensRead = false;

    QDir m_folder;
};
