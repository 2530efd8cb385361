// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/AbsDb.h"

#include <QDebug>

AbsDb::~AbsDb() = default;

void AbsDb::beginTransaction()
{
    open();
    // A transaction may change pages all over the file (a whole load, backup or deletion). With
    // SQLite's small default page cache it spills changed pages into the file mid-transaction, and
    // every spill syncs the journal first; a larger cache keeps them in memory until the commit.
    QString error;
    if (exec(QStringLiteral("PRAGMA cache_size=-131072"), error) != 0)
        qWarning() << "AbsDb: can not enlarge the page cache." << error;
    beginTran();
    m_inTransaction = true;
}

void AbsDb::endTransaction(bool commit)
{
    if (!m_inTransaction)
        return;
    open();
    // The flag is cleared first: a failed commit must not leave a later endTransaction retrying it.
    m_inTransaction = false;
    if (commit)
        commitTran();
    else
        rollbackTran();
}

qint64 AbsDb::insertRow(const Sqlite3Row& row, const QString& table)
{
    open();
    executeThrow(row.insertSql(table, {}));
    return lastInsertId();
}
