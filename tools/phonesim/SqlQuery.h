// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/ProviderTable.h"

#include <QList>
#include <QPair>

#include <memory>

// A query of `content query` over one provider table: the projection, the selection (--where) and
// the sort order (--sort), as far as SQLite understands what a loader sends: comparisons of columns
// and literals (= == != <> < <= > >=), IN (...), IS [NOT] NULL, NOT, AND, OR, parentheses, and
// sorting by columns ASC or DESC. Anything else fails as SQLite fails: with an
// android.database.sqlite.SQLiteException naming the statement.
class SqlQuery
{
public:
    // Throws ProviderError when the provider would refuse the query.
    SqlQuery(const ProviderTable& table, const QStringList& projection, const QString& where, const QString& sort);
    ~SqlQuery();

    // The projected columns, as indexes into the table's columns.
    const QList<int>& columns() const { return m_columns; }
    // Their names as the cursor gives them: as the projection spells them.
    const QStringList& names() const { return m_names; }
    // The rows that match, in the order asked for.
    QList<qsizetype> rows() const;

    struct Node;

private:
    const ProviderTable& m_table;
    QList<int> m_columns;
    QStringList m_names;
    std::unique_ptr<Node> m_where;
    QList<QPair<int, bool>> m_sort;
};
