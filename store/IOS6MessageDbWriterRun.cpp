// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "store/IOS6MessageDbWriterState.h"
#include "store/MessageColumns.h"

#include <QScopeGuard>

#include <sqlite3.h>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Row ids are bound as parameters rather than written into the statement text, so that each
// statement is prepared once per connection and found again in the wrapper's statement cache.

namespace ios6writing {

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

// The row id in the first row of a "select rowid ..." query, 0 without a row. Read by position:
// SQLite names that column ROWID or rowid depending on the table's declaration.
qint64 firstRowId(Sqlite3Cursor cursor)
{
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

} // namespace ios6writing

namespace {

// The fingerprint tables of a large run come from the heap, and glibc keeps freed heap memory in the
// process until it is asked to trim: without that, a run's peak would stay for the commit and after.
void giveBackFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

using ios6writing::bindKey;
using ios6writing::EncodedKey;
using ios6writing::encodedKey;
using ios6writing::firstRowId;

// The message indexes a writer run never looks up by: dropped for a run into an empty store and
// built again, sorted at once, before it commits.
const char* const deferrableIndexes[] = { "message_idx_handle", "message_idx_logic_hash" };
constexpr qint64 indexingCacheKiB = 8192;

} // namespace

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
    // Sorting the rows of an index takes as much memory again as the page cache holds; with a
    // smaller cache meanwhile a run of a million messages peaks 30 MiB lower.
    qint64 cacheSize = 0;
    {
        Sqlite3Cursor cursor = queryThrow("PRAGMA cache_size");
        cacheSize = cursor.moveNext() ? cursor.getInt64(0) : 0;
    }
    const bool shrink = cacheSize < -indexingCacheKiB;
    if (shrink)
        executeThrow(Sqlite3Sql(QStringLiteral("PRAGMA cache_size=%1").arg(-indexingCacheKiB)));
    const auto restoreCache = qScopeGuard([&] {
        QString error;
        if (shrink && isOpen())
            exec(QStringLiteral("PRAGMA cache_size=%1").arg(cacheSize), error);
    });
    for (const auto& [name, createSql] : deferred) {
        const bool exists
            = queryThrow(Sqlite3Sql("select 1 from sqlite_master where type='index' and name=?").addTextParam(name))
                  .moveNext();
        if (!exists)
            executeThrow(Sqlite3Sql(createSql));
    }
}

void IOS6MessageDb::lookUpWrittenMessagesInStore()
{
    // The fingerprints go first, so that their memory is free again before the indexes are built.
    if (m_writerRun) {
        const bool remembered = m_writerRun->writtenMessages > 0;
        m_writerRun->written.clear();
        m_writerRun->writtenMessages = 0;
        m_writerRun->storeHadMessages = true;
        if (remembered)
            giveBackFreedMemory();
    }
    restoreDeferredIndexes();
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
    const bool remembered = m_writerRun && m_writerRun->writtenMessages > 0;
    m_writerRun.reset();
    if (remembered)
        giveBackFreedMemory();
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
        if (!run->written.hasGuid(encoded.fingerprint))
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
    qint64 found = 0;
    for (const qint64 rowId : m_writerRun->written.logicHashRows(encoded.fingerprint)) {
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

void IOS6MessageDb::deleteMessage(const _MsgMessage& message)
{
    open();
    // The clean-up triggers look messages up by correspondent, and the run can no longer tell which
    // messages the store holds from what it wrote.
    lookUpWrittenMessagesInStore();
    // Its triggers may remove conversations and correspondents a writer run remembers.
    if (m_writerRun) {
        m_writerRun->chatsByGuid.clear();
        m_writerRun->handlesByIdAndService.clear();
        m_writerRun->chatHandleJoins.clear();
        m_writerRun->lastAddressedHandles.clear();
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