// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a store's messages: the decoding of each message row and the loop over the rows.
#include "base/TaskReporting.h"
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"
#include "store/RepeatedText.h"

#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Bounds the records set aside ahead of a read whose row ids are spread far apart.
constexpr qint64 maxExpectedMessages = qint64(1) << 20;

// Reads the columns held in a message's shared extras. Rows whose values equal the row before share
// that row's extras; rows that leave every such column at its default share none at all.
class ExtrasReader
{
public:
    void bind(const Sqlite3Cursor& c, const MessageColumn& column, const QString& name)
    {
        m_columns.push_back(Bound { &column, c.columnIndex(name), std::string() });
    }

    void read(const Sqlite3Cursor& c, _MsgMessage& record)
    {
        if (!sameAsCurrent(c))
            takeRow(c);
        // Tested through constData: the non-const conversion of a shared pointer would copy the body.
        if (m_current.constData())
            record.shareExtras(m_current);
    }

private:
    struct Bound
    {
        const MessageColumn* column;
        int index;
        std::string lastBytes; // the UTF-8 of the current text value
    };

    const _MsgMessageExtras& current() const { return m_current.constData() ? *m_current.constData() : m_defaults; }

    bool sameAsCurrent(const Sqlite3Cursor& c) const
    {
        const _MsgMessageExtras& now = current();
        for (const Bound& bound : m_columns) {
            const MessageColumn& column = *bound.column;
            switch (column.kind) {
            case MessageColumnKind::Int:
                if (c.getInt(bound.index) != now.*column.extraIntField)
                    return false;
                break;
            case MessageColumnKind::Date:
                if (storedDateToSeconds(c.getInt64(bound.index)) != now.*column.extraIntField)
                    return false;
                break;
            case MessageColumnKind::Text:
            case MessageColumnKind::SharedText: {
                int size = 0;
                const char* data = c.textData(bound.index, &size);
                if (bound.lastBytes.size() != size_t(size)
                    || (size > 0 && bound.lastBytes.compare(0, size_t(size), data, size_t(size)) != 0))
                    return false;
                break;
            }
            case MessageColumnKind::Blob: {
                const QByteArray& held = now.*column.extraBytesField;
                int size = 0;
                const void* data = c.blobData(bound.index, &size);
                if (held.size() != size || (size > 0 && std::memcmp(held.constData(), data, size_t(size)) != 0))
                    return false;
                break;
            }
            case MessageColumnKind::Int64:
                break;
            }
        }
        return true;
    }

    void takeRow(const Sqlite3Cursor& c)
    {
        QSharedDataPointer<_MsgMessageExtras> fresh(new _MsgMessageExtras());
        _MsgMessageExtras& extras = *fresh;
        for (Bound& bound : m_columns) {
            const MessageColumn& column = *bound.column;
            switch (column.kind) {
            case MessageColumnKind::Int:
                extras.*column.extraIntField = c.getInt(bound.index);
                break;
            case MessageColumnKind::Date:
                extras.*column.extraIntField = storedDateToSeconds(c.getInt64(bound.index));
                break;
            case MessageColumnKind::Text:
            case MessageColumnKind::SharedText: {
                int size = 0;
                const char* data = c.textData(bound.index, &size);
                bound.lastBytes.assign(data ? data : "", size_t(size));
                extras.*column.extraTextField = size > 0 ? QString::fromUtf8(data, size) : QString();
                break;
            }
            case MessageColumnKind::Blob:
                extras.*column.extraBytesField = c.getBlob(bound.index);
                break;
            case MessageColumnKind::Int64:
                break;
            }
        }
        if (extras == m_defaults)
            m_current.reset();
        else
            m_current = fresh;
    }

    std::vector<Bound> m_columns;
    const _MsgMessageExtras m_defaults;
    QSharedDataPointer<_MsgMessageExtras> m_current;
};

