// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageIdentity.h"
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/IOS6MessageDbWriterState.h"
#include "store/MessageColumns.h"

#include <QHash>

#include <stdexcept>
#include <utility>

// Row ids are bound as parameters rather than written into the statement text, so that each
// statement is prepared once per connection and found again in the wrapper's statement cache.

namespace {

using ios6writing::bindKey;
using ios6writing::EncodedKey;
using ios6writing::encodedKey;

// How many messages a writer run into an empty store remembers by fingerprint (24 MiB at most).
// Past that the run maintains the indexes it deferred, which costs time with the transaction's page
// cache (a run of a million messages took 60 % longer when this switch came at 250,000), so only
// runs beyond any phone's or backup file's usual size pay it.
qsizetype maxRememberedMessages = ios6writing::WrittenKeys::countLimit;

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

// Binds the value of one message column, or returns false when the row does not write it.
bool bindMessageColumn(Sqlite3Sql& sql, const MessageColumn& column, const _MsgMessage& m, qint64 handleRowId,
    qint64 otherHandleRowId, const QString& hash, const EncodedKey* guidKey, const EncodedKey* hashKey,
    bool nanosecondDates)
{
    const bool nonEmpty = column.write == MessageColumnWrite::NonEmpty;
    const bool positive = column.write == MessageColumnWrite::Positive;
    switch (column.source) {
    case MessageColumnSource::HandleRowId:
    case MessageColumnSource::OtherHandleRowId: {
        const qint64 rowId = column.source == MessageColumnSource::HandleRowId ? handleRowId : otherHandleRowId;
        if (positive && rowId <= 0)
            return false;
        sql.addInt64Param(rowId);
        return true;
    }
    case MessageColumnSource::LogicHash:
        if (hashKey)
            bindKey(sql, *hashKey);
        else
            sql.addTextParam(hash);
        return true;
    case MessageColumnSource::Field:
        break;
    }
    switch (column.kind) {
    case MessageColumnKind::Int: {
        const int value = column.intValue(m);
        if (positive && value <= 0)
            return false;
        sql.addIntParam(value);
        return true;
    }
    case MessageColumnKind::Date: {
        const int value = column.intValue(m);
        if (positive && value <= 0)
            return false;
        if (nanosecondDates)
            sql.addInt64Param(secondsToStoredDate(value, true));
        else
            sql.addIntParam(value);
        return true;
    }
    case MessageColumnKind::Int64: {
        const qint64 value = column.int64Value(m);
        if (positive && value <= 0)
            return false;
        sql.addInt64Param(value);
        return true;
    }
    case MessageColumnKind::Text:
    case MessageColumnKind::SharedText: {
        const QString& value = column.textValue(m);
        if (nonEmpty && value.isEmpty())
            return false;
        if (guidKey && column.textField == &_MsgMessage::guid)
            bindKey(sql, *guidKey);
        else
            sql.addTextParam(value);
        return true;
    }
    case MessageColumnKind::Blob: {
        const QByteArray& value = column.bytesValue(m);
        if (nonEmpty && value.isEmpty())
            return false;
        sql.addBlobParam(value);
        return true;
    }
    }
    return false;
}

// The insert of one message: the columns the table has and the row writes, with the statement text
// cached per set of written columns.
Sqlite3Sql messageInsert(QHash<quint64, QString>& texts, const ios6writing::ColumnTests& has, const _MsgMessage& m,
    qint64 handleRowId, qint64 otherHandleRowId, const QString& hash, const EncodedKey* guidKey,
    const EncodedKey* hashKey)
{
    const quint64 present = has.messageColumns;
    Sqlite3Sql sql { QString() };
    sql.reserveParams(messageColumnCount);
    quint64 written = 0;
    for (int i = 0; i < messageColumnCount; ++i) {
        const quint64 bit = quint64(1) << i;
        if ((present & bit)
            && bindMessageColumn(sql, messageColumnTable[i], m, handleRowId, otherHandleRowId, hash, guidKey, hashKey,
                has.nanosecondDates))
            written |= bit;
    }
    auto found = texts.constFind(written);
    if (found == texts.constEnd()) {
        InsertNames names;
        for (int i = 0; i < messageColumnCount; ++i) {
            if (written & (quint64(1) << i))
                names.col(messageColumnTable[i].name, 0);
        }
        found = texts.insert(written, names.sql("message"));
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
    for (int i = 0; i < messageColumnCount; ++i) {
        const MessageColumn& column = messageColumnTable[i];
        if (!column.addedAs || messageHasColumn(QLatin1String(column.name)))
            cache->has.messageColumns |= quint64(1) << i;
    }
    cache->has.messageLogicHash = messageHasColumn(QStringLiteral("logic_hash"));
    cache->has.attachmentUserInfo = attachmentHasColumn(QStringLiteral("user_info"));
    cache->has.attachmentTransferName = attachmentHasColumn(QStringLiteral("transfer_name"));
    cache->has.attachmentTotalBytes = attachmentHasColumn(QStringLiteral("total_bytes"));
    // Judged by the oldest and the newest dated message, so that a store with a few rows in the other
    // unit keeps the unit of the phone that made it.
    if (m_tableSql.contains(QStringLiteral("message"))) {
        Sqlite3Cursor dates = queryThrow("select (select date from message where date <> 0 order by rowid limit 1), "
                                         "(select date from message where date <> 0 order by rowid desc limit 1)");
        if (dates.moveNext())
            cache->has.nanosecondDates
                = isStoredInNanoseconds(dates.getInt64(0)) || isStoredInNanoseconds(dates.getInt64(1));
    }
    m_writeCache = std::move(cache);
    return *m_writeCache;
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

qsizetype IOS6MessageDb::setRememberedMessagesLimit(qsizetype messages)
{
    return std::exchange(maxRememberedMessages, messages);
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId)
{
    return insertMessage(message, handleRowId, otherHandleRowId, writesLogicHash() ? logicHash(message) : QString());
}

qint64 IOS6MessageDb::insertMessage(
    const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId, const QString& hash)
{
    WriteCache& cache = writeCache();
    WriterRun* run = m_writerRun.get();
    const EncodedKey* guidKey = run ? &encodedKey(run->lastGuid, message.guid) : nullptr;
    const EncodedKey* hashKey = run && cache.has.messageLogicHash ? &encodedKey(run->lastLogicHash, hash) : nullptr;
    const Sqlite3Sql sql = messageInsert(
        cache.messageInserts, cache.has, message, handleRowId, otherHandleRowId, hash, guidKey, hashKey);
    executeThrow(sql);
    const qint64 messageRowId = lastInsertId();
    if (run && !run->storeHadMessages) {
        bool kept = true;
        if (hashKey && !hash.isNull())
            kept = run->written.addLogicHash(hashKey->fingerprint, messageRowId);
        if (kept && !message.guid.isNull())
            kept = run->written.addGuid(guidKey->fingerprint);
        // A run of a very large phone or backup file switches to the store's indexes instead, so
        // that its memory stays bounded.
        if (!kept || ++run->writtenMessages >= maxRememberedMessages)
            lookUpWrittenMessagesInStore();
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
