// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"
#include "store/StoreLog.h"

#include <QFileInfo>
#include <QtDebug>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads a text column whose values repeat from row to row (service, country, account) and hands
// out the previous row's string while the bytes stay the same, so equal values share one buffer.
class RepeatedText
{
public:
    RepeatedText(const Sqlite3Cursor& cursor, const QString& name)
        : m_index(cursor.columnIndex(name))
    {
    }

    QString read(const Sqlite3Cursor& cursor)
    {
        int size = 0;
        const char* data = cursor.textData(m_index, &size);
        if (!data || size == 0)
            return QString();
        if (m_lastBytes.size() != static_cast<size_t>(size) || m_lastBytes.compare(0, size, data, size) != 0) {
            m_lastBytes.assign(data, size);
            m_lastValue = QString::fromUtf8(data, size);
        }
        return m_lastValue;
    }

private:
    int m_index;
    std::string m_lastBytes;
    QString m_lastValue;
};

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
                (*m).*column.textField = c.getText(bound.index);
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
        int shared; // position in m_sharedTexts, -1 for other kinds
    };
    std::vector<Bound> m_columns;
    std::vector<RepeatedText> m_sharedTexts;
    ExtrasReader m_extras;
};

} // namespace

void IOS6MessageDb::chats(_MsgCollection& collection)
{
    open();
    bool withContacts = false;
    try {
        m_contacts.open();
        withContacts = m_contacts.isOpen();
    } catch (const std::exception& e) {
        qCWarning(lcStore).noquote()
            << QStringLiteral("IOS6MessageDb::chats, IOSContactsMemDb error. %1").arg(QString::fromUtf8(e.what()));
    }

    {
        Sqlite3Cursor c = queryThrow("select * from chat");
        const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
        const int guid = c.columnIndex(QStringLiteral("guid"));
        const int style = c.columnIndex(QStringLiteral("style"));
        const int state = c.columnIndex(QStringLiteral("state"));
        RepeatedText account_id(c, QStringLiteral("account_id"));
        const int properties = c.columnIndex(QStringLiteral("properties"));
        const int chat_identifier = c.columnIndex(QStringLiteral("chat_identifier"));
        RepeatedText service_name(c, QStringLiteral("service_name"));
        const int room_name = c.columnIndex(QStringLiteral("room_name"));
        RepeatedText account_login(c, QStringLiteral("account_login"));
        const int is_archived = c.columnIndex(QStringLiteral("is_archived"));
        const int last_addressed_handle = c.columnIndex(QStringLiteral("last_addressed_handle"));
        const int display_name = c.columnIndex(QStringLiteral("display_name"));
        const int last = c.columnIndex(QStringLiteral("_last"));
        const int group_id = c.columnIndex(QStringLiteral("group_id"));
        while (c.moveNext()) {
            const qint64 chatRowId = c.getInt64(rowid);
            if (collection.chat(chatRowId))
                continue;
            auto chat = std::make_unique<_MsgChat>();
            chat->rowid = chatRowId;
            chat->guid = c.getText(guid);
            chat->style = c.getInt(style);
            chat->state = c.getInt(state);
            chat->account_id = account_id.read(c);
            chat->properties = c.getBlob(properties);
            chat->chat_identifier = c.getText(chat_identifier);
            chat->service_name = service_name.read(c);
            chat->room_name = c.getText(room_name);
            chat->account_login = account_login.read(c);
            chat->is_archived = c.getInt(is_archived);
            chat->last_addressed_handle = c.getText(last_addressed_handle);
            chat->display_name = c.getText(display_name);
            chat->_last = storedDateToSeconds(c.getInt64(last));
            chat->group_id = c.getText(group_id);
            collection.addChat(std::move(chat));
        }
    }

    // A stored _last of 0 is the column's default: a conversation whose messages are all older than
    // 2001 never raises it, so its newest date is taken from its messages like in a store without
    // the column.
    {
        Sqlite3Cursor c = queryThrow(chatKeepsLast()
                ? "select cm.chat_id, max(m.date) as last from chat_message_join as cm inner join message as m on "
                  "cm.message_id=m.rowid where cm.chat_id in (select rowid from chat where _last = 0) group by "
                  "cm.chat_id"
                : "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as cm "
                  "inner join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");
        const int chat_id = c.columnIndex(QStringLiteral("chat_id"));
        const int last = c.columnIndex(QStringLiteral("last"));
        while (c.moveNext()) {
            if (_MsgChat* chat = collection.chat(c.getInt64(chat_id)))
                chat->_last = storedDateToSeconds(c.getInt64(last));
        }
    }

    Sqlite3Cursor c = queryThrow("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on "
                                 "j.handle_id = h.rowid");
    const int chat_id = c.columnIndex(QStringLiteral("chat_id"));
    const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
    const int id = c.columnIndex(QStringLiteral("id"));
    const int country = c.columnIndex(QStringLiteral("country"));
    RepeatedText service(c, QStringLiteral("service"));
    const int uncanonicalized_id = c.columnIndex(QStringLiteral("uncanonicalized_id"));
    const int ct_name = c.columnIndex(QStringLiteral("_ct_name"));
    const int photo = c.columnIndex(QStringLiteral("_photo"));
    QHash<QString, CountryInfo> countriesByCode;
    while (c.moveNext()) {
        const qint64 handleRowId = c.getInt64(rowid);
        _MsgHandle* handle = collection.handle(handleRowId);
        if (!handle) {
            auto fresh = std::make_unique<_MsgHandle>();
            fresh->rowid = handleRowId;
            fresh->id = c.getText(id);
            fresh->country = c.getText(country);
            fresh->service = service.read(c);
            fresh->uncanonicalized_id = c.getText(uncanonicalized_id);
            // With contacts open the stored name and picture are replaced below; not read for nothing.
            if (!withContacts) {
                fresh->_ct_name = c.getText(ct_name);
                fresh->_photo = c.getBlob(photo);
            }

            CountryInfo numberCountry;
            if (fresh->country.isEmpty()) {
                numberCountry = m_countryLib.currentCountry();
                fresh->country = numberCountry.sn.toLower();
            } else {
                auto known = countriesByCode.constFind(fresh->country);
                if (known == countriesByCode.constEnd())
                    known = countriesByCode.insert(fresh->country, m_countryLib.findBySn(fresh->country));
                numberCountry = known.value();
            }
            fresh->id = normalizePhoneNumber(numberCountry, fresh->id);

            if (withContacts) {
                const IOSContact contact = m_contacts.lookup(fresh->id);
                fresh->_ct_name = contact.displayName();
                fresh->_photo = contact.photo;
            }
            handle = collection.addHandle(std::move(fresh));
        }
        if (_MsgChat* chat = collection.chat(c.getInt64(chat_id)))
            chat->handles.insert(QString::number(handleRowId), handle);
    }
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

    // A whole store read into an empty collection indexes its records by row id after the loop.
    const bool unindexed = chatRowId <= 0 && collection.messages().isEmpty();
    qint64 expected = 0;
    if (unindexed) {
        Sqlite3Cursor count = queryThrow("select count(*) as n from message");
        if (count.moveNext())
            expected = count.getInt64(0);
        collection.reserve(0, 0, expected);
    }

    Sqlite3Cursor c = queryThrow(sql);
    MessageReader columns(c);
    // Linked after the loop: each conversation's list is put in order once instead of per message.
    std::vector<std::pair<_MsgMessage*, _MsgChat*>> links;
    links.reserve(size_t(expected));
    std::vector<_MsgMessage*> fresh;
    fresh.reserve(size_t(expected));
    // Indexes the fresh records and links every message read; a record that repeats a row id (a
    // message joined to several conversations) gives way to the first one in its links.
    const auto finish = [&collection, &links, &fresh]() {
        const auto repeats = collection.indexMessages(fresh);
        fresh.clear();
        if (!repeats.empty()) {
            QHash<const _MsgMessage*, _MsgMessage*> kept;
            for (const auto& [repeat, first] : repeats)
                kept.insert(repeat, first);
            for (auto& link : links)
                link.first = kept.value(link.first, link.first);
        }
        collection.linkMessagesToChats(links);
    };
    // Rows come conversation by conversation: the last conversation and correspondent found are
    // asked for again far more often than any other.
    qint64 lastChatId = 0;
    _MsgChat* lastChat = nullptr;
    qint64 lastHandleId = 0;
    _MsgHandle* lastHandle = nullptr;
    try {
        while (c.moveNext()) {
            _MsgMessage* message = nullptr;
            if (unindexed) {
                message = collection.addUnindexedMessage(c.getInt64(columns.rowid));
                fresh.push_back(message);
                columns.read(c, *message);
            } else {
                bool created = false;
                message = collection.addMessage(c.getInt64(columns.rowid), &created);
                if (created)
                    columns.read(c, *message);
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
            const qint64 chatId = c.getInt64(columns.chat_id);
            if (!lastChat || chatId != lastChatId) {
                lastChatId = chatId;
                lastChat = collection.chat(chatId);
            }
            if (lastChat)
                links.emplace_back(message, lastChat);
        }
    } catch (...) {
        // A read stopped part of the way (cancel, I/O error) leaves the messages it added indexed and linked.
        finish();
        throw;
    }
    finish();
    readAttachments(collection, chatRowId);
}

QString IOS6MessageDb::attachmentFile(const QString& filename) const
{
    return attachmentFileBelow(filename, QFileInfo(m_folder.path()).canonicalFilePath());
}

// The stored path is mapped below file-relay as the writer maps it, which already drops "..", absolute
// and drive forms; the canonical path then catches a link on the way that points elsewhere.
QString IOS6MessageDb::attachmentFileBelow(const QString& filename, const QString& canonicalFolder) const
{
    if (canonicalFolder.isEmpty() || filename.isEmpty())
        return QString();
    const QString relative = relayRelativePath(filename);
    if (relative.isEmpty())
        return QString();
    const QFileInfo info(m_fileRelay.filePath(relative));
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isFile())
        return QString();
    const QString prefix
        = canonicalFolder.endsWith(QLatin1Char('/')) ? canonicalFolder : canonicalFolder + QLatin1Char('/');
    return canonical.startsWith(prefix) ? canonical : QString();
}

