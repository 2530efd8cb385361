// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/MsgCollection.h"

#include <QHash>
#include <QPair>
#include <QSet>

#include <stdexcept>

// Row ids are bound as parameters rather than written into the statement text, so that each
// statement is prepared once per connection and found again in the wrapper's statement cache.

namespace ios6writing {

// Which optional columns the open file has, tested once per open.
struct ColumnTests
{
    bool chatLast = false;
    bool chatDisplayName = false;
    bool chatGroupId = false;
    bool handleContactName = false;
    bool handleContactPhoto = false;
    bool messageAudio = false;
    bool messagePlayed = false;
    bool messageDatePlayed = false;
    bool messageItemTypeColumn = false;
    bool messageGroupActionType = false;
    bool messageShareStatus = false;
    bool messageShareDirection = false;
    bool messageExpirable = false;
    bool messageExpireState = false;
    bool messageActionType = false;
    bool messageGroupTitle = false;
    bool messageOtherHandle = false;
    bool messageLogicHash = false;
    bool attachmentUserInfo = false;
    bool attachmentTransferName = false;
    bool attachmentTotalBytes = false;
};

} // namespace ios6writing

struct IOS6MessageDb::WriteCache
{
    // The tableSql the tests were made from; a refilled tableSql no longer shares it.
    QMap<QString, QString> tableSql;
    ios6writing::ColumnTests has;

    // Insert statement texts per table, keyed by the set of optional columns a row writes.
    QHash<quint64, QString> chatInserts;
    QHash<quint64, QString> handleInserts;
    QHash<quint64, QString> messageInserts;
    QHash<quint64, QString> attachmentInserts;
};

struct IOS6MessageDb::WriterRun
{
    QHash<QString, qint64> chatsByGuid;
    QHash<QPair<QString, QString>, qint64> handlesByIdAndService;
    QSet<QPair<qint64, qint64>> chatHandleJoins;
    // Per conversation, the newest message date written in this run and not yet stored in _last.
    QHash<qint64, int> pendingNewestDates;
    // Per conversation, the last_addressed_handle this run last stored.
    QHash<qint64, QString> lastAddressedHandles;
    // Fingerprints (64-bit hashes of the UTF-8 bytes SQLite compares) of the logic_hash and guid of
    // every message this run wrote. When the store held no message as the run began, a key whose
    // fingerprint is missing here is missing from the store; a fingerprint found is confirmed by a query.
    QSet<size_t> writtenLogicHashes;
    QSet<size_t> writtenGuids;
    bool storeHadMessages = true;
};

