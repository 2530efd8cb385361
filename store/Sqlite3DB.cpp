// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Sqlite3DB.h"

#include "base/TaskReporting.h"
#include "store/Sqlite3CachedStatement.h"
#include "store/StoreLog.h"

#include <QtDebug>

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <utility>

using sqlite3detail::CachedStatement;

namespace sqlite3detail {

QString errorText(sqlite3* db, int code)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(code));
}

// The statement goes to the log only: the text reaches a person, and an insert names dozens of columns.
Sqlite3Exception statementError(int code, const QString& message, const QString& sql)
{
    qCWarning(lcStore).noquote() << QStringLiteral("SQLite: %1 [%2]").arg(message, sql);
    return Sqlite3Exception(code, message);
}

// A statement that the progress handler stopped because its task was cancelled unwinds as a cancel,
// which the worker frame ends silently, and not as a failure with an error box.
void throwIfCancelledStatement(int code)
{
    if (code == SQLITE_INTERRUPT && taskCancelled())
        throw TaskCancelled();
}

} // namespace sqlite3detail

using sqlite3detail::errorText;
using sqlite3detail::statementError;
using sqlite3detail::throwIfCancelledStatement;

namespace {

// Texts and blobs up to this size are compared with the bound ones; longer ones are bound again
// unless they are the very bytes already bound.
constexpr qsizetype comparedBytes = 64;

bool isBound(const Sqlite3Sql::Param& bound, const Sqlite3Sql::Param& param)
{
    if (bound.kind != param.kind)
        return false;
    switch (param.kind) {
    case Sqlite3Sql::ParamKind::Null:
        return true;
    case Sqlite3Sql::ParamKind::Int:
    case Sqlite3Sql::ParamKind::Int64:
        return bound.number == param.number;
    case Sqlite3Sql::ParamKind::Text:
    case Sqlite3Sql::ParamKind::Blob:
        if (bound.bytes.size() != param.bytes.size())
            return false;
        return bound.bytes.constData() == param.bytes.constData()
            || (param.bytes.size() <= comparedBytes
                && std::memcmp(bound.bytes.constData(), param.bytes.constData(), size_t(param.bytes.size())) == 0);
    }
    return false;
}

// Process-wide SQLite settings, made before the library's first use. Memory statistics are not read
// anywhere, and keeping them costs a global mutex on every allocation SQLite makes.
void configureSqlite()
{
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    Q_UNUSED(configured);
}

} // namespace

int sqlite_qt_version()
{
    return 5;
}

Sqlite3Exception::Sqlite3Exception(int code, const QString& message)
    : std::runtime_error(message.toStdString())
    , m_code(code)
{
}
// ---- Sqlite3DB -------------------------------------------------------------------------------

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::openThrow(const QString& path, int flags)
{
    close();
    configureSqlite();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = errorText(db, rc);
        sqlite3_close_v2(db);
        throw Sqlite3Exception(rc, QStringLiteral("can not open %1: %2").arg(path, message));
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    sqlite3_progress_handler(db, cancelCheckSteps, &Sqlite3DB::cancelRequested, this);
    m_db = db;
    m_path = path;
    m_flags = flags;
}

void Sqlite3DB::close()
{
    if (!m_db)
        return;
    for (const auto& entry : std::as_const(m_statements)) {
        // A statement still held by a live cursor is finalized by that cursor.
        if (entry->inUse)
            entry->cached = false;
    }
    m_statements.clear();
    m_statementsByText.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

int Sqlite3DB::exec(const QString& sql, QString& error)
{
    if (!m_db) {
        error = QStringLiteral("database is not open");
        return SQLITE_MISUSE;
    }
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        error = message ? QString::fromUtf8(message) : errorText(m_db, rc);
        sqlite3_free(message);
        return rc;
    }
    return 0;
}

int Sqlite3DB::cancelRequested(void* connection)
{
    return !static_cast<const Sqlite3DB*>(connection)->m_uninterruptible && taskCancelled() ? 1 : 0;
}

void Sqlite3DB::throwError(int code, const QString& sql) const
{
    throwIfCancelledStatement(code);
    const QString message = errorText(m_db, code);
    if (sql.isEmpty())
        throw Sqlite3Exception(code, message);
    throw statementError(code, message, sql);
}

