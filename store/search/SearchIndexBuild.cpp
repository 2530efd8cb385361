// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TaskReporting.h"
#include "store/search/IndexWriting.h"
#include "store/search/SearchIndex.h"
#include "store/search/SearchTokenizer.h"
#include "store/search/TokenPrefetch.h"

#include <QSet>

#include <algorithm>
#include <iterator>
#include <sqlite3.h>
#include <tuple>
#include <vector>

// Building and updating the index. The store is read in one snapshot. Messages are keyed in date
// order, 16 apart, so that the FTS5 table yields the newest first and later messages find room
// between earlier ones; dense keys also keep the index small, FTS5 storing the differences between
// neighbouring keys. The FTS5 table keeps no copy of the texts (content=''): a message leaves it by
// the 'delete' command with the very values it was indexed with, which `doc` keeps. Its second
// column holds the conversation's token, so that a search for a person's name or number finds the
// conversations whose terms (in `chat`) hold it and then their messages by that token.

using namespace searchindex;

namespace {

const char* const schema[] = {
    "CREATE TABLE state(name TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID",
    "CREATE TABLE chat(rowid INTEGER PRIMARY KEY, identifier TEXT, name TEXT, who TEXT)",
    "CREATE TABLE doc(key INTEGER PRIMARY KEY, msg INTEGER NOT NULL, chat INTEGER NOT NULL, date INTEGER NOT NULL, "
    "from_me INTEGER NOT NULL, mark INTEGER NOT NULL, text TEXT)",
    // Prefix indexes of two and three characters let the first page of a word being typed come
    // straight from the index instead of from merging every word it begins.
    "CREATE VIRTUAL TABLE fts USING fts5(body, conv, tokenize='qsms', content='', columnsize=0, prefix='2 3')",
    // Pending terms are kept in memory up to this size before FTS5 writes them out: a whole build
    // makes a few large segments instead of many small ones to merge. Beyond a few MiB the build
    // gets slower again, the final write-out sorting and copying one huge hash.
    "INSERT INTO fts(fts, rank) VALUES('hashsize', 8388608)",
    // Leaves of nearly a whole database page rather than FTS5's 1000 bytes: a quarter of the rows in
    // its data table to write, and a term's list of messages read in fewer steps.
    "INSERT INTO fts(fts, rank) VALUES('pgsz', 4000)",
};

constexpr qint64 keySpacing = 16;
constexpr qint64 rowsPerCheck = 4096;

// A message of the index as an update compares it with the store.
struct Indexed
{
    qint64 key;
    qint64 msg;
    qint64 mark;
    qint64 chat;
    int date;
};

// Gives new messages, in date order, keys between those of the indexed messages around them (in
// date order too); false when some do not fit, for a full build to make room.
bool assignKeys(const std::vector<Indexed>& kept, std::vector<PendingMessages::Message>& added)
{
    using Message = PendingMessages::Message;
    const auto before
        = [](const Message& a, const Indexed& b) { return std::tie(a.date, a.msg) < std::tie(b.date, b.msg); };
    for (size_t i = 0; i < added.size();) {
        const auto place = std::upper_bound(kept.cbegin(), kept.cend(), added[i], before);
        size_t end = i + 1;
        while (end < added.size() && (place == kept.cend() || before(added[end], *place)))
            ++end;
        const qint64 count = qint64(end - i);
        qint64 first = keySpacing;
        qint64 step = keySpacing;
        if (place != kept.cbegin() && place != kept.cend()) {
            const qint64 previous = std::prev(place)->key;
            step = (place->key - previous) / (count + 1);
            if (step < 1)
                return false;
            first = previous + step;
        } else if (place != kept.cbegin()) {
            first = std::prev(place)->key + keySpacing;
        } else if (place != kept.cend()) {
            first = place->key - keySpacing * count;
        }
        for (qint64 j = 0; j < count; ++j)
            added[i + size_t(j)].key = first + step * j;
        i = end;
    }
    return true;
}

void writeState(Sqlite3DB& db, const QString& signature)
{
    db.executeThrow(
        Sqlite3Sql("INSERT OR REPLACE INTO state(name, value) VALUES('signature', ?)").addTextParam(signature));
}

} // namespace

