// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/ContentQuery.h"

#include <QHash>

#include <functional>

namespace contentquery {

// Runs one command line on the phone's shell and returns its standard output; throws on failure.
using ShellRunner = std::function<QByteArray(const QString& command)>;

// The rows of one provider table read exactly (see ContentQuery.h): `_id` and the integer columns,
// and each text column on its own.
class ProviderRows
{
public:
    QList<qint64> ids;
    ContentRows integers;
    QHash<QString, ContentRows> texts;

    qsizetype size() const { return ids.size(); }
    // 0 for NULL.
    qint64 integer(qsizetype row, const QString& column) const;
    bool isNull(qsizetype row, const QString& column) const;
    // Empty for NULL.
    QString text(qsizetype row, const QString& column) const;
};

// Reads a table in the order ContentQuery.h gives: `_id` and the integer columns first (which fixes
// the rows and the highest id), then every text column alone over `_id<=MAX` (with the ids of its
// NULLs when the output holds a NULL, and each row it could not tell apart read again alone), then
// the ids once more when `checkRows` is set, to show that no row vanished meanwhile.
ProviderRows readProvider(const ShellRunner& shell, const QString& uri, const QStringList& integerColumns,
    const QStringList& textColumns, bool checkRows = true);

} // namespace contentquery
