// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/IndexWriting.h"

#include "base/TaskReporting.h"
#include "message/MessageText.h"
#include "store/MessageColumns.h"
#include "store/search/ConversationTerms.h"
#include "store/search/SearchTokenizer.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace searchindex {

Statement::Statement(sqlite3* db, const char* sql)
    : m_db(db)
{
    check(sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr));
}

bool Statement::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail(rc);
    return false;
}

void Statement::fail(int rc) const
{
    if (rc == SQLITE_INTERRUPT)
        throwIfTaskCancelled();
    throw Sqlite3Exception(rc, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

qint64 guidMark(const char* guid, int size)
{
    quint32 hash = 2166136261u;
    for (int i = 0; i < size; ++i)
        hash = (hash ^ static_cast<unsigned char>(guid[i])) * 16777619u;
    return hash;
}

StoreSnapshot::StoreSnapshot(const QDir& folder)
    : store(folder, QString(), false)
{
    store.open();
    store.executeThrow("BEGIN");
    _MsgCollection collection;
    store.chats(collection);
    ConversationTerms terms(store.countryLib(), store.numberCountry());
    for (const _MsgChat* chat : collection.chats())
        chats.insert(
            chat->rowid, ChatTerms { chat->chat_identifier, chatDisplayName(*chat, true), terms.terms(*chat) });
}

Sqlite3Cursor StoreSnapshot::messages(qint64 from)
{
    QString sql = QStringLiteral("select m.ROWID, m.guid, m.date, m.is_from_me, m.text, j.chat_id from "
                                 "chat_message_join as j join message as m on m.ROWID = j.message_id "
                                 "where j.message_id >= ?");
    if (store.messageHasItemType())
        sql += QStringLiteral(" and m.item_type <> 4");
    return store.queryThrow(Sqlite3Sql(sql).addInt64Param(from));
}

qint64 StoreSnapshot::joinCount()
{
    Sqlite3Cursor count = store.queryThrow("select count(*) from chat_message_join");
    return count.moveNext() ? count.getInt64(0) : 0;
}

void PendingMessages::add(const Sqlite3Cursor& row)
{
    int guidSize = 0;
    const char* guid = row.textData(1, &guidSize);
    int textSize = 0;
    const char* text = row.textData(4, &textSize);
    m_messages.push_back(Message { row.getInt64(0), row.getInt64(5), guidMark(guid, guidSize), 0, keep(text, textSize),
        textSize, storedDateToSeconds(row.getInt64(2)), row.getInt64(3) != 0 });
}

void PendingMessages::sort()
{
    std::sort(m_messages.begin(), m_messages.end(), [](const Message& a, const Message& b) {
        return std::tie(a.date, a.msg, a.chat) < std::tie(b.date, b.msg, b.chat);
    });
    m_messages.erase(std::unique(m_messages.begin(), m_messages.end(),
                         [](const Message& a, const Message& b) { return a.msg == b.msg; }),
        m_messages.end());
}

void PendingMessages::reserve(qint64 count)
{
    m_messages.reserve(size_t(std::max<qint64>(count, 0)));
}

const char* PendingMessages::keep(const char* text, int size)
{
    if (!text)
        return nullptr;
    constexpr size_t blockSize = 4 << 20;
    if (m_blocks.empty() || blockSize - m_used < size_t(size)) {
        // Not zeroed: every byte handed out is written first.
        m_blocks.emplace_back(new char[std::max(blockSize, size_t(size))]);
        m_used = 0;
    }
    char* kept = m_blocks.back().get() + m_used;
    std::memcpy(kept, text, size_t(size));
    m_used += size_t(size);
    return kept;
}

namespace {

constexpr int docColumns = 7;
// Rows of `doc` written by one statement: most of what a row costs when written alone is the
// statement's own start and end.
constexpr int docsPerStatement = 64;

std::string insertDocsSql()
{
    std::string sql = "INSERT INTO doc(key, msg, chat, date, from_me, mark, text) VALUES";
    for (int row = 0; row < docsPerStatement; ++row)
        sql += row == 0 ? "(?,?,?,?,?,?,?)" : ",(?,?,?,?,?,?,?)";
    return sql;
}

} // namespace

IndexWriter::IndexWriter(sqlite3* db)
    : m_insertChat(db, "INSERT OR REPLACE INTO chat(rowid, identifier, name, who) VALUES(?1, ?2, ?3, ?4)")
    , m_insertDoc(db, "INSERT INTO doc(key, msg, chat, date, from_me, mark, text) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)")
    , m_insertDocs(db, insertDocsSql().c_str())
    , m_insertFts(db, "INSERT INTO fts(rowid, body, conv) VALUES(?1, ?2, ?3)")
    , m_readDoc(db, "SELECT chat, text FROM doc WHERE key = ?1")
    , m_deleteFts(db, "INSERT INTO fts(fts, rowid, body, conv) VALUES('delete', ?1, ?2, ?3)")
    , m_deleteDoc(db, "DELETE FROM doc WHERE key = ?1")
{
}

void IndexWriter::writeChat(qint64 rowid, const ChatTerms& chat)
{
    const QByteArray identifier = chat.identifier.toUtf8();
    const QByteArray name = chat.name.toUtf8();
    const QByteArray who = chat.who.toUtf8();
    m_insertChat.bind(1, rowid)
        .bindText(2, identifier.constData(), int(identifier.size()))
        .bindText(3, name.constData(), int(name.size()))
        .bindText(4, who.constData(), int(who.size()))
        .run();
}

Statement& IndexWriter::bindDoc(Statement& statement, int first, const PendingMessages::Message& message)
{
    return statement.bind(first, message.key)
        .bind(first + 1, message.msg)
        .bind(first + 2, message.chat)
        .bind(first + 3, message.date)
        .bind(first + 4, message.fromMe ? 1 : 0)
        .bind(first + 5, message.mark)
        .bindText(first + 6, message.text, message.textSize);
}

void IndexWriter::add(const PendingMessages::Message& message)
{
    bindDoc(m_insertDoc, 1, message).run();
    addText(message);
}

void IndexWriter::addDocs(const std::vector<PendingMessages::Message>& messages)
{
    size_t next = 0;
    for (size_t sinceCheck = 0; messages.size() - next >= size_t(docsPerStatement); next += docsPerStatement) {
        for (int row = 0; row < docsPerStatement; ++row)
            bindDoc(m_insertDocs, row * docColumns + 1, messages[next + size_t(row)]);
        m_insertDocs.run();
        if (++sinceCheck % 64 == 0)
            throwIfTaskCancelled();
    }
    for (; next < messages.size(); ++next)
        bindDoc(m_insertDoc, 1, messages[next]).run();
}

void IndexWriter::addText(const PendingMessages::Message& message)
{
    const std::string& conversation = conversationToken(message.chat);
    m_insertFts.bind(1, message.key)
        .bindText(2, message.text, message.textSize)
        .bindText(3, conversation.data(), int(conversation.size()))
        .run();
}

void IndexWriter::remove(qint64 key)
{
    m_readDoc.bind(1, key);
    if (m_readDoc.next()) {
        const std::string& conversation = conversationToken(m_readDoc.column(0));
        m_deleteFts.bind(1, key)
            .bindText(2, m_readDoc.textData(1), m_readDoc.textSize(1))
            .bindText(3, conversation.data(), int(conversation.size()))
            .run();
    }
    m_readDoc.reset();
    m_deleteDoc.bind(1, key).run();
}

const std::string& IndexWriter::conversationToken(qint64 chat)
{
    if (chat != m_tokenChat) {
        m_token = searchtext::conversationToken(chat);
        m_tokenChat = chat;
    }
    return m_token;
}

} // namespace searchindex