void SearchIndex::buildInto(const QString& path, const QString& signature, const Progress& progress)
{
    openThrow(path, ReadWriteCreate | SQLITE_OPEN_NOMUTEX);
    searchtext::registerTokenizer(rawHandle());
    // The file is new and put in place only when complete: nothing to journal or sync on the way.
    for (const char* pragma : { "PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-131072" })
        queryThrow(pragma).moveNext();
    for (const char* statement : schema)
        executeThrow(statement);
    executeThrow(QStringLiteral("PRAGMA user_version=%1").arg(formatVersion));
    beginTran();

    IndexWriter writer(rawHandle());
    PendingMessages pending;
    {
        StoreSnapshot snapshot(m_folder);
        for (auto chat = snapshot.chats.cbegin(); chat != snapshot.chats.cend(); ++chat)
            writer.writeChat(chat.key(), chat.value());
        const qint64 expected = snapshot.joinCount();
        pending.reserve(expected);
        Sqlite3Cursor row = snapshot.messages(std::numeric_limits<qint64>::min());
        for (qint64 done = 1; row.moveNext(); ++done) {
            pending.add(row);
            if (done % rowsPerCheck == 0) {
                throwIfTaskCancelled();
                if (progress)
                    progress(std::min(done, expected), 2 * expected);
            }
        }
    }
    pending.sort();

    std::vector<PendingMessages::Message>& messages = pending.messages();
    const qint64 total = qint64(messages.size());
    for (qint64 i = 0; i < total; ++i)
        messages[size_t(i)].key = (i + 1) * keySpacing;
    TokenPrefetch prefetch(messages);
    writer.addDocs(messages);
    for (qint64 i = 0; i < total; ++i) {
        prefetch.prepare(size_t(i));
        writer.addText(messages[size_t(i)]);
        searchtext::prepareNextText(nullptr);
        if ((i + 1) % rowsPerCheck == 0) {
            throwIfTaskCancelled();
            if (progress)
                progress(total + i + 1, 2 * total);
        }
    }
    writeState(*this, signature);
    commitTran();
}

