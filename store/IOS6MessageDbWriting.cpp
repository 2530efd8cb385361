// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageIdentity.h"
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"

#include <QHash>
#include <QPair>
#include <QSet>

#include <sqlite3.h>
#include <stdexcept>
#include <utility>

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
    // Bit i set: the table has messageColumnTable[i]; always set for the columns every store has.
    quint64 messageColumns = 0;
    bool messageLogicHash = false;
    bool attachmentUserInfo = false;
    bool attachmentTransferName = false;
    bool attachmentTotalBytes = false;
    // The store's messages count their dates in nanoseconds; new ones are written the same way.
    bool nanosecondDates = false;
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

namespace ios6writing {

// A message key (logic_hash or guid) with its UTF-8 bytes and their fingerprint, kept for the next
// call with the same string: a message's keys are looked up and then written.
struct EncodedKey
{
    QString text;
    QByteArray utf8;
    size_t fingerprint = 0;
};

} // namespace ios6writing

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
    // every message this run wrote, the logic_hash ones with the message's row id. When the store held
    // no message as the run began, a key whose fingerprint is missing here is missing from the store;
    // a fingerprint found is confirmed by a query (for logic_hash, on the rows that have it).
    QMultiHash<size_t, qint64> writtenLogicHashes;
    QSet<size_t> writtenGuids;
    bool storeHadMessages = true;
    ios6writing::EncodedKey lastLogicHash;
    ios6writing::EncodedKey lastGuid;
};

