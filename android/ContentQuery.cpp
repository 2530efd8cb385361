// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/ContentQuery.h"

#include <algorithm>
#include <limits>

namespace contentquery {

namespace {

constexpr QByteArrayView noResult = "No result found.\n";
constexpr QByteArrayView nextRowStart = "\nRow: ";

[[noreturn]] void fail(const QString& what, qsizetype at)
{
    throw ContentQueryError(
        QStringLiteral("unexpected content query output: %1 (at byte %2)").arg(what).arg(at).toStdString());
}

bool skip(QByteArrayView text, qsizetype& at, QByteArrayView literal)
{
    if (text.size() - at < literal.size() || text.sliced(at, literal.size()) != literal)
        return false;
    at += literal.size();
    return true;
}

// A decimal number as Java prints a long: an optional minus, then digits without leading zeros.
bool readDecimal(QByteArrayView text, qsizetype& at, qint64& value)
{
    qsizetype i = at;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative)
        ++i;
    const qsizetype first = i;
    quint64 magnitude = 0;
    constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max());
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        const unsigned digit = unsigned(text[i] - '0');
        if (magnitude > (limit + 1 - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
        ++i;
    }
    if (i == first || (text[first] == '0' && i - first > 1) || (!negative && magnitude > limit)
        || (negative && magnitude == 0))
        return false;
    value = negative ? qint64(0 - magnitude) : qint64(magnitude);
    at = i;
    return true;
}

// "Row: <index> _id=<id>" at `at`, for the expected index and id.
bool readRowStart(QByteArrayView text, qsizetype& at, qint64 index, qint64 id)
{
    qint64 readIndex = 0;
    qint64 readId = 0;
    return skip(text, at, "Row: ") && readDecimal(text, at, readIndex) && readIndex == index && skip(text, at, " _id=")
        && readDecimal(text, at, readId) && readId == id;
}

void expectRows(QByteArrayView output, const QList<qint64>& ids)
{
    if (ids.isEmpty() && output != noResult)
        fail(QStringLiteral("rows where none were expected"), 0);
    if (!ids.isEmpty() && output == noResult)
        fail(QStringLiteral("no rows where %1 were expected").arg(ids.size()), 0);
}

} // namespace

ContentRows::ContentRows(QStringList columns, QList<qint64> ids)
    : m_columns(std::move(columns))
    , m_ids(std::move(ids))
    , m_values(std::size_t(m_ids.size() * m_columns.size()))
{
    const qsizetype idColumn = columnIndex(u"_id");
    for (qsizetype row = 0; idColumn >= 0 && row < m_ids.size(); ++row)
        value(row, idColumn).number = m_ids.at(row);
}

qsizetype ContentRows::columnIndex(QStringView name) const
{
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i) == name)
            return i;
    }
    return -1;
}

const ContentValue& ContentRows::value(qsizetype row, qsizetype column) const
{
    if (row < 0 || row >= m_ids.size() || column < 0 || column >= m_columns.size())
        throw std::out_of_range("ContentRows::value");
    return m_values[std::size_t(row * m_columns.size() + column)];
}

ContentValue& ContentRows::value(qsizetype row, qsizetype column)
{
    return const_cast<ContentValue&>(std::as_const(*this).value(row, column));
}

QHash<QString, ContentValue> ContentRows::row(qsizetype row) const
{
    QHash<QString, ContentValue> values;
    for (qsizetype column = 0; column < m_columns.size(); ++column)
        values.insert(m_columns.at(column), value(row, column));
    return values;
}

void ContentRows::resolve(const ContentRows& reread)
{
    for (qsizetype readRow = 0; readRow < reread.size(); ++readRow) {
        const qint64 id = reread.ids().at(readRow);
        const qsizetype row = m_ids.indexOf(id);
        if (row < 0)
            continue;
        for (qsizetype column = 0; column < m_columns.size(); ++column) {
            const qsizetype readColumn = reread.columnIndex(m_columns.at(column));
            if (readColumn >= 0)
                value(row, column) = reread.value(readRow, readColumn);
        }
        m_unsure.removeAll(id);
    }
}