namespace {

size_t keyFingerprint(const QString& key)
{
    return qHash(key.toUtf8(), 0);
}

// The row id in the first row of a "select rowid ..." query, 0 without a row. Read by position:
// SQLite names that column ROWID or rowid depending on the table's declaration.
qint64 firstRowId(Sqlite3Cursor cursor)
{
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

// Binds the values of an insert in column order and records which optional columns were written,
// so that the statement text is looked up instead of being built for every row.
class InsertBinder
{
public:
    explicit InsertBinder(Sqlite3Sql& sql)
        : m_sql(sql)
    {
    }

    void col(const char*, int value) { m_sql.addIntParam(value); }
    void col(const char*, qint64 value) { m_sql.addInt64Param(value); }
    void col(const char*, const QString& value) { m_sql.addTextParam(value); }
    void col(const char*, const QByteArray& value) { m_sql.addBlobParam(value); }

    template <typename T> void opt(bool write, const char* name, const T& value)
    {
        if (write) {
            m_mask |= quint64(1) << m_bit;
            col(name, value);
        }
        ++m_bit;
    }

    quint64 mask() const { return m_mask; }

private:
    Sqlite3Sql& m_sql;
    quint64 m_mask = 0;
    int m_bit = 0;
};

// Collects the column names of an insert, given the same row, to build its statement text.
class InsertNames
{
public:
    template <typename T> void col(const char* name, const T&)
    {
        if (!m_columns.isEmpty()) {
            m_columns += QLatin1Char(',');
            m_marks += QLatin1Char(',');
        }
        m_columns += QLatin1Char('[') + QLatin1String(name) + QLatin1Char(']');
        m_marks += QLatin1Char('?');
    }

    template <typename T> void opt(bool write, const char* name, const T& value)
    {
        if (write)
            col(name, value);
    }

    QString sql(const char* table) const
    {
        return QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)").arg(QLatin1String(table), m_columns, m_marks);
    }

private:
    QString m_columns;
    QString m_marks;
};

template <typename Sink>
void chatColumns(Sink& s, const ios6writing::ColumnTests& c, const _MsgChat& chat, const QString& groupId)
{
    s.col("guid", chat.guid);
    s.col("style", chat.style);
    s.col("state", chat.state);
    s.opt(!chat.account_id.isEmpty(), "account_id", chat.account_id);
    s.col("chat_identifier", chat.chat_identifier);
    s.col("service_name", chat.service_name);
    s.opt(!chat.room_name.isEmpty(), "room_name", chat.room_name);
    s.col("account_login", chat.account_login);
    s.col("is_archived", chat.is_archived);
    s.opt(c.chatDisplayName && !chat.display_name.isEmpty(), "display_name", chat.display_name);
    s.opt(c.chatGroupId, "group_id", groupId);
}

template <typename Sink> void handleColumns(Sink& s, const ios6writing::ColumnTests& c, const _MsgHandle& handle)
{
    s.col("id", handle.id);
    s.opt(!handle.country.isEmpty(), "country", handle.country);
    s.col("service", handle.service);
    s.opt(!handle.uncanonicalized_id.isEmpty(), "uncanonicalized_id", handle.uncanonicalized_id);
    s.opt(c.handleContactName, "_ct_name", handle._ct_name);
    s.opt(c.handleContactPhoto, "_photo", handle._photo);
}

template <typename Sink>
void messageColumns(Sink& s, const ios6writing::ColumnTests& c, const _MsgMessage& m, qint64 handleRowId,
    qint64 otherHandleRowId, const QString& hash)
{
    s.col("guid", m.guid);
    s.col("text", m.text);
    s.col("replace", m.replace);
    s.opt(!m.service_center.isEmpty(), "service_center", m.service_center);
    s.col("handle_id", handleRowId);
    s.opt(!m.subject.isEmpty(), "subject", m.subject);
    s.opt(!m.country.isEmpty(), "country", m.country);
    s.opt(!m.attributedBody.isEmpty(), "attributedBody", m.attributedBody);
    s.col("version", m.version);
    s.col("type", m.type);
    s.col("service", m.service);
    s.col("account", m.account);
    s.col("account_guid", m.account_guid);
    s.col("error", m.error);
    s.col("date", m.date);
    s.col("date_read", m.date_read);
    s.col("date_delivered", m.date_delivered);
    s.col("is_delivered", m.is_delivered);
    s.col("is_finished", m.is_finished);
    s.col("is_emote", m.is_emote);
    s.col("is_from_me", m.is_from_me);
    s.col("is_empty", m.is_empty);
    s.col("is_delayed", m.is_delayed);
    s.col("is_auto_reply", m.is_auto_reply);
    s.col("is_prepared", m.is_prepared);
    s.col("is_read", m.is_read);
    s.col("is_system_message", m.is_system_message);
    s.col("is_sent", m.is_sent);
    s.col("has_dd_results", m.has_dd_results);
    s.col("is_service_message", m.is_service_message);
    s.col("is_forward", m.is_forward);
    s.col("was_downgraded", m.was_downgraded);
    s.col("is_archive", m.is_archive);
    s.col("cache_has_attachments", m.cache_has_attachments);
    s.col("cache_roomnames", m.cache_roomnames);
    s.col("was_data_detected", m.was_data_detected);
    s.col("was_deduplicated", m.was_deduplicated);
    s.opt(c.messageAudio, "is_audio_message", m.is_audio_message);
    s.opt(c.messagePlayed, "is_played", m.is_played);
    s.opt(c.messageDatePlayed, "date_played", m.date_played);
    s.opt(c.messageItemTypeColumn, "item_type", m.item_type);
    s.opt(c.messageOtherHandle && otherHandleRowId > 0, "other_handle", otherHandleRowId);
    s.opt(c.messageGroupTitle && !m.group_title.isEmpty(), "group_title", m.group_title);
    s.opt(c.messageGroupActionType, "group_action_type", m.group_action_type);
    s.opt(c.messageShareStatus, "share_status", m.share_status);
    s.opt(c.messageShareDirection, "share_direction", m.share_direction);
    s.opt(c.messageExpirable, "is_expirable", m.is_expirable);
    s.opt(c.messageExpireState, "expire_state", m.expire_state);
    s.opt(c.messageActionType, "message_action_type", m.message_action_type);
    s.opt(c.messageLogicHash, "logic_hash", hash);
}

template <typename Sink> void attachmentColumns(Sink& s, const ios6writing::ColumnTests& c, const _MsgAttachment& a)
{
    s.col("guid", a.guid);
    s.col("created_date", a.created_date);
    s.col("start_date", a.start_date);
    s.col("filename", a.filename);
    s.col("uti", a.uti);
    s.col("mime_type", a.mime_type);
    s.col("transfer_state", a.transfer_state);
    s.col("is_outgoing", a.is_outgoing);
    s.opt(c.attachmentUserInfo && !a.user_info.isEmpty(), "user_info", a.user_info);
    s.opt(c.attachmentTransferName && !a.transfer_name.isEmpty(), "transfer_name", a.transfer_name);
    s.opt(c.attachmentTotalBytes, "total_bytes", a.total_bytes);
}

// Binds one row through `columns` and completes the statement with the text cached for the set
// of columns it wrote, building that text on first use.
template <typename Columns>
Sqlite3Sql insertStatement(QHash<quint64, QString>& texts, const char* table, Columns&& columns)
{
    Sqlite3Sql sql { QString() };
    sql.reserveParams(64);
    InsertBinder binder(sql);
    columns(binder);
    auto found = texts.constFind(binder.mask());
    if (found == texts.constEnd()) {
        InsertNames names;
        columns(names);
        found = texts.insert(binder.mask(), names.sql(table));
    }
    sql.appendSql(found.value());
    return sql;
}

} // namespace