namespace {

using ios6writing::EncodedKey;

// The slot's encoding of `key`, made again unless the slot already holds this very string. Only a
// string with its own counted storage is recognised by where it is stored: the slot keeps that
// storage alive, so no other text can appear there.
const EncodedKey& encodedKey(EncodedKey& slot, const QString& key)
{
    const bool same = key.data_ptr().isMutable() && slot.text.constData() == key.constData()
        && slot.text.size() == key.size() && !slot.text.isNull();
    if (!same) {
        slot.text = key;
        slot.utf8 = key.toUtf8();
        slot.fingerprint = qHash(slot.utf8, 0);
    }
    return slot;
}

// Binds a key as addTextParam would, from the bytes already encoded.
void bindKey(Sqlite3Sql& sql, const EncodedKey& key)
{
    if (key.utf8.isEmpty())
        sql.addTextParam(key.text);
    else
        sql.addUtf8TextParam(key.utf8);
}

// The message indexes a writer run never looks up by: dropped for a run into an empty store and
// built again, sorted at once, before it commits.
const char* const deferrableIndexes[] = { "message_idx_handle", "message_idx_logic_hash" };

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
        const int value = m.*column.intField;
        if (positive && value <= 0)
            return false;
        sql.addIntParam(value);
        return true;
    }
    case MessageColumnKind::Date: {
        const int value = m.*column.intField;
        if (positive && value <= 0)
            return false;
        if (nanosecondDates)
            sql.addInt64Param(secondsToStoredDate(value, true));
        else
            sql.addIntParam(value);
        return true;
    }
    case MessageColumnKind::Int64: {
        const qint64 value = m.*column.int64Field;
        if (positive && value <= 0)
            return false;
        sql.addInt64Param(value);
        return true;
    }
    case MessageColumnKind::Text:
    case MessageColumnKind::SharedText: {
        const QString& value = m.*column.textField;
        if (nonEmpty && value.isEmpty())
            return false;
        if (guidKey && column.textField == &_MsgMessage::guid)
            bindKey(sql, *guidKey);
        else
            sql.addTextParam(value);
        return true;
    }
    case MessageColumnKind::Blob: {
        const QByteArray& value = m.*column.bytesField;
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

void IOS6MessageDb::beginWriterRun()
{
    auto run = std::make_shared<WriterRun>();
    open();
    if (m_tableSql.contains(QStringLiteral("message")))
        run->storeHadMessages = queryThrow("select 1 from message limit 1").moveNext();
    m_writerRun = std::move(run);
    // Dropped only inside a transaction, whose rollback brings them back and whose commit waits for them.
    if (!m_writerRun->storeHadMessages && !m_readOnly && inTransaction() && !sqlite3_get_autocommit(rawHandle()))
        deferMessageIndexes();
}

void IOS6MessageDb::deferMessageIndexes()
{
    m_deferredIndexes.clear();
    for (const char* name : deferrableIndexes) {
        QString createSql;
        {
            Sqlite3Cursor index = queryThrow(
                Sqlite3Sql("select sql from sqlite_master where type='index' and tbl_name='message' and name=?")
                    .addTextParam(QLatin1String(name)));
            if (!index.moveNext() || index.isNull(0))
                continue;
            createSql = index.getText(0);
        }
        executeThrow(Sqlite3Sql(QStringLiteral("DROP INDEX %1").arg(QLatin1String(name))));
        m_deferredIndexes.append(qMakePair(QString::fromLatin1(name), createSql));
    }
}

void IOS6MessageDb::restoreDeferredIndexes()
{
    if (m_deferredIndexes.isEmpty())
        return;
    // After a rollback, or a close that ended the transaction, the indexes are there again.
    const QList<QPair<QString, QString>> deferred = std::exchange(m_deferredIndexes, {});
    for (const auto& [name, createSql] : deferred) {
        const bool exists
            = queryThrow(Sqlite3Sql("select 1 from sqlite_master where type='index' and name=?").addTextParam(name))
                  .moveNext();
        if (!exists)
            executeThrow(Sqlite3Sql(createSql));
    }
}

void IOS6MessageDb::beforeCommit()
{
    restoreDeferredIndexes();
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
    return findMessage(QStringLiteral("select rowid from message where logic_hash=?"), logicHash, true);
}

qint64 IOS6MessageDb::findMessageByGuid(const QString& guid)
{
    open();
    return findMessage(QStringLiteral("select rowid from message where guid=?"), guid, false);
}

qint64 IOS6MessageDb::findMessage(const QString& query, const QString& key, bool byLogicHash)
{
    WriterRun* run = m_writerRun.get();
    if (!run) {
        Sqlite3Sql sql(query);
        sql.addTextParam(key);
        return firstRowId(queryThrow(sql));
    }
    const EncodedKey& encoded = encodedKey(byLogicHash ? run->lastLogicHash : run->lastGuid, key);
    if (!run->storeHadMessages) {
        // A NULL key matches no row; a run writes none.
        if (key.isNull())
            return 0;
        if (byLogicHash)
            return findWrittenByLogicHash(key);
        if (!run->writtenGuids.contains(encoded.fingerprint))
            return 0;
    }
    Sqlite3Sql sql(query);
    bindKey(sql, encoded);
    return firstRowId(queryThrow(sql));
}

// In a store that held no message as the run began, the rows that can have this logic_hash are those the
// run wrote with its fingerprint: each is tested by its row id, and the first that has it is the one the
// query by logic_hash finds.
qint64 IOS6MessageDb::findWrittenByLogicHash(const QString& logicHash)
{
    const EncodedKey& encoded = encodedKey(m_writerRun->lastLogicHash, logicHash);
    auto [candidate, last] = m_writerRun->writtenLogicHashes.equal_range(encoded.fingerprint);
    qint64 found = 0;
    for (; candidate != last; ++candidate) {
        const qint64 rowId = candidate.value();
        if (found != 0 && rowId >= found)
            continue;
        Sqlite3Sql sql(QStringLiteral("select rowid from message where rowid=? and logic_hash=?"));
        sql.addInt64Param(rowId);
        bindKey(sql, encoded);
        if (queryThrow(sql).moveNext())
            found = rowId;
    }
    return found;
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
    const qint64 stored = secondsToStoredDate(date, writeCache().has.nanosecondDates);
    Sqlite3Sql sql(QStringLiteral("update chat set _last=? where rowid=? and _last < ?"));
    sql.addInt64Param(stored).addInt64Param(chatRowId).addInt64Param(stored);
    executeThrow(sql);
}

QString IOS6MessageDb::numberCountry()
{
    open();
    if (!m_tableSql.value(QStringLiteral("handle")).contains(QLatin1String("country"), Qt::CaseInsensitive))
        return QString();
    Sqlite3Cursor cursor = queryThrow("select lower(trim(country)) as c from handle where length(trim(country)) = 2 "
                                      "group by c order by count(*) desc, c limit 1");
    return cursor.moveNext() ? cursor.getText(0) : QString();
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
    WriterRun* run = m_writerRun.get();
    const EncodedKey* guidKey = run ? &encodedKey(run->lastGuid, message.guid) : nullptr;
    const EncodedKey* hashKey = run && cache.has.messageLogicHash ? &encodedKey(run->lastLogicHash, hash) : nullptr;
    const Sqlite3Sql sql = messageInsert(
        cache.messageInserts, cache.has, message, handleRowId, otherHandleRowId, hash, guidKey, hashKey);
    executeThrow(sql);
    const qint64 messageRowId = lastInsertId();
    if (run) {
        if (hashKey && !hash.isNull())
            run->writtenLogicHashes.insert(hashKey->fingerprint, messageRowId);
        if (!message.guid.isNull())
            run->writtenGuids.insert(guidKey->fingerprint);
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
    // The clean-up triggers look messages up by correspondent.
    restoreDeferredIndexes();
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