QString shellQuote(const QString& word)
{
    const bool plain = !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || QStringView(u"_@%+=:,./-").contains(c);
    });
    if (plain)
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString queryCommand(const QString& uri, const QStringList& projection, const QString& where, const QString& sort)
{
    QString command = QStringLiteral("content query --uri ") + shellQuote(uri);
    if (!projection.isEmpty())
        command += QStringLiteral(" --projection ") + shellQuote(projection.join(QLatin1Char(':')));
    if (!where.isEmpty())
        command += QStringLiteral(" --where ") + shellQuote(where);
    if (!sort.isEmpty())
        command += QStringLiteral(" --sort ") + shellQuote(sort);
    return command;
}

QString readCommand(const QString& uri)
{
    return QStringLiteral("content read --uri ") + shellQuote(uri);
}

QString providerError(QByteArrayView text)
{
    constexpr QByteArrayView marker = "Error while accessing provider:";
    qsizetype at = 0;
    while ((at = text.indexOf(marker, at)) >= 0 && at > 0 && text[at - 1] != '\n')
        ++at;
    if (at < 0)
        return QString();
    const qsizetype lineEnd = text.indexOf('\n', at);
    if (lineEnd < 0)
        return QString::fromUtf8(text.sliced(at));
    const qsizetype next = text.indexOf('\n', lineEnd + 1);
    const QByteArrayView exception = text.sliced(lineEnd + 1, (next < 0 ? text.size() : next) - lineEnd - 1);
    return QString::fromUtf8(exception.isEmpty() ? text.sliced(at, lineEnd - at) : exception);
}

QList<qint64> parseIds(QByteArrayView output)
{
    QList<qint64> ids;
    if (output == noResult)
        return ids;
    qsizetype at = 0;
    while (at < output.size()) {
        qint64 id = 0;
        qint64 index = 0;
        if (!skip(output, at, "Row: ") || !readDecimal(output, at, index) || index != ids.size()
            || !skip(output, at, " _id=") || !readDecimal(output, at, id) || !skip(output, at, "\n"))
            fail(QStringLiteral("not a row %1 of ids").arg(ids.size()), at);
        ids.append(id);
    }
    if (ids.isEmpty())
        fail(QStringLiteral("neither rows nor \"No result found.\""), 0);
    return ids;
}

ContentRows parseIntegerTable(QByteArrayView output, const QStringList& columns)
{
    QList<qint64> ids;
    std::vector<ContentValue> values;
    QList<QByteArray> names;
    for (const QString& column : columns)
        names.append(", " + column.toUtf8() + '=');
    if (output != noResult) {
        qsizetype at = 0;
        while (at < output.size()) {
            qint64 index = 0;
            qint64 id = 0;
            if (!skip(output, at, "Row: ") || !readDecimal(output, at, index) || index != ids.size()
                || !skip(output, at, " _id=") || !readDecimal(output, at, id))
                fail(QStringLiteral("not a row %1 of integers").arg(ids.size()), at);
            for (qsizetype column = 0; column < names.size(); ++column) {
                ContentValue value;
                if (!skip(output, at, names.at(column))
                    || !(skip(output, at, "NULL") ? (value.null = true) : readDecimal(output, at, value.number)))
                    fail(QStringLiteral("no integer %1 in row %2").arg(columns.at(column)).arg(ids.size()), at);
                values.push_back(std::move(value));
            }
            if (!skip(output, at, "\n"))
                fail(QStringLiteral("row %1 goes on after its last column").arg(ids.size()), at);
            ids.append(id);
        }
        if (ids.isEmpty())
            fail(QStringLiteral("neither rows nor \"No result found.\""), 0);
    }
    ContentRows rows(QStringList { QStringLiteral("_id") } + columns, ids);
    for (qsizetype row = 0; row < ids.size(); ++row) {
        for (qsizetype column = 0; column < columns.size(); ++column)
            rows.value(row, column + 1) = std::move(values[std::size_t(row * columns.size() + column)]);
    }
    return rows;
}

ContentRows parseIntegerRows(QByteArrayView output, const QStringList& columns, const QList<qint64>& ids)
{
    expectRows(output, ids);
    ContentRows rows(QStringList { QStringLiteral("_id") } + columns, ids);
    QList<QByteArray> names;
    for (const QString& column : columns)
        names.append(", " + column.toUtf8() + '=');
    qsizetype at = 0;
    for (qsizetype row = 0; row < ids.size(); ++row) {
        if (!readRowStart(output, at, row, ids.at(row)))
            fail(QStringLiteral("row %1 is not the row of id %2").arg(row).arg(ids.at(row)), at);
        for (qsizetype column = 0; column < names.size(); ++column) {
            ContentValue& value = rows.value(row, column + 1);
            if (!skip(output, at, names.at(column))
                || !(skip(output, at, "NULL") ? (value.null = true) : readDecimal(output, at, value.number)))
                fail(QStringLiteral("no integer %1 in row %2").arg(columns.at(column)).arg(row), at);
        }
        if (!skip(output, at, "\n"))
            fail(QStringLiteral("row %1 goes on after its last column").arg(row), at);
    }
    if (ids.size() > 0 && at != output.size())
        fail(QStringLiteral("more than the %1 expected rows").arg(ids.size()), at);
    return rows;
}