bool SearchIndex::update(const QString& signature, const Progress& progress)
{
    beginTran();
    try {
        // Another program may have brought the index up to date while this one waited for the lock.
        if (indexedSignature() == signature) {
            commitTran();
            return true;
        }
        StoreSnapshot snapshot(m_folder);
        IndexWriter writer(rawHandle());

        // The indexed messages in key order, which is date order.
        std::vector<Indexed> indexed;
        {
            Sqlite3Cursor doc = queryThrow("select key, msg, mark, chat, date from doc order by key");
            while (doc.moveNext()) {
                indexed.push_back(
                    Indexed { doc.getInt64(0), doc.getInt64(1), doc.getInt64(2), doc.getInt64(3), doc.getInt(4) });
            }
        }

        // The store's messages and the indexed ones side by side in row id order.
        std::vector<size_t> byRowId(indexed.size());
        for (size_t i = 0; i < byRowId.size(); ++i)
            byRowId[i] = i;
        std::sort(byRowId.begin(), byRowId.end(), [&](size_t a, size_t b) { return indexed[a].msg < indexed[b].msg; });
        QSet<qint64> added;
        std::vector<bool> gone(indexed.size(), false);
        qint64 goneCount = 0;
        {
            QString sql = QStringLiteral("select j.message_id, m.guid from chat_message_join as j join message as m "
                                         "on m.ROWID = j.message_id");
            if (snapshot.store.messageHasItemType())
                sql += QStringLiteral(" where m.item_type <> 4");
            Sqlite3Cursor stored = snapshot.store.queryThrow(sql + QStringLiteral(" order by j.message_id"));
            auto next = byRowId.cbegin();
            const auto leaveBehind = [&](qint64 below) {
                for (; next != byRowId.cend() && indexed[*next].msg < below; ++next) {
                    gone[*next] = true;
                    ++goneCount;
                }
            };
            qint64 previous = 0;
            for (qint64 read = 0; stored.moveNext(); ++read) {
                const qint64 rowid = stored.getInt64(0);
                if (read > 0 && rowid == previous)
                    continue;
                previous = rowid;
                if (read % rowsPerCheck == 0)
                    throwIfTaskCancelled();
                leaveBehind(rowid);
                int size = 0;
                const char* guid = stored.textData(1, &size);
                if (next != byRowId.cend() && indexed[*next].msg == rowid) {
                    if (indexed[*next].mark == guidMark(guid, size)) {
                        ++next;
                        continue;
                    }
                    gone[*next] = true;
                    ++goneCount;
                    ++next;
                }
                added.insert(rowid);
            }
            leaveBehind(std::numeric_limits<qint64>::max());
        }
        if (qint64(added.size()) + goneCount > std::max<qint64>(1000, qint64(indexed.size()) / 2)) {
            rollbackTran();
            return false;
        }

        std::vector<Indexed> kept;
        kept.reserve(indexed.size() - size_t(goneCount));
        QSet<qint64> keptChats;
        for (size_t i = 0; i < indexed.size(); ++i) {
            if (gone[i]) {
                writer.remove(indexed[i].key);
            } else {
                kept.push_back(indexed[i]);
                keptChats.insert(indexed[i].chat);
            }
        }

        // Conversations: names and numbers as the store has them now; those gone from the store
        // stay while messages of theirs are indexed.
        QHash<qint64, ChatTerms> indexedChats;
        {
            Sqlite3Cursor chat = queryThrow("select rowid, identifier, name, who from chat");
            while (chat.moveNext())
                indexedChats.insert(chat.getInt64(0), ChatTerms { chat.getText(1), chat.getText(2), chat.getText(3) });
        }
        for (auto chat = snapshot.chats.cbegin(); chat != snapshot.chats.cend(); ++chat) {
            const auto known = indexedChats.constFind(chat.key());
            if (known == indexedChats.constEnd() || !(known.value() == chat.value()))
                writer.writeChat(chat.key(), chat.value());
        }
        for (auto chat = indexedChats.cbegin(); chat != indexedChats.cend(); ++chat) {
            if (!snapshot.chats.contains(chat.key()) && !keptChats.contains(chat.key()))
                executeThrow(Sqlite3Sql("DELETE FROM chat WHERE rowid = ?").addInt64Param(chat.key()));
        }

        PendingMessages pending;
        if (!added.isEmpty()) {
            Sqlite3Cursor row = snapshot.messages(*std::min_element(added.cbegin(), added.cend()));
            for (qint64 read = 1; row.moveNext(); ++read) {
                if (added.contains(row.getInt64(0)))
                    pending.add(row);
                if (read % rowsPerCheck == 0)
                    throwIfTaskCancelled();
            }
        }
        pending.sort();
        if (!assignKeys(kept, pending.messages())) {
            rollbackTran();
            return false;
        }
        std::vector<PendingMessages::Message>& messages = pending.messages();
        for (size_t i = 0; i < messages.size(); ++i) {
            writer.add(messages[i]);
            if ((i + 1) % rowsPerCheck == 0) {
                throwIfTaskCancelled();
                if (progress)
                    progress(qint64(i + 1), qint64(messages.size()));
            }
        }
        writeState(*this, signature);
        commitTran();
        return true;
    } catch (...) {
        if (!sqlite3_get_autocommit(rawHandle()))
            rollbackTran();
        throw;
    }
}
