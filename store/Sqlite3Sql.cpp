// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Sqlite3DB.h"

#include <algorithm>

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