ContentRows parseTextColumn(
    QByteArrayView output, const QString& column, const QList<qint64>& ids, const std::optional<QList<qint64>>& nullIds)
{
    expectRows(output, ids);
    ContentRows rows({ QStringLiteral("_id"), column }, ids);
    const qsizetype count = ids.size();
    if (count == 0)
        return rows;
    const QByteArray separator = ", " + column.toUtf8() + '=';
    if (!output.endsWith('\n'))
        fail(QStringLiteral("the last row does not end with a line break"), output.size());

    // Where each row's text starts, and how often the line start of each row (after the first) occurs.
    std::vector<qsizetype> starts(std::size_t(count), -1);
    std::vector<qsizetype> breaks(std::size_t(count), -1);
    std::vector<quint8> seen(std::size_t(count), 0);
    qsizetype at = 0;
    if (!readRowStart(output, at, 0, ids.first()) || !skip(output, at, separator))
        fail(QStringLiteral("the first row is not the row of id %1").arg(ids.first()), 0);
    starts[0] = at;
    seen[0] = 1;
    for (qsizetype found = output.indexOf(nextRowStart, at); found >= 0;
         found = output.indexOf(nextRowStart, found + 1)) {
        qsizetype cursor = found + 1;
        qint64 index = 0;
        qint64 id = 0;
        if (!skip(output, cursor, "Row: ") || !readDecimal(output, cursor, index) || index < 1 || index >= count
            || !skip(output, cursor, " _id=") || !readDecimal(output, cursor, id) || id != ids.at(index)
            || !skip(output, cursor, separator))
            continue;
        seen[std::size_t(index)] = quint8(std::min(2, seen[std::size_t(index)] + 1));
        starts[std::size_t(index)] = cursor;
        breaks[std::size_t(index)] = found;
    }

    // A row's text ends at the line break before the next row's start.
    const auto end = [&](qsizetype row) { return row + 1 == count ? output.size() - 1 : breaks[std::size_t(row + 1)]; };
    qsizetype previousStart = -1;
    for (qsizetype row = 0; row < count; ++row) {
        if (seen[std::size_t(row)] == 0)
            fail(QStringLiteral("row %1 with id %2 is missing").arg(row).arg(ids.at(row)), output.size());
        if (seen[std::size_t(row)] == 1) {
            if (starts[std::size_t(row)] <= previousStart)
                fail(QStringLiteral("row %1 comes before the row it follows").arg(row), starts[std::size_t(row)]);
            previousStart = starts[std::size_t(row)];
        }
    }

    std::vector<qint64> nulls;
    if (nullIds)
        nulls.assign(nullIds->cbegin(), nullIds->cend());
    std::sort(nulls.begin(), nulls.end());
    QList<qint64> unsure;
    for (qsizetype row = 0; row < count; ++row) {
        const bool exact = seen[std::size_t(row)] == 1 && (row + 1 == count || seen[std::size_t(row + 1)] == 1);
        if (!exact) {
            unsure.append(ids.at(row));
            continue;
        }
        const qsizetype start = starts[std::size_t(row)];
        if (end(row) < start)
            fail(QStringLiteral("row %1 ends before it starts").arg(row), start);
        const QByteArrayView text = output.sliced(start, end(row) - start);
        ContentValue& value = rows.value(row, 1);
        const bool listedNull = std::binary_search(nulls.cbegin(), nulls.cend(), ids.at(row));
        if (text == "NULL" && (!nullIds || listedNull)) {
            value.null = true;
            continue;
        }
        if (listedNull)
            fail(QStringLiteral("row of id %1 is not NULL").arg(ids.at(row)), start);
        value.text = QString::fromUtf8(text);
    }
    rows.setUnsure(std::move(unsure));
    return rows;
}

} // namespace contentquery
