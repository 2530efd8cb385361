// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a store's messages: the decoding of each message row and the loop over the rows.
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"
#include "store/RepeatedText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
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

} // namespace

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
    const bool unindexed = chatRowId <= 0 && collection.messages().isEmpty();
    if (unindexed) {
        // The span of the row ids bounds the number of messages from two index look-ups, where a count
        // would walk the whole table; records the estimate holds in excess are never touched.
        Sqlite3Cursor span
            = queryThrow("select (select max(rowid) from message) - (select min(rowid) from message) + 1");
        if (span.moveNext())
            collection.expectMessages(qsizetype(std::clamp<qint64>(span.getInt64(0), 0, maxExpectedMessages)));
    }

    Sqlite3Cursor c = queryThrow(sql);
    MessageReader columns(c);
    std::vector<std::pair<_MsgMessage*, _MsgChat*>> links;
    // Rows come conversation by conversation: the last conversation and correspondent found are
    // asked for again far more often than any other.
    qint64 lastChatId = 0;
    _MsgChat* lastChat = nullptr;
    qint64 lastHandleId = 0;
    _MsgHandle* lastHandle = nullptr;
    // Indexes and links every message read, also when the read stops part of the way (cancel, I/O error).
    const auto finish = [&collection, &links]() {
        collection.indexUnindexedMessages();
        collection.linkMessagesToChats(links);
        links.clear();
    };
    try {
        while (c.moveNext()) {
            const qint64 chatId = c.getInt64(columns.chat_id);
            if (!lastChat || chatId != lastChatId) {
                lastChatId = chatId;
                lastChat = collection.chat(chatId);
            }
            _MsgMessage* message = nullptr;
            if (unindexed) {
                message = collection.addUnindexedMessage(c.getInt64(columns.rowid), lastChat);
                columns.read(c, *message);
            } else {
                bool created = false;
                message = collection.addMessage(c.getInt64(columns.rowid), &created);
                if (created)
                    columns.read(c, *message);
                if (lastChat)
                    links.emplace_back(message, lastChat);
            }
            if (!lastHandle || message->handle_id != lastHandleId) {
                lastHandleId = message->handle_id;
                lastHandle = collection.handle(lastHandleId);
            }
            if (_MsgHandle* handle = lastHandle) {
                message->handle = handle;
                if (message->country.isEmpty())
                    message->country = handle->country;
            }
            if (message->other_handle > 0) {
                if (_MsgHandle* other = collection.handle(message->other_handle))
                    message->otherHandle = other;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    readAttachments(collection, chatRowId);
}
