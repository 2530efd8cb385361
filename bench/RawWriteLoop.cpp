// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/RawWriteLoop.h"

#include "message/MessageIdentity.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>

#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace {

class Connection
{
public:
    Connection(const QString& path, int flags)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
            const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
            sqlite3_close(m_db);
            throw std::runtime_error("can not open " + path.toStdString() + ": " + message);
        }
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return m_db; }

    void exec(const QByteArray& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error(message + " in " + sql.toStdString());
        }
    }

    [[noreturn]] void fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(m_db));
    }

private:
    sqlite3* m_db = nullptr;
};

// One prepared statement, reset after every use. Text and blob values are bound without copies:
// the caller keeps them alive until run or firstRowId returns.
class Statement
{
public:
    Statement(Connection& connection, const char* sql)
        : m_connection(connection)
    {
        if (sqlite3_prepare_v2(connection.handle(), sql, -1, &m_statement, nullptr) != SQLITE_OK)
            connection.fail(sql);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& text(const QByteArray& value)
    {
        check(sqlite3_bind_text(m_statement, ++m_index, value.constData(), int(value.size()), SQLITE_STATIC));
        return *this;
    }
    Statement& blob(const QByteArray& value)
    {
        check(sqlite3_bind_blob(m_statement, ++m_index, value.constData(), int(value.size()), SQLITE_STATIC));
        return *this;
    }
    Statement& integer(qint64 value)
    {
        check(sqlite3_bind_int64(m_statement, ++m_index, value));
        return *this;
    }

    void run()
    {
        int rc;
        do {
            rc = sqlite3_step(m_statement);
        } while (rc == SQLITE_ROW);
        finish(rc);
    }

    // The integer in the first column of the first row, 0 without a row.
    qint64 firstRowId()
    {
        const int rc = sqlite3_step(m_statement);
        const qint64 value = rc == SQLITE_ROW ? sqlite3_column_int64(m_statement, 0) : 0;
        finish(rc == SQLITE_ROW ? SQLITE_DONE : rc);
        return value;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            m_connection.fail("bind");
    }
    void finish(int rc)
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        m_index = 0;
        if (rc != SQLITE_DONE)
            m_connection.fail("step");
    }

    Connection& m_connection;
    sqlite3_stmt* m_statement = nullptr;
    int m_index = 0;
};

QByteArray messageInsertSql(bool withSubject)
{
    QByteArray columns = "[guid],[text],[replace],[handle_id],";
    if (withSubject)
        columns += "[subject],";
    columns += "[version],[type],[service],[account],[account_guid],[error],[date],[date_read],[date_delivered],"
               "[is_delivered],[is_finished],[is_emote],[is_from_me],[is_empty],[is_delayed],[is_auto_reply],"
               "[is_prepared],[is_read],[is_system_message],[is_sent],[has_dd_results],[is_service_message],"
               "[is_forward],[was_downgraded],[is_archive],[cache_has_attachments],[cache_roomnames],"
               "[was_data_detected],[was_deduplicated],[is_audio_message],[is_played],[date_played],[item_type],"
               "[group_action_type],[share_status],[share_direction],[is_expirable],[expire_state],"
               "[message_action_type],[logic_hash]";
    const int count = int(columns.count(',')) + 1;
    QByteArray marks;
    for (int i = 0; i < count; ++i)
        marks += i == 0 ? "?" : ",?";
    return "INSERT INTO [message] (" + columns + ") VALUES (" + marks + ")";
}

} // namespace

