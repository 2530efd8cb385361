// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/AbsDb.h"

AbsDb::~AbsDb() = default;

void AbsDb::beginTransaction()
{
    open();
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