std::shared_ptr<CachedStatement> Sqlite3DB::prepare(const Sqlite3Sql& sql)
{
    if (!m_db)
        throw statementError(SQLITE_MISUSE, QStringLiteral("database is not open"), sql.sql());

    // An entry holds its text, so text at the same place with the same length is the same text.
    const QString& text = sql.sql();
    auto byText = m_statementsByText.constFind(text.constData());
    if (byText != m_statementsByText.constEnd() && byText.value()->sql.size() == text.size()
        && !byText.value()->inUse) {
        byText.value()->inUse = true;
        return byText.value();
    }

    auto found = m_statements.constFind(text);
    if (found != m_statements.constEnd() && !found.value()->inUse) {
        found.value()->inUse = true;
        return found.value();
    }

    auto entry = std::make_shared<CachedStatement>();
    entry->sql = text;
    const QByteArray utf8 = text.toUtf8();
    const int rc
        = sqlite3_prepare_v2(m_db, utf8.constData(), static_cast<int>(utf8.size()), &entry->statement, nullptr);
    if (rc != SQLITE_OK)
        throwError(rc, text);
    if (entry->statement)
        entry->bound.resize(size_t(sqlite3_bind_parameter_count(entry->statement)));
    entry->inUse = true;
    // A statement already held by an open cursor stays with it; this one runs uncached.
    if (found == m_statements.constEnd()) {
        m_statements.insert(text, entry);
        if (!text.isEmpty())
            m_statementsByText.insert(entry->sql.constData(), entry);
    } else {
        entry->cached = false;
    }
    return entry;
}

void Sqlite3DB::bindAll(CachedStatement& entry, const Sqlite3Sql& sql)
{
    sqlite3_stmt* statement = entry.statement;
    std::vector<Sqlite3Sql::Param>& bound = entry.bound;
    const std::vector<Sqlite3Sql::Param>& params = sql.params();
    // Parameters the statement text has and the call leaves out are NULL.
    const size_t count = std::max(params.size(), bound.size());
    for (size_t i = 0; i < count; ++i) {
        static const Sqlite3Sql::Param nullParam;
        const Sqlite3Sql::Param& param = i < params.size() ? params[i] : nullParam;
        if (i < bound.size() && isBound(bound[i], param))
            continue;
        const int index = static_cast<int>(i) + 1;
        int rc = SQLITE_OK;
        switch (param.kind) {
        case Sqlite3Sql::ParamKind::Null:
            rc = sqlite3_bind_null(statement, index);
            break;
        case Sqlite3Sql::ParamKind::Int:
            rc = sqlite3_bind_int(statement, index, static_cast<int>(param.number));
            break;
        case Sqlite3Sql::ParamKind::Int64:
            rc = sqlite3_bind_int64(statement, index, param.number);
            break;
        case Sqlite3Sql::ParamKind::Text:
            rc = sqlite3_bind_text(
                statement, index, param.bytes.constData(), static_cast<int>(param.bytes.size()), SQLITE_STATIC);
            break;
        case Sqlite3Sql::ParamKind::Blob:
            rc = sqlite3_bind_blob(
                statement, index, param.bytes.constData(), static_cast<int>(param.bytes.size()), SQLITE_STATIC);
            break;
        }
        if (rc != SQLITE_OK)
            throwError(rc, sql.sql());
        bound[i] = param;
    }
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql& sql)
{
    auto entry = prepare(sql);
    Sqlite3Cursor cursor(m_db, entry);
    // On a binding failure the cursor's destructor resets the statement for the next caller.
    bindAll(*entry, sql);
    return cursor;
}

void Sqlite3DB::executeThrow(const Sqlite3Sql& sql)
{
    auto entry = prepare(sql);
    Sqlite3Cursor cursor(m_db, entry);
    bindAll(*entry, sql);
    int rc;
    do {
        rc = sqlite3_step(entry->statement);
    } while (rc == SQLITE_ROW);
    if (rc != SQLITE_DONE)
        throwError(rc, sql.sql());
}

qint64 Sqlite3DB::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Sqlite3DB::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

void Sqlite3DB::beginTran()
{
    executeThrow("BEGIN IMMEDIATE");
}

void Sqlite3DB::commitTran()
{
    // Stopped after its last step, a COMMIT that took effect would be reported as cancelled.
    executeUninterrupted("COMMIT");
}

void Sqlite3DB::rollbackTran()
{
    executeUninterrupted("ROLLBACK");
}

void Sqlite3DB::executeUninterrupted(const char* sql)
{
    const bool wasUninterruptible = std::exchange(m_uninterruptible, true);
    try {
        executeThrow(sql);
    } catch (...) {
        m_uninterruptible = wasUninterruptible;
        throw;
    }
    m_uninterruptible = wasUninterruptible;
}

QMap<QString, _SqliteCol> Sqlite3DB::tbInfo(const QString& table)
{
    QMap<QString, _SqliteCol> columns;
    QString quoted = table;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA table_info('%1')").arg(quoted)));
    while (cursor.moveNext()) {
        _SqliteCol column;
        column.cid = cursor.getInt(QStringLiteral("cid"));
        column.name = cursor.getText(QStringLiteral("name"));
        column.type = cursor.getText(QStringLiteral("type"));
        column.notNull = cursor.getInt(QStringLiteral("notnull")) != 0;
        column.defaultValue = cursor.getText(QStringLiteral("dflt_value"));
        column.primaryKey = cursor.getInt(QStringLiteral("pk")) != 0;
        columns.insert(column.name, column);
    }
    return columns;
}