// Reads the message columns of a "j.chat_id, m.*" row, with their indexes resolved once per query.
class MessageReader
{
public:
    explicit MessageReader(const Sqlite3Cursor& c)
        : chat_id(c.columnIndex(QStringLiteral("chat_id")))
        , rowid(c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive))
    {
        m_columns.reserve(messageColumnCount);
        for (const MessageColumn& column : messageColumnTable) {
            if (!column.isRead())
                continue;
            const QString name = QLatin1String(column.name);
            if (column.inExtras()) {
                m_extras.bind(c, column, name);
                continue;
            }
            Bound bound { &column, c.columnIndex(name), -1 };
            if (column.kind == MessageColumnKind::SharedText) {
                bound.shared = static_cast<int>(m_sharedTexts.size());
                m_sharedTexts.emplace_back(c, name);
            } else if (column.textField == &_MsgMessage::text) {
                m_bodies = std::make_unique<RecurringShortText>(bound.index);
                bound.shared = 0;
            }
            m_columns.push_back(bound);
        }
    }

    void read(const Sqlite3Cursor& c, _MsgMessage& record)
    {
        _MsgMessage* m = &record;
        m->readRowId = m->rowid;
        for (const Bound& bound : m_columns) {
            const MessageColumn& column = *bound.column;
            switch (column.kind) {
            case MessageColumnKind::Int:
                (*m).*column.intField = c.getInt(bound.index);
                break;
            case MessageColumnKind::Date:
                (*m).*column.intField = storedDateToSeconds(c.getInt64(bound.index));
                break;
            case MessageColumnKind::Int64:
                (*m).*column.int64Field = c.getInt64(bound.index);
                break;
            case MessageColumnKind::Text:
                (*m).*column.textField = bound.shared < 0 ? c.getText(bound.index) : m_bodies->read(c);
                break;
            case MessageColumnKind::SharedText:
                (*m).*column.textField = m_sharedTexts[static_cast<size_t>(bound.shared)].read(c);
                break;
            case MessageColumnKind::Blob:
                (*m).*column.bytesField = c.getBlob(bound.index);
                break;
            }
        }
        m_extras.read(c, record);
    }

    const int chat_id;
    const int rowid;

private:
    struct Bound
    {
        const MessageColumn* column;
        int index;
        int shared; // position in m_sharedTexts, or 0 for the message body; -1 for others
    };
    std::vector<Bound> m_columns;
    std::vector<RepeatedText> m_sharedTexts;
    std::unique_ptr<RecurringShortText> m_bodies;
    ExtrasReader m_extras;
};

// Reads the message rows of a cursor into records: each made by `record(rowid, conversation, created)`,
// filled when created, and given its correspondents. The conversations and correspondents are only
// looked up in `lookups`, so that several threads may read into collections of their own at once.
template <typename NewRecord> void readMessageRows(Sqlite3Cursor& c, const _MsgCollection& lookups, NewRecord record)
{
    MessageReader columns(c);
    // Rows come conversation by conversation: the last conversation and correspondent found are
    // asked for again far more often than any other.
    qint64 lastChatId = 0;
    _MsgChat* lastChat = nullptr;
    qint64 lastHandleId = 0;
    _MsgHandle* lastHandle = nullptr;
    while (c.moveNext()) {
        const qint64 chatId = c.getInt64(columns.chat_id);
        if (!lastChat || chatId != lastChatId) {
            lastChatId = chatId;
            lastChat = lookups.chat(chatId);
        }
        bool created = false;
        _MsgMessage* message = record(c.getInt64(columns.rowid), lastChat, created);
        if (created)
            columns.read(c, *message);
        if (!lastHandle || message->handle_id != lastHandleId) {
            lastHandleId = message->handle_id;
            lastHandle = lookups.handle(lastHandleId);
        }
        if (_MsgHandle* handle = lastHandle) {
            message->handle = handle;
            if (message->country.isEmpty())
                message->country = handle->country;
        }
        if (message->other_handle > 0) {
            if (_MsgHandle* other = lookups.handle(message->other_handle))
                message->otherHandle = other;
        }
    }
}

