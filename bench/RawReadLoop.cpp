// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/RawReadLoop.h"

#include "store/MessageColumns.h"
#include "store/Sqlite3DB.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

enum class ValueKind { Integer, Text, Blob };

struct Column
{
    const char* name;
    ValueKind kind;
};

// The columns the reader takes from each row of its queries, matched by name like the reader does.
const std::vector<Column> chatColumns = {
    { "ROWID", ValueKind::Integer },
    { "guid", ValueKind::Text },
    { "style", ValueKind::Integer },
    { "state", ValueKind::Integer },
    { "account_id", ValueKind::Text },
    { "properties", ValueKind::Blob },
    { "chat_identifier", ValueKind::Text },
    { "service_name", ValueKind::Text },
    { "room_name", ValueKind::Text },
    { "account_login", ValueKind::Text },
    { "is_archived", ValueKind::Integer },
    { "last_addressed_handle", ValueKind::Text },
    { "display_name", ValueKind::Text },
    { "_last", ValueKind::Integer },
    { "group_id", ValueKind::Text },
};

const std::vector<Column> lastDateColumns = {
    { "chat_id", ValueKind::Integer },
    { "last", ValueKind::Integer },
};

const std::vector<Column> handleColumns = {
    { "chat_id", ValueKind::Integer },
    { "ROWID", ValueKind::Integer },
    { "id", ValueKind::Text },
    { "country", ValueKind::Text },
    { "service", ValueKind::Text },
    { "uncanonicalized_id", ValueKind::Text },
    { "_ct_name", ValueKind::Text },
    { "_photo", ValueKind::Blob },
};

std::vector<Column> messageColumns()
{
    std::vector<Column> columns = { { "chat_id", ValueKind::Integer }, { "ROWID", ValueKind::Integer } };
    for (const MessageColumn& column : messageColumnTable) {
        if (column.textField || column.extraTextField)
            columns.push_back({ column.name, ValueKind::Text });
        else if (column.bytesField || column.extraBytesField)
            columns.push_back({ column.name, ValueKind::Blob });
        else if (column.isRead())
            columns.push_back({ column.name, ValueKind::Integer });
    }
    return columns;
}

const char chatSql[] = "select * from chat";
const char lastDateSql[] = "select chat_id, max(date) as last from ( select cm.chat_id, m.date from "
                           "chat_message_join as cm inner join message as m on cm.message_id=m.rowid ) as tmp "
                           "group by chat_id";
const char handleSql[] = "select j.chat_id, h.* from chat_handle_join as j inner join handle as h on "
                         "j.handle_id = h.rowid";
const char messageSql[] = "select j.chat_id, m.* from chat_message_join as j inner join message as m on "
                          "j.message_id = m.rowid";
const char withoutItemType4[] = " and m.item_type <> 4";

using Connection = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

[[noreturn]] void fail(sqlite3* db, const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const std::string& sql)
{
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, sql.c_str());
}

bool containsIgnoringCase(const char* text, const char* part)
{
    const size_t length = std::strlen(part);
    for (; *text; ++text) {
        if (sqlite3_strnicmp(text, part, int(length)) == 0)
            return true;
    }
    return false;
}

// Steps every row of the query and fetches each named column the result has, with the call the
// reader uses for its kind; the values go into a sum so that each fetch has a use. Returns the rows.
qint64 readRows(sqlite3* db, const char* sql, const std::vector<Column>& columns, std::uint64_t& sum)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        fail(db, sql);
    struct Bound
    {
        int index;
        ValueKind kind;
    };
    std::vector<Bound> bound;
    const int count = sqlite3_column_count(statement);
    for (const Column& column : columns) {
        for (int i = 0; i < count; ++i) {
            if (sqlite3_stricmp(sqlite3_column_name(statement, i), column.name) == 0) {
                bound.push_back({ i, column.kind });
                break;
            }
        }
    }

    qint64 rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        ++rows;
        for (const Bound& column : bound) {
            switch (column.kind) {
            case ValueKind::Integer:
                sum += std::uint64_t(sqlite3_column_int64(statement, column.index));
                break;
            case ValueKind::Text: {
                const unsigned char* text = sqlite3_column_text(statement, column.index);
                sum += std::uint64_t(sqlite3_column_bytes(statement, column.index)) + (text ? *text : 0);
                break;
            }
            case ValueKind::Blob: {
                const void* blob = sqlite3_column_blob(statement, column.index);
                const int size = sqlite3_column_bytes(statement, column.index);
                sum += std::uint64_t(size) + (blob && size > 0 ? *static_cast<const unsigned char*>(blob) : 0);
                break;
            }
            }
        }
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(db, sql);
    return rows;
}

// Read back by nobody; keeps the compiler from dropping the value fetches.
volatile std::uint64_t valueSum = 0;

} // namespace

namespace RawReadLoop {

ConnectionSettings settingsOf(Sqlite3DB& db)
{
    const auto pragma = [&db](const char* sql) {
        Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
        return cursor.moveNext() ? cursor.getInt64(0) : 0;
    };
    ConnectionSettings settings;
    settings.cacheSize = pragma("PRAGMA cache_size");
    settings.mmapSize = pragma("PRAGMA mmap_size");
    return settings;
}

double readStore(const QString& path, const ConnectionSettings& settings, qint64* messageRows)
{
    const QByteArray file = path.toUtf8();
    const std::string cachePragma = "PRAGMA cache_size=" + std::to_string(settings.cacheSize);
    const std::string mmapPragma = "PRAGMA mmap_size=" + std::to_string(settings.mmapSize);
    const std::vector<Column> messageRowColumns = messageColumns();
    std::uint64_t sum = 0;

    const auto start = std::chrono::steady_clock::now();
    sqlite3* handle = nullptr;
    const int opened = sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const Connection db(handle, &sqlite3_close);
    if (opened != SQLITE_OK)
        fail(handle, file.constData());
    exec(handle, cachePragma);
    exec(handle, mmapPragma);

    // The reader chooses its queries by what the tables of the store declare; so does the loop.
    bool chatKeepsLast = false;
    bool messageHasItemType = false;
    {
        const char* tablesSql = "select name, sql from sqlite_master where type='table'";
        sqlite3_stmt* tables = nullptr;
        if (sqlite3_prepare_v2(handle, tablesSql, -1, &tables, nullptr) != SQLITE_OK)
            fail(handle, tablesSql);
        while (sqlite3_step(tables) == SQLITE_ROW) {
            const char* name = reinterpret_cast<const char*>(sqlite3_column_text(tables, 0));
            const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(tables, 1));
            if (!name || !sql)
                continue;
            if (std::strcmp(name, "chat") == 0)
                chatKeepsLast = containsIgnoringCase(sql, "_last INTEGER");
            else if (std::strcmp(name, "message") == 0)
                messageHasItemType = std::strstr(sql, "item_type") != nullptr;
        }
        sqlite3_finalize(tables);
    }

    readRows(handle, chatSql, chatColumns, sum);
    if (!chatKeepsLast)
        readRows(handle, lastDateSql, lastDateColumns, sum);
    readRows(handle, handleSql, handleColumns, sum);
    std::string messages = messageSql;
    if (messageHasItemType)
        messages += withoutItemType4;
    *messageRows = readRows(handle, messages.c_str(), messageRowColumns, sum);
    const auto end = std::chrono::steady_clock::now();

    valueSum = sum;
    return std::chrono::duration<double>(end - start).count();
}

} // namespace RawReadLoop
