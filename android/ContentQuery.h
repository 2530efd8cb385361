// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <vector>

// Reading a phone's message and contacts providers with Android's `content` tool over `adb shell`,
// the road to a phone that has no companion app.
//
// `content query` prints one line per row, "Row: <index> " and then name=value pairs joined by
// ", ": NULL as NULL, numbers in decimal, texts as they are. Nothing is escaped, so a text may hold
// ", date=", line breaks and whole lines that look like the next row; an output with several text
// columns can be cut into rows in more than one way. The provider is therefore read in queries that
// can each be read back exactly, over rows fixed in advance:
//
// 1. `--projection _id --sort "_id ASC"` (parseIds): integers only. It fixes the rows, their order
//    and MAX, the highest id.
// 2. The integer columns (dates, types, flags, thread ids) beside `_id` in one query, with
//    `--where "_id<=MAX"` so that a message arriving meanwhile adds no row, sorted by `_id`
//    (parseIntegerRows). Every line must be exactly "Row: i _id=ids[i], c=<integer or NULL>, ...";
//    anything else is an error, never a guess.
// 3. Each text column alone beside `_id` (`--projection _id:body`), again `_id<=MAX`, sorted by `_id`
//    (parseTextColumn). Row i starts with "Row: i _id=ids[i], body=" and its text runs up to the line
//    break before "Row: i+1 _id=ids[i+1], body=". As the rows are the expected ones, that true line
//    start is in the output; where it occurs exactly once, that is it. Where a text holds a copy of
//    it, the two rows it separates are reported as unsure, and the caller reads each of them alone
//    (`--where "_id=N"`): an output of one row holds no line start to mistake.
// 4. The `_id` query once more: the same ids show that no row vanished while the others ran, since
//    a phone only adds rows, with higher ids.
//
// A printed NULL is SQL NULL or the four letters "NULL". `--where "_id<=MAX AND body IS NULL"` (an
// `_id` query) names the rows that are NULL, and parseTextColumn takes that list.
//
// Outputs are the bytes the tool wrote (UTF-8). Every failure to match throws ContentQueryError.
namespace contentquery {

class ContentQueryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One value of a row: an integer column's number, or a text column's text.
struct ContentValue
{
    QString text;
    qint64 number = 0;
    bool null = false;
};

// The rows of a query: `_id` and the named columns, rows in the order the ids were expected.
class ContentRows
{
public:
    ContentRows() = default;
    // `columns` starts with "_id".
    ContentRows(QStringList columns, QList<qint64> ids);

    const QStringList& columns() const { return m_columns; }
    const QList<qint64>& ids() const { return m_ids; }
    qsizetype size() const { return m_ids.size(); }
    // -1 when the rows have no such column.
    qsizetype columnIndex(QStringView name) const;

    const ContentValue& value(qsizetype row, qsizetype column) const;
    ContentValue& value(qsizetype row, qsizetype column);
    // One row as name to value.
    QHash<QString, ContentValue> row(qsizetype row) const;

    // Rows whose text could not be told apart from the next row's: to be read again one at a time.
    // A copy, so that resolve() may be called while going through it.
    QList<qint64> unsureIds() const { return m_unsure; }
    void setUnsure(QList<qint64> ids) { m_unsure = std::move(ids); }
    // Takes the values of rows read again (each a parse of one row) and forgets them as unsure.
    void resolve(const ContentRows& reread);

private:
    QStringList m_columns;
    QList<qint64> m_ids;
    std::vector<ContentValue> m_values;
    QList<qint64> m_unsure;
};

// The word quoted for the phone's shell, which parses `adb shell`'s words once more: bare when it
// holds only characters the shell leaves alone, otherwise in single quotes.
QString shellQuote(const QString& word);

// "content query --uri URI [--projection a:b] [--where W] [--sort S]", each value quoted for the
// phone's shell: one argument after `adb shell`.
QString queryCommand(const QString& uri, const QStringList& projection, const QString& where = QString(),
    const QString& sort = QString());
// "content read --uri URI", whose standard output is the file's bytes.
QString readCommand(const QString& uri);

// The exception that the tool reports after "Error while accessing provider:" (on standard error),
// such as "java.lang.SecurityException: Permission Denial: ..."; empty when the text holds none.
QString providerError(QByteArrayView text);

// The ids of a query with projection `_id`: "Row: i _id=N" lines, or "No result found.".
QList<qint64> parseIds(QByteArrayView output);

// A query of `_id` and the integer columns whose rows are not known yet: every line must be exactly
// "Row: i _id=<id>, c=<integer or NULL>, ...", which nothing can imitate. Its ids fix the rows as
// parseIds does.
ContentRows parseIntegerTable(QByteArrayView output, const QStringList& columns);

// A query of `_id` and the integer columns, over exactly the expected ids in that order.
ContentRows parseIntegerRows(QByteArrayView output, const QStringList& columns, const QList<qint64>& ids);

// A query of `_id` and one text column, over exactly the expected ids in that order. A printed NULL
// is NULL when nullIds is not given, otherwise only for the ids it lists (and then every one of them
// must print NULL).
ContentRows parseTextColumn(QByteArrayView output, const QString& column, const QList<qint64>& ids,
    const std::optional<QList<qint64>>& nullIds = std::nullopt);

} // namespace contentquery