void IOS6MessageDb::readAttachments(_MsgCollection& collection, qint64 chatRowId)
{
    // Stores of older layouts have no attachment tables.
    if (!m_tableSql.contains(QStringLiteral("attachment"))
        || !m_tableSql.contains(QStringLiteral("message_attachment_join")))
        return;
    QString sql = QStringLiteral("select j.message_id, a.* from message_attachment_join as j inner join attachment as "
                                 "a on j.attachment_id = a.rowid");
    if (chatRowId > 0)
        sql += QStringLiteral(" where j.message_id in (select message_id from chat_message_join where chat_id=%1)")
                   .arg(chatRowId);
    Sqlite3Cursor c = queryThrow(sql);
    const int message_id = c.columnIndex(QStringLiteral("message_id"));
    const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
    const int guid = c.columnIndex(QStringLiteral("guid"));
    const int created_date = c.columnIndex(QStringLiteral("created_date"));
    const int start_date = c.columnIndex(QStringLiteral("start_date"));
    const int filename = c.columnIndex(QStringLiteral("filename"));
    RepeatedText uti(c, QStringLiteral("uti"));
    RepeatedText mime_type(c, QStringLiteral("mime_type"));
    const int transfer_state = c.columnIndex(QStringLiteral("transfer_state"));
    const int is_outgoing = c.columnIndex(QStringLiteral("is_outgoing"));
    const int user_info = c.columnIndex(QStringLiteral("user_info"));
    const int transfer_name = c.columnIndex(QStringLiteral("transfer_name"));
    const int total_bytes = c.columnIndex(QStringLiteral("total_bytes"));
    const QString canonicalFolder = QFileInfo(m_folder.path()).canonicalFilePath();
    while (c.moveNext()) {
        _MsgMessage* message = collection.message(c.getInt64(message_id));
        if (!message)
            continue;
        _MsgAttachment attachment;
        attachment.rowid = c.getInt64(rowid);
        attachment.guid = c.getText(guid);
        attachment.created_date = storedDateToSeconds(c.getInt64(created_date));
        attachment.start_date = storedDateToSeconds(c.getInt64(start_date));
        attachment.filename = c.getText(filename);
        attachment.uti = uti.read(c);
        attachment.mime_type = mime_type.read(c);
        attachment.transfer_state = c.getInt(transfer_state);
        attachment.is_outgoing = c.getInt(is_outgoing);
        attachment.user_info = c.getBlob(user_info);
        attachment.transfer_name = c.getText(transfer_name);
        attachment.total_bytes = c.getInt64(total_bytes);
        attachment.sourcePath = attachmentFileBelow(attachment.filename, canonicalFolder);
        message->attachments.insert(QString::number(attachment.rowid), attachment);
    }
}
