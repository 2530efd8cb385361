// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

// One value of a provider's row, typed as SQLite keeps it; `content query` prints each type its own way.
struct SqlValue
{
    enum class Type { Null, Integer, Text, Blob };
    Type type = Type::Null;
    qint64 integer = 0;
    QString text;

    static SqlValue null() { return {}; }
    static SqlValue of(qint64 number) { return { Type::Integer, number, {} }; }
    static SqlValue of(const QString& text) { return { Type::Text, 0, text }; }
    // Android leaves an absent text NULL rather than empty.
    static SqlValue textOrNull(const QString& text) { return text.isEmpty() ? null() : of(text); }
};

// A provider's rows before projection, filtering and sorting: its columns in table order, and a
// function that computes one value when asked, so that a query touches only the columns it names.
struct ProviderTable
{
    // The table or view the provider reads, as its error texts name it.
    QString name;
    QStringList columns;
    qsizetype rowCount = 0;
    std::function<SqlValue(qsizetype row, int column)> value;
    // The order of a query that gives none.
    QString defaultSort;
};

// A failure inside the provider, which the `content` tool reports as the Java exception
// `exceptionClass` with `what()` as its message.
class ProviderError : public std::runtime_error
{
public:
    ProviderError(QString exceptionClass, const QString& message)
        : std::runtime_error(message.toStdString())
        , exceptionClass(std::move(exceptionClass))
    {
    }
    QString exceptionClass;
};
