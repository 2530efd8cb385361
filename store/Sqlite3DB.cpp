// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Sqlite3DB.h"

#include "base/TaskReporting.h"
#include "store/StoreLog.h"

#include <QtDebug>

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <utility>

namespace sqlite3detail {

// A prepared statement shared between the connection's cache and the cursor that runs it.
struct CachedStatement
{
    sqlite3_stmt* statement = nullptr;
    QString sql;
    QHash<QString, int> columns; // filled on first lookup
    bool columnsKnown = false;
    bool inUse = false;
    bool cached = true; // false: finalized when its cursor lets go
    // What each parameter is bound to now. Bindings outlive a reset, so a value equal to the bound one
    // is not bound again; text and blob bytes are held here for as long as SQLite points at them.
    std::vector<Sqlite3Sql::Param> bound;

    ~CachedStatement()
    {
        if (statement)
            sqlite3_finalize(statement);
    }

    void reset()
    {
        sqlite3_reset(statement);
        inUse = false;
    }
};

} // namespace sqlite3detail

using sqlite3detail::CachedStatement;

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

// ---- Sqlite3Sql ------------------------------------------------------------------------------

Sqlite3Sql::Sqlite3Sql(const char* sql)
    : m_sql(QString::fromUtf8(sql))
{
}

Sqlite3Sql::Sqlite3Sql(const QString& sql)
    : m_sql(sql)
{
}

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    Param param;
    param.kind = value.isNull() ? ParamKind::Null : ParamKind::Text;
    param.bytes = value.toUtf8();
    m_params.push_back(std::move(param));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addUtf8TextParam(const QByteArray& utf8)
{
    Param param;
    param.kind = utf8.isNull() ? ParamKind::Null : ParamKind::Text;
    param.bytes = utf8;
    if (!param.bytes.data_ptr().isMutable() && !param.bytes.isEmpty())
        param.bytes = QByteArray(utf8.constData(), utf8.size());
    m_params.push_back(std::move(param));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    m_params.push_back({ ParamKind::Int, value, {} });
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(qint64 value)
{
    m_params.push_back({ ParamKind::Int64, value, {} });
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    Param param;
    param.kind = value.isNull() ? ParamKind::Null : ParamKind::Blob;
    param.bytes = value;
    // Bytes that only borrow the caller's buffer are copied: SQLite may point at them after the call.
    if (!param.bytes.data_ptr().isMutable() && !param.bytes.isEmpty())
        param.bytes = QByteArray(value.constData(), value.size());
    m_params.push_back(std::move(param));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.push_back({});
    return *this;
}

Sqlite3Sql& Sqlite3Sql::appendSql(const QString& sql)
{
    m_sql += sql;
    return *this;
}

Sqlite3Sql& Sqlite3Sql::reserveParams(int count)
{
    m_params.reserve(size_t(std::max(count, 0)));
    return *this;
}

// ---- Sqlite3Cursor ---------------------------------------------------------------------------

Sqlite3Cursor::Sqlite3Cursor(sqlite3* db, std::shared_ptr<CachedStatement> statement)
    : m_db(db)
    , m_statement(std::move(statement))
{
}

Sqlite3Cursor::Sqlite3Cursor(Sqlite3Cursor&& other) noexcept
    : m_db(other.m_db)
    , m_statement(std::move(other.m_statement))
    , m_hasRow(other.m_hasRow)
{
    other.m_hasRow = false;
}

Sqlite3Cursor& Sqlite3Cursor::operator=(Sqlite3Cursor&& other) noexcept
{
    if (this != &other) {
        release();
        m_db = other.m_db;
        m_statement = std::move(other.m_statement);
        m_hasRow = other.m_hasRow;
        other.m_hasRow = false;
    }
    return *this;
}

Sqlite3Cursor::~Sqlite3Cursor()
{
    release();
}

void Sqlite3Cursor::release()
{
    if (m_statement) {
        if (m_statement->cached && m_statement->statement)
            m_statement->reset();
        m_statement.reset();
    }
    m_hasRow = false;
}

bool Sqlite3Cursor::moveNext()
{
    if (!m_statement || !m_statement->statement)
        return false;
    const int rc = sqlite3_step(m_statement->statement);
    if (rc == SQLITE_ROW) {
        m_hasRow = true;
        return true;
    }
    m_hasRow = false;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = errorText(m_db, rc);
    const QString sql = m_statement->sql;
    release();
    throwIfCancelledStatement(rc);
    throw statementError(rc, message, sql);
}

int Sqlite3Cursor::columnIndex(const QString& name, Qt::CaseSensitivity cs) const
{
    if (!m_statement || !m_statement->statement)
        return -1;
    CachedStatement& entry = *m_statement;
    if (!entry.columnsKnown) {
        const int n = sqlite3_column_count(entry.statement);
        entry.columns.reserve(n);
        for (int i = 0; i < n; ++i) {
            const QString column = QString::fromUtf8(sqlite3_column_name(entry.statement, i));
            if (!entry.columns.contains(column))
                entry.columns.insert(column, i);
        }
        entry.columnsKnown = true;
    }
    const int index = entry.columns.value(name, -1);
    if (index >= 0 || cs == Qt::CaseSensitive)
        return index;
    // SQLite itself matches column names without regard to case ("ROWID", "rowid").
    for (auto it = entry.columns.cbegin(); it != entry.columns.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return -1;
}

int Sqlite3Cursor::rowColumnIndex(const QString& name) const
{
    return m_hasRow ? columnIndex(name) : -1;
}

QString Sqlite3Cursor::getText(const QString& name) const
{
    return getText(rowColumnIndex(name));
}

int Sqlite3Cursor::getInt(const QString& name) const
{
    return getInt(rowColumnIndex(name));
}

qint64 Sqlite3Cursor::getInt64(const QString& name) const
{
    return getInt64(rowColumnIndex(name));
}

QByteArray Sqlite3Cursor::getBlob(const QString& name) const
{
    return getBlob(rowColumnIndex(name));
}

bool Sqlite3Cursor::isNull(const QString& name) const
{
    return isNull(rowColumnIndex(name));
}

bool Sqlite3Cursor::hasColumn(const QString& name) const
{
    return rowColumnIndex(name) >= 0;
}

const char* Sqlite3Cursor::textData(int index, int* size) const
{
    *size = 0;
    if (index < 0 || !m_hasRow)
        return nullptr;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement->statement, index));
    if (text)
        *size = sqlite3_column_bytes(m_statement->statement, index);
    return text;
}

