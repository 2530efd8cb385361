// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/IOS6MessageDb.h"

#include <QDir>
#include <QHash>
#include <QString>

#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

// The pieces a build or an update of the search index is made of: the store read in one snapshot,
// the messages waiting to be keyed, and the statements that write the index file.
namespace searchindex {

// A prepared statement of the index connection for the statements run once per message, bound
// without copies. Errors throw; an interrupted statement unwinds as the task's cancel.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, qint64 value)
    {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    Statement& bindText(int index, const char* utf8, int size)
    {
        check(utf8 ? sqlite3_bind_text(m_statement, index, utf8, size, SQLITE_STATIC)
                   : sqlite3_bind_null(m_statement, index));
        return *this;
    }
    // Steps once; true while there is a row.
    bool next();
    // Steps once and resets. Every parameter is bound again before the next run, so the bindings
    // are left as they are.
    void run()
    {
        next();
        sqlite3_reset(m_statement);
    }
    void reset()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    qint64 column(int index) const { return sqlite3_column_int64(m_statement, index); }
    // A text column of the current row (null for NULL), valid until the statement moves on.
    const char* textData(int index) const
    {
        return reinterpret_cast<const char*>(sqlite3_column_text(m_statement, index));
    }
    int textSize(int index) const { return sqlite3_column_bytes(m_statement, index); }

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            fail(rc);
    }
    [[noreturn]] void fail(int rc) const;

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// What a message's guid hashes to: a message that kept its row id but not its guid (a store made
// anew) is another message.
qint64 guidMark(const char* guid, int size);

// What the index keeps of a conversation: its identifier, its name as the list shows it, and the
// terms a search for the person finds it by.
struct ChatTerms
{
    QString identifier;
    QString name;
    QString who;

    bool operator==(const ChatTerms& other) const
    {
        return identifier == other.identifier && name == other.name && who == other.who;
    }
};

// The store opened for reading in one snapshot, with the conversations as reading shows them.
struct StoreSnapshot
{
    explicit StoreSnapshot(const QDir& folder);

    // Messages with their conversation, as reading yields them, from row id `from` on: row id,
    // guid, date, is_from_me, text, conversation.
    Sqlite3Cursor messages(qint64 from);
    qint64 joinCount();

    IOS6MessageDb store;
    QHash<qint64, ChatTerms> chats;
};

// Messages read from the store, to be put in date order before they are keyed.
class PendingMessages
{
public:
    struct Message
    {
        qint64 msg;
        qint64 chat;
        qint64 mark;
        qint64 key;
        const char* text; // null for a message without text
        int textSize;
        int date;
        bool fromMe;
    };

    // Takes a row of StoreSnapshot::messages.
    void add(const Sqlite3Cursor& row);
    // Sorts by date and row id; a message in several conversations stays in the first of them.
    void sort();

    std::vector<Message>& messages() { return m_messages; }
    void reserve(qint64 count);

private:
    // Copies a text into blocks that never move, so that messages can point at their texts.
    const char* keep(const char* text, int size);

    std::vector<Message> m_messages;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    size_t m_used = 0;
};

// Writes conversations, and messages into `doc` and the FTS5 table.
class IndexWriter
{
public:
    explicit IndexWriter(sqlite3* db);

    void writeChat(qint64 rowid, const ChatTerms& chat);
    // Writes a message into `doc` and the FTS5 table.
    void add(const PendingMessages::Message& message);
    // Writes the `doc` rows of keyed messages, many rows to a statement, and `addText` then puts
    // each into the FTS5 table. A statement of many rows opens a statement journal, and FTS5 writes
    // its pending terms out at every one: within a transaction every `doc` row goes in before the
    // first text does.
    void addDocs(const std::vector<PendingMessages::Message>& messages);
    void addText(const PendingMessages::Message& message);
    // Takes the message of this key out of `doc` and the FTS5 table.
    void remove(qint64 key);

private:
    const std::string& conversationToken(qint64 chat);
    Statement& bindDoc(Statement& statement, int first, const PendingMessages::Message& message);

    Statement m_insertChat;
    Statement m_insertDoc;
    Statement m_insertDocs;
    Statement m_insertFts;
    Statement m_readDoc;
    Statement m_deleteFts;
    Statement m_deleteDoc;
    qint64 m_tokenChat = -1;
    std::string m_token;
};

} // namespace searchindex