namespace RawWriteLoop {

void copySchema(const QString& sourcePath, const QString& targetPath)
{
    Connection source(sourcePath, SQLITE_OPEN_READONLY);
    QList<QByteArray> statements;
    {
        Statement pageSize(source, "PRAGMA page_size");
        statements.append("PRAGMA page_size=" + QByteArray::number(pageSize.firstRowId()));
        sqlite3_stmt* journal = nullptr;
        if (sqlite3_prepare_v2(source.handle(), "PRAGMA journal_mode", -1, &journal, nullptr) != SQLITE_OK)
            source.fail("PRAGMA journal_mode");
        if (sqlite3_step(journal) == SQLITE_ROW)
            statements.append(
                QByteArray("PRAGMA journal_mode=") + reinterpret_cast<const char*>(sqlite3_column_text(journal, 0)));
        sqlite3_finalize(journal);
    }
    sqlite3_stmt* schema = nullptr;
    const char* schemaSql = "select sql from sqlite_master where sql is not null and name not like 'sqlite_%' "
                            "order by case type when 'table' then 0 when 'index' then 1 when 'view' then 2 "
                            "else 3 end, rowid";
    if (sqlite3_prepare_v2(source.handle(), schemaSql, -1, &schema, nullptr) != SQLITE_OK)
        source.fail(schemaSql);
    while (sqlite3_step(schema) == SQLITE_ROW)
        statements.append(reinterpret_cast<const char*>(sqlite3_column_text(schema, 0)));
    sqlite3_finalize(schema);

    Connection target(targetPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    for (const QByteArray& sql : std::as_const(statements))
        target.exec(sql);
}

double writeMessages(const QString& path, const std::vector<_MsgMessage>& messages, qint64 cacheSize)
{
    Connection db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (cacheSize != 0)
        db.exec("PRAGMA cache_size=" + QByteArray::number(cacheSize));
    Statement findChat(db, "select rowid from chat where guid=?");
    Statement insertChat(db,
        "INSERT INTO [chat] ([guid],[style],[state],[chat_identifier],[service_name],"
        "[account_login],[is_archived],[group_id]) VALUES (?,?,?,?,?,?,?,?)");
    Statement findHandle(db, "select rowid from handle where id=? and service=?");
    Statement insertHandle(db, "INSERT INTO [handle] ([id],[service],[_ct_name],[_photo]) VALUES (?,?,?,?)");
    Statement isHandleInChat(db, "select 1 from chat_handle_join where chat_id=? and handle_id=?");
    Statement joinHandle(db, "replace into chat_handle_join(chat_id,handle_id) values(?,?)");
    Statement findByHash(db, "select rowid from message where logic_hash=?");
    Statement findByGuid(db, "select rowid from message where guid=?");
    Statement insertWithSubject(db, messageInsertSql(true).constData());
    Statement insertWithoutSubject(db, messageInsertSql(false).constData());
    Statement joinMessage(db, "replace into chat_message_join(chat_id,message_id) values(?,?)");
    Statement keepNewest(db, "update chat set _last=? where rowid=? and _last < ?");

    // Like the writer, the loop runs a lookup only for a conversation or correspondent it has not
    // met yet in this run, and stores each conversation's newest date once, before the commit.
    QHash<QString, qint64> chatsByGuid;
    QHash<QPair<QString, QString>, qint64> handlesByIdAndService;
    QSet<QPair<qint64, qint64>> chatHandleJoins;
    QHash<qint64, int> newestDates;

    const auto handleRowIdOf = [&](const _MsgHandle& handle, bool* inserted) {
        const QPair<QString, QString> key(handle.id, handle.service);
        qint64 rowId = handlesByIdAndService.value(key, 0);
        *inserted = false;
        if (rowId != 0)
            return rowId;
        const QByteArray id = handle.id.toUtf8();
        const QByteArray service = handle.service.toUtf8();
        rowId = findHandle.text(id).text(service).firstRowId();
        if (rowId == 0) {
            const QByteArray name = handle._ct_name.toUtf8();
            insertHandle.text(id).text(service).text(name).blob(handle._photo).run();
            rowId = sqlite3_last_insert_rowid(db.handle());
            *inserted = true;
        }
        handlesByIdAndService.insert(key, rowId);
        return rowId;
    };
    const auto join = [&](qint64 chatRowId, qint64 handleRowId) {
        joinHandle.integer(chatRowId).integer(handleRowId).run();
        chatHandleJoins.insert(qMakePair(chatRowId, handleRowId));
    };
    // A new conversation: each participant found or inserted, then joined.
    const auto joinParticipant = [&](qint64 chatRowId, const _MsgHandle& handle) {
        bool inserted = false;
        join(chatRowId, handleRowIdOf(handle, &inserted));
    };
    // The sender: found and joined unless already joined, or inserted and joined.
    const auto senderRowId = [&](qint64 chatRowId, const _MsgHandle& handle) {
        bool inserted = false;
        const qint64 rowId = handleRowIdOf(handle, &inserted);
        if (inserted) {
            join(chatRowId, rowId);
        } else if (!chatHandleJoins.contains(qMakePair(chatRowId, rowId))) {
            if (isHandleInChat.integer(chatRowId).integer(rowId).firstRowId() == 0)
                join(chatRowId, rowId);
            else
                chatHandleJoins.insert(qMakePair(chatRowId, rowId));
        }
        return rowId;
    };

    // Fingerprints of the duplicate keys and guids written in this run: in a store without messages
    // when the run began, the lookups by duplicate key and guid run only for a fingerprint written.
    QSet<size_t> writtenHashes;
    QSet<size_t> writtenGuids;
    const auto findMessage
        = [](Statement& query, const QByteArray& key, const QSet<size_t>& written, bool storeHadMessages) {
              if (!storeHadMessages && !written.contains(qHash(key, 0)))
                  return qint64(0);
              return query.text(key).firstRowId();
          };

    QElapsedTimer timer;
    timer.start();
    db.exec("BEGIN IMMEDIATE");
    Statement anyMessage(db, "select 1 from message limit 1");
    const bool storeHadMessages = anyMessage.firstRowId() != 0;
    for (const _MsgMessage& m : messages) {
        const _MsgChat& chat = *m.chat;
        qint64 chatRowId = chatsByGuid.value(chat.guid, 0);
        const QByteArray chatGuid = chatRowId == 0 ? chat.guid.toUtf8() : QByteArray();
        if (chatRowId == 0)
            chatRowId = findChat.text(chatGuid).firstRowId();
        if (chatRowId == 0) {
            const QByteArray identifier = chat.chat_identifier.toUtf8();
            const QByteArray serviceName = chat.service_name.toUtf8();
            const QByteArray login = chat.account_login.toUtf8();
            const QByteArray groupId = guidFromBytes(chatGuid).toUtf8();
            insertChat.text(chatGuid)
                .integer(chat.style)
                .integer(chat.state)
                .text(identifier)
                .text(serviceName)
                .text(login)
                .integer(chat.is_archived)
                .text(groupId)
                .run();
            chatRowId = sqlite3_last_insert_rowid(db.handle());
            for (const _MsgHandle* handle : chat.handles)
                joinParticipant(chatRowId, *handle);
        }
        chatsByGuid.insert(chat.guid, chatRowId);
        const qint64 handleRowId = senderRowId(chatRowId, *m.handle);

        const QByteArray hash = logicHash(m).toUtf8();
        const QByteArray guid = m.guid.toUtf8();
        qint64 messageRowId = findMessage(findByHash, hash, writtenHashes, storeHadMessages);
        if (messageRowId == 0)
            messageRowId = findMessage(findByGuid, guid, writtenGuids, storeHadMessages);
        if (messageRowId != 0)
            continue;

        const QByteArray text = m.text.toUtf8();
        const QByteArray subject = m.subject.toUtf8();
        const QByteArray service = m.service.toUtf8();
        const QByteArray account = m.account.toUtf8();
        const _MsgMessageExtras& extras = m.extras();
        const QByteArray accountGuid = extras.account_guid.toUtf8();
        const QByteArray roomNames = extras.cache_roomnames.toUtf8();
        Statement& insert = m.subject.isEmpty() ? insertWithoutSubject : insertWithSubject;
        insert.text(guid).text(text).integer(m.replace).integer(handleRowId);
        if (!m.subject.isEmpty())
            insert.text(subject);
        insert.integer(m.version)
            .integer(m.type)
            .text(service)
            .text(account)
            .text(accountGuid)
            .integer(m.error)
            .integer(m.date)
            .integer(m.date_read)
            .integer(m.date_delivered)
            .integer(m.is_delivered)
            .integer(m.is_finished)
            .integer(extras.is_emote)
            .integer(m.is_from_me)
            .integer(extras.is_empty)
            .integer(extras.is_delayed)
            .integer(extras.is_auto_reply)
            .integer(m.is_prepared)
            .integer(m.is_read)
            .integer(extras.is_system_message)
            .integer(m.is_sent)
            .integer(extras.has_dd_results)
            .integer(extras.is_service_message)
            .integer(extras.is_forward)
            .integer(extras.was_downgraded)
            .integer(extras.is_archive)
            .integer(m.cache_has_attachments)
            .text(roomNames)
            .integer(m.was_data_detected)
            .integer(extras.was_deduplicated)
            .integer(extras.is_audio_message)
            .integer(extras.is_played)
            .integer(extras.date_played)
            .integer(m.item_type)
            .integer(extras.group_action_type)
            .integer(extras.share_status)
            .integer(extras.share_direction)
            .integer(extras.is_expirable)
            .integer(extras.expire_state)
            .integer(extras.message_action_type)
            .text(hash)
            .run();
        messageRowId = sqlite3_last_insert_rowid(db.handle());
        writtenHashes.insert(qHash(hash, 0));
        writtenGuids.insert(qHash(guid, 0));
        joinMessage.integer(chatRowId).integer(messageRowId).run();
        auto newest = newestDates.find(chatRowId);
        if (newest == newestDates.end())
            newestDates.insert(chatRowId, m.date);
        else if (newest.value() < m.date)
            newest.value() = m.date;
    }
    for (auto it = newestDates.cbegin(); it != newestDates.cend(); ++it)
        keepNewest.integer(it.value()).integer(it.key()).integer(it.value()).run();
    db.exec("COMMIT");
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace RawWriteLoop