// Reads the rows of the cursor into records that wait to be indexed.
void readUnindexedRows(Sqlite3Cursor& c, const _MsgCollection& lookups, _MsgCollection& into)
{
    readMessageRows(c, lookups, [&into](qint64 rowid, _MsgChat* chat, bool& created) {
        created = true;
        return into.addUnindexedMessage(rowid, chat);
    });
}

// A whole read splits into parts when it is long enough for a thread's start and a second connection
// to pay off: each part keeps at least 16,384 rows.
IOS6MessageDb::ReadSplit readSplit { int(std::clamp(std::thread::hardware_concurrency(), 1U, 4U)), 16384 };

// One part of a read on a thread of its own, with a connection of its own opened like the store's.
struct ReadPart
{
    qint64 firstJoinRow = 0;
    qint64 endJoinRow = 0; // one past the last
    _MsgCollection records;
    std::exception_ptr failure;
    std::thread thread;
};

QString partSql(const QString& sql, const ReadPart& part)
{
    return sql + QStringLiteral(" and j.rowid >= %1 and j.rowid < %2").arg(part.firstJoinRow).arg(part.endJoinRow);
}

} // namespace

IOS6MessageDb::ReadSplit IOS6MessageDb::setReadSplit(ReadSplit split)
{
    return std::exchange(readSplit, split);
}

