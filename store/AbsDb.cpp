// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/AbsDb.h"

#include "store/StoreLog.h"

#include <QDebug>
#include <QScopeGuard>

#include <sqlite3.h>

namespace {

// SQLite's own default: enough for reading, which walks the file once.
const QString readingCacheSize = QStringLiteral("PRAGMA cache_size=-2000");

} // namespace

AbsDb::~AbsDb() = default;

void AbsDb::beginTransaction()
{
    open();
    // A transaction may change pages all over the file (a whole load, backup or deletion). With
    // SQLite's small default page cache it spills changed pages into the file mid-transaction, and
    // every spill syncs the journal first; a larger cache keeps most of them in memory until the
    // commit. 32 MiB holds the pages a run changes at random (conversations, joins, index leaves);
    // the message rows a large run appends spill in order, so a larger cache only raised the peak
    // memory of big imports without making them faster.
    QString error;
    if (exec(QStringLiteral("PRAGMA cache_size=-32768"), error) != 0)
        qCWarning(lcStore) << "can not enlarge the page cache." << error;
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
    // The large cache of the transaction is given back when it ends: a connection kept open for
    // reading (a database shown in the window) would otherwise hold up to 32 MiB of pages, and
    // reads through a large cache are slower, not faster.
    const auto shrinkCache = qScopeGuard([this] {
        QString error;
        if (isOpen() && exec(readingCacheSize, error) != 0)
            qCWarning(lcStore) << "can not shrink the page cache." << error;
    });
    if (!commit) {
        // SQLite may already have rolled back on its own after an I/O or full-disk error.
        if (!sqlite3_get_autocommit(rawHandle()))
            rollbackTran();
        return;
    }
    try {
        beforeCommit();
        commitTran();
    } catch (...) {
        // A refused COMMIT ("database is locked" while another connection still reads) leaves the
        // transaction open and its lock held: the next beginTransaction would fail and other
        // connections would stay blocked. What the transaction wrote is given up.
        if (isOpen() && !sqlite3_get_autocommit(rawHandle())) {
            QString error;
            if (exec(QStringLiteral("ROLLBACK"), error) != 0)
                qCWarning(lcStore) << "rollback after a failed commit failed." << error;
        }
        throw;
    }
}

qint64 AbsDb::insertRow(const Sqlite3Row& row, const QString& table)
{
    open();
    executeThrow(row.insertSql(table, {}));
    return lastInsertId();
}
