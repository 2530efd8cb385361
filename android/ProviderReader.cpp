// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/ProviderReader.h"

namespace contentquery {

namespace {

const QString byId = QStringLiteral("_id ASC");

} // namespace

qint64 ProviderRows::integer(qsizetype row, const QString& column) const
{
    return integers.value(row, integers.columnIndex(column)).number;
}

bool ProviderRows::isNull(qsizetype row, const QString& column) const
{
    const auto textRows = texts.constFind(column);
    if (textRows != texts.constEnd())
        return textRows->value(row, 1).null;
    return integers.value(row, integers.columnIndex(column)).null;
}

QString ProviderRows::text(qsizetype row, const QString& column) const
{
    const auto textRows = texts.constFind(column);
    if (textRows == texts.constEnd())
        throw ContentQueryError(QStringLiteral("no text column %1").arg(column).toStdString());
    return textRows->value(row, 1).text;
}

ProviderRows readProvider(const ShellRunner& shell, const QString& uri, const QStringList& integerColumns,
    const QStringList& textColumns, bool checkRows)
{
    ProviderRows rows;
    rows.integers = parseIntegerTable(
        shell(queryCommand(uri, QStringList { QStringLiteral("_id") } + integerColumns, QString(), byId)),
        integerColumns);
    rows.ids = rows.integers.ids();
    if (rows.ids.isEmpty()) {
        for (const QString& column : textColumns)
            rows.texts.insert(column, ContentRows({ QStringLiteral("_id"), column }, {}));
        return rows;
    }
    const QString upToMax = QStringLiteral("_id<=%1").arg(rows.ids.last());
    for (const QString& column : textColumns) {
        const QByteArray output = shell(queryCommand(uri, { QStringLiteral("_id"), column }, upToMax, byId));
        // Only a NULL printed somewhere needs the rows that really are NULL, apart from the text "NULL".
        std::optional<QList<qint64>> nulls;
        if (output.contains("=NULL\n")) {
            nulls = parseIds(shell(queryCommand(
                uri, { QStringLiteral("_id") }, upToMax + QStringLiteral(" AND %1 IS NULL").arg(column), byId)));
        }
        ContentRows values = parseTextColumn(output, column, rows.ids, nulls);
        for (const qint64 id : values.unsureIds()) {
            std::optional<QList<qint64>> single;
            if (nulls)
                single = nulls->contains(id) ? QList<qint64> { id } : QList<qint64>();
            values.resolve(parseTextColumn(
                shell(queryCommand(uri, { QStringLiteral("_id"), column }, QStringLiteral("_id=%1").arg(id), byId)),
                column, { id }, single));
        }
        rows.texts.insert(column, std::move(values));
    }
    if (checkRows && parseIds(shell(queryCommand(uri, { QStringLiteral("_id") }, upToMax, byId))) != rows.ids)
        throw ContentQueryError(QStringLiteral("messages of %1 vanished while they were read; read the phone again.")
                                    .arg(uri)
                                    .toStdString());
    return rows;
}

} // namespace contentquery
