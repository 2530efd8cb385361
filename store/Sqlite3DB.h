// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Version of the database wrapper's interface; the application refuses to start with another one.
int sqlite_qt_version();

// Every failure of the wrapper: the SQLite message, and the statement that was running, if any.
class Sqlite3Exception : public std::runtime_error
{
public:
    Sqlite3Exception(int code, const QString& message);
    int code() const { return m_code; }

private:
    int m_code;
};

// One column of a table as PRAGMA table_info describes it.
struct _SqliteCol
{
    int cid = 0;
    QString name;
    QString type;
    bool notNull = false;
    QString defaultValue;
    bool primaryKey = false;
};

// Statement text with its positional parameters, bound in the order they were added.
class Sqlite3Sql
{
public:
    enum class ParamKind { Null, Int, Int64, Text, Blob };
    struct Param
    {
        ParamKind kind = ParamKind::Null;
        qint64 number = 0;
        QByteArray bytes; // UTF-8 for Text, raw for Blob
    };

    Sqlite3Sql(const char* sql);
    Sqlite3Sql(const QString& sql);

    Sqlite3Sql& addTextParam(const QString& value);
    // A text already encoded as UTF-8; a null array binds NULL like a null string.
    Sqlite3Sql& addUtf8TextParam(const QByteArray& utf8);
    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(qint64 value);
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();
    Sqlite3Sql& appendSql(const QString& sql);
    // Makes room for `count` parameters at once, for statements that bind dozens of them.
    Sqlite3Sql& reserveParams(int count);

    const QString& sql() const { return m_sql; }
    const std::vector<Param>& params() const { return m_params; }

private:
    QString m_sql;
    std::vector<Param> m_params;
};

namespace sqlite3detail {
struct CachedStatement;
}

// The rows of one query. Move-only; it must not outlive the connection that made it. Destroying
// it resets the statement so that the connection can reuse it.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor(Sqlite3Cursor&& other) noexcept;
    Sqlite3Cursor& operator=(Sqlite3Cursor&& other) noexcept;
    Sqlite3Cursor(const Sqlite3Cursor&) = delete;
    Sqlite3Cursor& operator=(const Sqlite3Cursor&) = delete;
    ~Sqlite3Cursor();

    // Advances to the next row; the first call gives the first row. False when there is none.
    bool moveNext();

    // Columns of the current row by name. A column the result lacks reads as 0, empty text or
    // empty bytes; so does NULL.
    QString getText(const QString& name) const;
    int getInt(const QString& name) const;
    qint64 getInt64(const QString& name) const;
    QByteArray getBlob(const QString& name) const;
    bool isNull(const QString& name) const;
    bool hasColumn(const QString& name) const;

    // Number of columns of the result.
    int count() const;

    // Index of a result column by name, -1 when the result lacks it. Known before the first row, so a
    // reader of many rows resolves its columns once and reads them by index.
    int columnIndex(const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    // Columns of the current row by index; an index < 0, NULL or no current row reads as 0 or empty.
    QString getText(int index) const;
    int getInt(int index) const;
    qint64 getInt64(int index) const;
    QByteArray getBlob(int index) const;
    bool isNull(int index) const;
    // The raw UTF-8 bytes of a text column, valid until the cursor moves; null when NULL or absent.
    const char* textData(int index, int* size) const;
    // The raw bytes of a blob column, valid until the cursor moves; null when NULL, empty or absent.
    const void* blobData(int index, int* size) const;

private:
    friend class Sqlite3DB;
    Sqlite3Cursor(sqlite3* db, std::shared_ptr<sqlite3detail::CachedStatement> statement);
    int rowColumnIndex(const QString& name) const;
    void release();

    sqlite3* m_db = nullptr;
    std::shared_ptr<sqlite3detail::CachedStatement> m_statement;
    bool m_hasRow = false;
};

// A row to insert: column names with their values, in the order they were set.
class Sqlite3Row
{
public:
    void set(const QString& column, const QVariant& value);
    QVariant value(const QString& column) const;
    bool contains(const QString& column) const;
    int size() const { return static_cast<int>(m_values.size()); }

    // "INSERT INTO table (columns) VALUES (?...)" with every value bound. The name set is unused.
    Sqlite3Sql insertSql(const QString& table, const QSet<QString>& names) const;

private:
    QList<QPair<QString, QVariant>> m_values;
};

// One SQLite connection with a cache of prepared statements keyed by their text.
//
// A statement that runs on a worker thread whose task has been cancelled (see TaskCancelScope) stops
// within a few thousand SQLite steps and throws TaskCancelled: an endless view or trigger, or a huge
// table, never holds a Cancel or Ctrl-C up. COMMIT and ROLLBACK are never stopped, so that a
// transaction ends whole either way and the caller learns which way it ended.
class Sqlite3DB
{
public:
    // SQLite open flags as used by the callers: read-only, read-write, read-write with creation.
    enum OpenFlag { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6 };
    // How long a statement waits for another connection's lock before it fails with "database is locked".
    static constexpr int busyTimeoutMs = 5000;
    // SQLite virtual-machine steps between two looks at the cancel flag; a step takes well under a
    // microsecond, so a cancelled statement stops within milliseconds.
    static constexpr int cancelCheckSteps = 1000;

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    void openThrow(const QString& path, int flags);
    bool isOpen() const { return m_db != nullptr; }
    void close();

    // Runs one statement; 0 on success, otherwise the SQLite code with its text in `error`.
    int exec(const QString& sql, QString& error);
    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    void executeThrow(const Sqlite3Sql& sql);
    qint64 lastInsertId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const;

    void beginTran();
    void commitTran();
    void rollbackTran();

    // The table's columns keyed by name; empty for a missing table.
    QMap<QString, _SqliteCol> tbInfo(const QString& table);

    const QString& path() const { return m_path; }
    // The SQLite flags the connection was opened with.
    int openFlags() const { return m_flags; }

protected:
    // The raw connection for sqlite3_exec and sqlite3_create_function_v2; null while closed.
    sqlite3* rawHandle() const { return m_db; }

private:
    std::shared_ptr<sqlite3detail::CachedStatement> prepare(const Sqlite3Sql& sql);
    void bindAll(sqlite3detail::CachedStatement& entry, const Sqlite3Sql& sql);
    [[noreturn]] void throwError(int code, const QString& sql) const;
    // Runs a transaction's end, which the cancel flag must not stop half-way.
    void executeUninterrupted(const char* sql);
    static int cancelRequested(void* connection);

    sqlite3* m_db = nullptr;
    bool m_uninterruptible = false;
    QString m_path;
    int m_flags = 0;
    QHash<QString, std::shared_ptr<sqlite3detail::CachedStatement>> m_statements;
    // The same statements keyed by where their text is stored. Callers that run a statement many times
    // pass the same string (a literal or a kept copy), found here without hashing the whole text.
    QHash<const QChar*, std::shared_ptr<sqlite3detail::CachedStatement>> m_statementsByText;
};