IOS6MessageDb::WriteCache& IOS6MessageDb::writeCache()
{
    open();
    if (m_writeCache && m_writeCache->tableSql.isSharedWith(m_tableSql))
        return *m_writeCache;

    auto cache = std::make_shared<WriteCache>();
    cache->tableSql = m_tableSql;
    cache->has.chatLast = chatKeepsLast();
    cache->has.chatDisplayName = chatHasColumn(QStringLiteral("display_name"));
    cache->has.chatGroupId = chatHasColumn(QStringLiteral("group_id"));
    cache->has.handleContactName = handleHasContactName();
    cache->has.handleContactPhoto = handleHasContactPhoto();
    cache->has.messageAudio = messageHasColumn(QStringLiteral("is_audio_message"));
    cache->has.messagePlayed = messageHasColumn(QStringLiteral("is_played"));
    cache->has.messageDatePlayed = messageHasColumn(QStringLiteral("date_played"));
    cache->has.messageItemTypeColumn = messageHasColumn(QStringLiteral("item_type"));
    cache->has.messageGroupActionType = messageHasColumn(QStringLiteral("group_action_type"));
    cache->has.messageShareStatus = messageHasColumn(QStringLiteral("share_status"));
    cache->has.messageShareDirection = messageHasColumn(QStringLiteral("share_direction"));
    cache->has.messageExpirable = messageHasColumn(QStringLiteral("is_expirable"));
    cache->has.messageExpireState = messageHasColumn(QStringLiteral("expire_state"));
    cache->has.messageActionType = messageHasColumn(QStringLiteral("message_action_type"));
    cache->has.messageGroupTitle = messageHasColumn(QStringLiteral("group_title"));
    cache->has.messageOtherHandle = messageHasColumn(QStringLiteral("other_handle"));
    cache->has.messageLogicHash = messageHasColumn(QStringLiteral("logic_hash"));
    cache->has.attachmentUserInfo = attachmentHasColumn(QStringLiteral("user_info"));
    cache->has.attachmentTransferName = attachmentHasColumn(QStringLiteral("transfer_name"));
    cache->has.attachmentTotalBytes = attachmentHasColumn(QStringLiteral("total_bytes"));
    m_writeCache = std::move(cache);
    return *m_writeCache;
}