QString Sqlite3Cursor::getText(int index) const
{
    int size = 0;
    const char* text = textData(index, &size);
    if (!text)
        return QString();
    return QString::fromUtf8(text, size);
}

int Sqlite3Cursor::getInt(int index) const
{
    return index < 0 || !m_hasRow ? 0 : sqlite3_column_int(m_statement->statement, index);
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    return index < 0 || !m_hasRow ? 0 : sqlite3_column_int64(m_statement->statement, index);
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    if (index < 0 || !m_hasRow)
        return QByteArray();
    const void* data = sqlite3_column_blob(m_statement->statement, index);
    const int size = sqlite3_column_bytes(m_statement->statement, index);
    if (!data || size <= 0)
        return QByteArray();
    return QByteArray(static_cast<const char*>(data), size);
}

bool Sqlite3Cursor::isNull(int index) const
{
    return index < 0 || !m_hasRow || sqlite3_column_type(m_statement->statement, index) == SQLITE_NULL;
}

int Sqlite3Cursor::count() const
{
    return m_statement && m_statement->statement ? sqlite3_column_count(m_statement->statement) : 0;
}

// ---- Sqlite3Row ------------------------------------------------------------------------------

void Sqlite3Row::set(const QString& column, const QVariant& value)
{
    for (auto& entry : m_values) {
        if (entry.first == column) {
            entry.second = value;
            return;
        }
    }
    m_values.append({ column, value });
}

QVariant Sqlite3Row::value(const QString& column) const
{
    for (const auto& entry : m_values) {
        if (entry.first == column)
            return entry.second;
    }
    return QVariant();
}

bool Sqlite3Row::contains(const QString& column) const
{
    for (const auto& entry : m_values) {
        if (entry.first == column)
            return true;
    }
    return false;
}

Sqlite3Sql Sqlite3Row::insertSql(const QString& table, const QSet<QString>& names) const
{
    Q_UNUSED(names);
    QString columns;
    QString marks;
    for (const auto& entry : m_values) {
        if (!columns.isEmpty()) {
            columns += QLatin1Char(',');
            marks += QLatin1Char(',');
        }
        columns += QLatin1Char('[') + entry.first + QLatin1Char(']');
        marks += QLatin1Char('?');
    }
    Sqlite3Sql sql(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)").arg(table, columns, marks));
    for (const auto& entry : m_values) {
        const QVariant& value = entry.second;
        if (value.isNull()) {
            sql.addNullParam();
            continue;
        }
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
            sql.addIntParam(value.toInt());
            break;
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
            sql.addInt64Param(value.toLongLong());
            break;
        case QMetaType::QByteArray:
            sql.addBlobParam(value.toByteArray());
            break;
        default:
            sql.addTextParam(value.toString());
            break;
        }
    }
    return sql;
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