bool IOS6MessageDb::readMessagesInParts(_MsgCollection& collection, const QString& sql, qint64 expected)
{
    const qint64 minRowsPerPart = std::max<qint64>(readSplit.minRowsPerPart, 1);
    const int parts = int(std::min<qint64>(readSplit.parts, expected / minRowsPerPart));
    // Another connection sees only what is committed: a caller inside a transaction reads on this one alone.
    if (parts < 2 || !sqlite3_get_autocommit(rawHandle()))
        return false;

    // The read transaction holds the store as it is while the parts' connections start theirs: a writer
    // can not commit in between. In write-ahead mode a writer could, so such a store is read on one
    // connection.
    {
        Sqlite3Cursor mode = queryThrow("PRAGMA journal_mode");
        if (mode.moveNext() && mode.getText(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
            return false;
    }
    executeThrow("BEGIN");
    const auto endRead = qScopeGuard([this] {
        try {
            commitTran();
        } catch (...) {
        }
    });
    qint64 first = 0;
    qint64 last = -1;
    try {
        // A conversation list without row ids has no ranges to split by.
        Sqlite3Cursor span = queryThrow(
            "select (select min(rowid) from chat_message_join), (select max(rowid) from chat_message_join)");
        if (span.moveNext() && !span.isNull(0)) {
            first = span.getInt64(0);
            last = span.getInt64(1);
        }
    } catch (const Sqlite3Exception&) {
        return false;
    }
    if (last - first + 1 < qint64(parts) * minRowsPerPart)
        return false;

    // This thread also indexes its part while the others read theirs, which takes about a seventh of
    // the reading time: its part is that much shorter, so that all end together.
    std::vector<std::unique_ptr<ReadPart>> split;
    const double rows = double(last - first + 1);
    const double firstShare = 1.0 / (1.0 + (parts - 1) * 8.0 / 7.0);
    const double otherShare = (1.0 - firstShare) / (parts - 1);
    for (int i = 0; i < parts; ++i) {
        auto part = std::make_unique<ReadPart>();
        part->firstJoinRow = i == 0 ? first : split.back()->endJoinRow;
        part->endJoinRow = i + 1 == parts ? last + 1 : first + qint64(rows * (firstShare + i * otherShare));
        split.push_back(std::move(part));
    }

    // Every thread started is waited for, whatever ends this read.
    const auto joinAll = qScopeGuard([&split] {
        for (const auto& part : split) {
            if (part->thread.joinable())
                part->thread.join();
        }
    });
    const QString connectionName = path();
    const int connectionFlags = (openFlags() & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    const std::atomic<bool>* cancelFlag = currentTaskCancelFlag();
    const _MsgCollection& lookups = collection;
    for (size_t i = 1; i < split.size(); ++i) {
        ReadPart* part = split[i].get();
        try {
            part->records.expectMessages(qsizetype(part->endJoinRow - part->firstJoinRow));
            part->thread = std::thread([part, &sql, &lookups, connectionName, connectionFlags, cancelFlag] {
                const TaskCancelScope cancelScope(cancelFlag);
                try {
                    Sqlite3DB connection;
                    connection.openThrow(connectionName, connectionFlags);
                    Sqlite3Cursor c = connection.queryThrow(partSql(sql, *part));
                    readUnindexedRows(c, lookups, part->records);
                } catch (...) {
                    part->failure = std::current_exception();
                }
            });
        } catch (...) {
            // No thread to be had: this thread reads the part after its own.
            part->failure = std::current_exception();
        }
    }

    // This thread reads the first part into the collection itself, then takes the others' records in
    // order, so the records end up as one read in row order would have left them.
    std::exception_ptr failure;
    try {
        collection.expectMessages(qsizetype(split[0]->endJoinRow - split[0]->firstJoinRow));
        Sqlite3Cursor c = queryThrow(partSql(sql, *split[0]));
        readUnindexedRows(c, collection, collection);
        // Indexed while the other parts are still being read.
        collection.indexUnindexedMessages();
    } catch (...) {
        failure = std::current_exception();
    }
    for (size_t i = 1; i < split.size(); ++i) {
        if (split[i]->thread.joinable())
            split[i]->thread.join();
    }
    for (size_t i = 1; i < split.size() && !failure; ++i) {
        ReadPart& part = *split[i];
        if (part.failure) {
            try {
                std::rethrow_exception(part.failure);
            } catch (const TaskCancelled&) {
                failure = part.failure;
                break;
            } catch (...) {
                // The part's own connection failed (a lock, a function only this connection knows):
                // its rows are read here instead, within the same read transaction.
                part.records.clear();
                try {
                    Sqlite3Cursor c = queryThrow(partSql(sql, part));
                    readUnindexedRows(c, collection, collection);
                } catch (...) {
                    failure = std::current_exception();
                }
                continue;
            }
        }
        collection.adoptUnindexedMessages(part.records);
    }
    collection.indexUnindexedMessages();
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

void IOS6MessageDb::messages(_MsgCollection& collection, qint64 chatRowId)
{
    open();
    chats(collection);

    QString sql = QStringLiteral(
        "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (messageHasItemType())
        sql += QStringLiteral(" and m.item_type <> 4");
    if (chatRowId > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chatRowId);

    // A whole store read into an empty collection indexes and links its records after the loop: each
    // conversation's list is put in order once instead of per message.
    if (chatRowId <= 0 && collection.messages().isEmpty()) {
        // The span of the row ids bounds the number of messages from two index look-ups, where a count
        // would walk the whole table; records the estimate holds in excess are never touched.
        qint64 expected = 0;
        {
            Sqlite3Cursor span
                = queryThrow("select (select max(rowid) from message) - (select min(rowid) from message) + 1");
            if (span.moveNext())
                expected = std::clamp<qint64>(span.getInt64(0), 0, maxExpectedMessages);
        }
        if (!readMessagesInParts(collection, sql, expected)) {
            collection.expectMessages(qsizetype(expected));
            Sqlite3Cursor c = queryThrow(sql);
            // Indexes and links every message read, also when the read stops part of the way (cancel,
            // I/O error).
            try {
                readUnindexedRows(c, collection, collection);
            } catch (...) {
                collection.indexUnindexedMessages();
                throw;
            }
            collection.indexUnindexedMessages();
        }
        readAttachments(collection, chatRowId);
        return;
    }

    Sqlite3Cursor c = queryThrow(sql);
    std::vector<std::pair<_MsgMessage*, _MsgChat*>> links;
    try {
        readMessageRows(c, collection, [&collection, &links](qint64 rowid, _MsgChat* chat, bool& created) {
            _MsgMessage* message = collection.addMessage(rowid, &created);
            if (chat)
                links.emplace_back(message, chat);
            return message;
        });
    } catch (...) {
        collection.linkMessagesToChats(links);
        throw;
    }
    collection.linkMessagesToChats(links);
    readAttachments(collection, chatRowId);
}