void IOS6MessageDb::beginWriterRun()
{
    auto run = std::make_shared<WriterRun>();
    open();
    if (m_tableSql.contains(QStringLiteral("message")))
        run->storeHadMessages = queryThrow("select 1 from message limit 1").moveNext();
    m_writerRun = std::move(run);
}

void IOS6MessageDb::flushNewestDates()
{
    if (!m_writerRun)
        return;
    QHash<qint64, int>& pending = m_writerRun->pendingNewestDates;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it)
        storeNewestDate(it.key(), it.value());
    pending.clear();
}

void IOS6MessageDb::endWriterRun()
{
    m_writerRun.reset();
}

qint64 IOS6MessageDb::findChatByGuid(const QString& guid)
{
    if (m_writerRun) {
        const qint64 known = m_writerRun->chatsByGuid.value(guid, 0);
        if (known != 0)
            return known;
    }
    open();
    Sqlite3Sql sql(QStringLiteral("select rowid from chat where guid=?"));
    sql.addTextParam(guid);
    const qint64 chatRowId = firstRowId(queryThrow(sql));
    if (m_writerRun && chatRowId != 0)
        m_writerRun->chatsByGuid.insert(guid, chatRowId);
    return chatRowId;
}

qint64 IOS6MessageDb::findHandle(const _MsgHandle& handle)
{
    if (m_writerRun) {
        const qint64 known = m_writerRun->handlesByIdAndService.value(qMakePair(handle.id, handle.service), 0);
        if (known != 0)
            return known;
    }
    open();
    Sqlite3Sql sql(QStringLiteral("select rowid from handle where id=? and service=?"));
    sql.addTextParam(handle.id).addTextParam(handle.service);
    const qint64 handleRowId = firstRowId(queryThrow(sql));
    if (m_writerRun && handleRowId != 0)
        m_writerRun->handlesByIdAndService.insert(qMakePair(handle.id, handle.service), handleRowId);
    return handleRowId;
}

bool IOS6MessageDb::isHandleInChat(qint64 chatRowId, qint64 handleRowId)
{
    if (m_writerRun && m_writerRun->chatHandleJoins.contains(qMakePair(chatRowId, handleRowId)))
        return true;
    open();
    Sqlite3Sql sql(QStringLiteral("select 1 from chat_handle_join where chat_id=? and handle_id=?"));
    sql.addInt64Param(chatRowId).addInt64Param(handleRowId);
    const bool joined = queryThrow(sql).moveNext();
    if (m_writerRun && joined)
        m_writerRun->chatHandleJoins.insert(qMakePair(chatRowId, handleRowId));
    return joined;
}

void IOS6MessageDb::joinHandleToChat(qint64 chatRowId, qint64 handleRowId)
{
    open();
    Sqlite3Sql sql(QStringLiteral("replace into chat_handle_join(chat_id,handle_id) values(?,?)"));
    sql.addInt64Param(chatRowId).addInt64Param(handleRowId);
    executeThrow(sql);
    if (m_writerRun)
        m_writerRun->chatHandleJoins.insert(qMakePair(chatRowId, handleRowId));
}

