// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/ContentQuery.h"

#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace contentquery;

// Two outputs of `content query` separated by a zero byte: an `_id` query, which fixes the rows, and
// a query of `_id` and one more column over them, read as a text column and as an integer column.
// Whatever the parsers accept must print again exactly as it came: a parser that accepts a different
// cut into rows would print something else.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\0');
    if (split < 0)
        return 0;
    const QByteArrayView output = input.sliced(split + 1);
    QList<qint64> ids;
    try {
        ids = parseIds(input.first(split));
    } catch (const ContentQueryError&) {
        return 0;
    }

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(output);
    try {
        const ContentRows rows = parseTextColumn(output, QStringLiteral("c"), ids);
        if (rows.size() != ids.size())
            std::abort();
        QByteArray printed;
        for (qsizetype row = 0; row < rows.size(); ++row) {
            const ContentValue& value = rows.value(row, 1);
            printed += "Row: " + QByteArray::number(row) + " _id=" + QByteArray::number(ids.at(row))
                + ", c=" + (value.null ? QByteArray("NULL") : value.text.toUtf8()) + '\n';
        }
        if (ids.isEmpty())
            printed = "No result found.\n";
        if (rows.unsureIds().isEmpty() && !utf8.hasError() && printed != output)
            std::abort();
    } catch (const ContentQueryError&) {
    }
    try {
        const ContentRows rows = parseIntegerRows(output, { QStringLiteral("c") }, ids);
        QByteArray printed;
        for (qsizetype row = 0; row < rows.size(); ++row) {
            const ContentValue& value = rows.value(row, 1);
            printed += "Row: " + QByteArray::number(row) + " _id=" + QByteArray::number(ids.at(row))
                + ", c=" + (value.null ? QByteArray("NULL") : QByteArray::number(value.number)) + '\n';
        }
        if (!ids.isEmpty() && printed != output)
            std::abort();
    } catch (const ContentQueryError&) {
    }
    static_cast<void>(providerError(output));
    return 0;
}
