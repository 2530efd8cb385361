// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Sqlite3CachedStatement.h"
#include "store/Sqlite3DB.h"

#include <sqlite3.h>
#include <utility>

using sqlite3detail::CachedStatement;
using sqlite3detail::errorText;
using sqlite3detail::statementError;
using sqlite3detail::throwIfCancelledStatement;

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
    QString decoded = QString::fromUtf8(text, size);
    // The decoder sets aside a character per byte, and text outside ASCII takes fewer. The records of a
    // store keep their texts for as long as it is shown, so they keep exact copies once the difference
    // reaches the allocator's granule of 16 bytes; the larger buffer is freed at once and taken again by
    // the next text of its size instead of fresh memory.
    if (size - decoded.size() >= 8)
        return QString(decoded.constData(), decoded.size());
    return decoded;
}

int Sqlite3Cursor::getInt(int index) const
{
    return index < 0 || !m_hasRow ? 0 : sqlite3_column_int(m_statement->statement, index);
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    return index < 0 || !m_hasRow ? 0 : sqlite3_column_int64(m_statement->statement, index);
}

const void* Sqlite3Cursor::blobData(int index, int* size) const
{
    *size = 0;
    if (index < 0 || !m_hasRow)
        return nullptr;
    const void* data = sqlite3_column_blob(m_statement->statement, index);
    const int bytes = sqlite3_column_bytes(m_statement->statement, index);
    if (!data || bytes <= 0)
        return nullptr;
    *size = bytes;
    return data;
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    int size = 0;
    const void* data = blobData(index, &size);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

bool Sqlite3Cursor::isNull(int index) const
{
    return index < 0 || !m_hasRow || sqlite3_column_type(m_statement->statement, index) == SQLITE_NULL;
}

int Sqlite3Cursor::count() const
{
    return m_statement && m_statement->statement ? sqlite3_column_count(m_statement->statement) : 0;
}