qint64 IOS6MessageDb::findMessageByLogicHash(const QString& logicHash)
{
    if (!writeCache().has.messageLogicHash)
        return 0;
    return findMessage(QStringLiteral("select rowid from message where logic_hash=?"), logicHash,
        m_writerRun ? &m_writerRun->writtenLogicHashes : nullptr);
}

qint64 IOS6MessageDb::findMessageByGuid(const QString& guid)
{
    open();
    return findMessage(QStringLiteral("select rowid from message where guid=?"), guid,
        m_writerRun ? &m_writerRun->writtenGuids : nullptr);
}

qint64 IOS6MessageDb::findMessage(const QString& query, const QString& key, const QSet<size_t>* written)
{
    // A NULL key matches no row; a run writes none.
    if (written && !m_writerRun->storeHadMessages && (key.isNull() || !written->contains(keyFingerprint(key))))
        return 0;
    Sqlite3Sql sql(query);
    sql.addTextParam(key);
    return firstRowId(queryThrow(sql));
}

void IOS6MessageDb::joinMessageToChat(qint64 chatRowId, qint64 messageRowId)
{
    open();
    Sqlite3Sql sql(QStringLiteral("replace into chat_message_join(chat_id,message_id) values(?,?)"));
    sql.addInt64Param(chatRowId).addInt64Param(messageRowId);
    executeThrow(sql);
}

void IOS6MessageDb::keepNewestDate(qint64 chatRowId, int date)
{
    if (!writeCache().has.chatLast)
        return;
    if (m_writerRun) {
        // _last ends up as the largest date of the run or the stored one, whichever is larger: one
        // update at the end of the run has the effect of one update per message.
        auto pending = m_writerRun->pendingNewestDates.find(chatRowId);
        if (pending == m_writerRun->pendingNewestDates.end())
            m_writerRun->pendingNewestDates.insert(chatRowId, date);
        else if (pending.value() < date)
            pending.value() = date;
        return;
    }
    storeNewestDate(chatRowId, date);
}

void IOS6MessageDb::storeNewestDate(qint64 chatRowId, int date)
{
    Sqlite3Sql sql(QStringLiteral("update chat set _last=? where rowid=? and _last < ?"));
    sql.addIntParam(date).addInt64Param(chatRowId).addIntParam(date);
    executeThrow(sql);
}

void IOS6MessageDb::setLastAddressedHandle(qint64 chatRowId, const QString& handleId)
{
    if (m_writerRun) {
        const auto stored = m_writerRun->lastAddressedHandles.constFind(chatRowId);
        if (stored != m_writerRun->lastAddressedHandles.constEnd() && stored.value() == handleId
            && stored.value().isNull() == handleId.isNull())
            return;
    }
    open();
    Sqlite3Sql sql(QStringLiteral("update chat set last_addressed_handle=? where rowid=?"));
    sql.addTextParam(handleId).addInt64Param(chatRowId);
    executeThrow(sql);
    if (m_writerRun)
        m_writerRun->lastAddressedHandles.insert(chatRowId, handleId);
}

qint64 IOS6MessageDb::findAttachmentByGuid(const QString& guid)
{
    open();
    Sqlite3Sql sql(QStringLiteral("select rowid from attachment where guid=?"));
    sql.addTextParam(guid);
    return firstRowId(queryThrow(sql));
}

void IOS6MessageDb::joinAttachmentToMessage(qint64 messageRowId, qint64 attachmentRowId)
{
    open();
    Sqlite3Sql sql(QStringLiteral("replace into message_attachment_join(message_id,attachment_id) values(?,?)"));
    sql.addInt64Param(messageRowId).addInt64Param(attachmentRowId);
    executeThrow(sql);
}

qint64 IOS6MessageDb::insertChat(const _MsgChat& chat)
{
    if (chat.service_name != QLatin1String("SMS") && chat.service_name != QLatin1String("iMessage"))
        throw std::runtime_error(QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:%1")
                                     .arg(chat.service_name)
                                     .toStdString());

    WriteCache& cache = writeCache();
    QString groupId;
    if (cache.has.chatGroupId)
        groupId = chat.group_id.isEmpty() ? guidFromBytes(chat.guid.toUtf8()) : chat.group_id;
    const Sqlite3Sql sql
        = insertStatement(cache.chatInserts, "chat", [&](auto& sink) { chatColumns(sink, cache.has, chat, groupId); });
    executeThrow(sql);
    const qint64 chatRowId = lastInsertId();
    if (m_writerRun)
        m_writerRun->chatsByGuid.insert(chat.guid, chatRowId);

    for (const _MsgHandle* handle : chat.handles) {
        if (!handle)
            continue;
        qint64 handleRowId = findHandle(*handle);
        if (handleRowId == 0)
            handleRowId = insertHandle(*handle);
        joinHandleToChat(chatRowId, handleRowId);
    }
    return chatRowId;
}

qint64 IOS6MessageDb::insertHandle(const _MsgHandle& handle)
{
    WriteCache& cache = writeCache();
    const Sqlite3Sql sql
        = insertStatement(cache.handleInserts, "handle", [&](auto& sink) { handleColumns(sink, cache.has, handle); });
    executeThrow(sql);
    const qint64 handleRowId = lastInsertId();
    if (m_writerRun)
        m_writerRun->handlesByIdAndService.insert(qMakePair(handle.id, handle.service), handleRowId);
    return handleRowId;
}

bool IOS6MessageDb::writesLogicHash()
{
    return writeCache().has.messageLogicHash;
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId)
{
    return insertMessage(message, handleRowId, otherHandleRowId, writesLogicHash() ? logicHash(message) : QString());
}

qint64 IOS6MessageDb::insertMessage(
    const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId, const QString& hash)
{
    WriteCache& cache = writeCache();
    const Sqlite3Sql sql = insertStatement(cache.messageInserts, "message",
        [&](auto& sink) { messageColumns(sink, cache.has, message, handleRowId, otherHandleRowId, hash); });
    executeThrow(sql);
    const qint64 messageRowId = lastInsertId();
    if (m_writerRun) {
        if (cache.has.messageLogicHash && !hash.isNull())
            m_writerRun->writtenLogicHashes.insert(keyFingerprint(hash));
        if (!message.guid.isNull())
            m_writerRun->writtenGuids.insert(keyFingerprint(message.guid));
    }
    return messageRowId;
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& attachment)
{
    WriteCache& cache = writeCache();
    const Sqlite3Sql sql = insertStatement(
        cache.attachmentInserts, "attachment", [&](auto& sink) { attachmentColumns(sink, cache.has, attachment); });
    executeThrow(sql);
    return lastInsertId();
}

void IOS6MessageDb::deleteMessage(const _MsgMessage& message)
{
    open();
    // Its triggers may remove conversations and correspondents a writer run remembers.
    if (m_writerRun) {
        m_writerRun->chatsByGuid.clear();
        m_writerRun->handlesByIdAndService.clear();
        m_writerRun->chatHandleJoins.clear();
        m_writerRun->lastAddressedHandles.clear();
        m_writerRun->writtenLogicHashes.clear();
        m_writerRun->writtenGuids.clear();
        m_writerRun->storeHadMessages = true;
    }
    const qint64 messageRowId = message.rowid;
    executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM message WHERE rowid=?")).addInt64Param(messageRowId));
    executeThrow(
        Sqlite3Sql(QStringLiteral("DELETE FROM chat_message_join where message_id=?")).addInt64Param(messageRowId));
    executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM message_attachment_join where message_id=?"))
                     .addInt64Param(messageRowId));
    if (message.chat) {
        const qint64 chatRowId = message.chat->rowid;
        executeThrow(Sqlite3Sql(QStringLiteral("DELETE FROM chat WHERE rowid=? and (SELECT 1 from chat_message_join "
                                               "WHERE chat_id=? LIMIT 1) IS NULL"))
                         .addInt64Param(chatRowId)
                         .addInt64Param(chatRowId));
    }
}
