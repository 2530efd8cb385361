// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Sqlite3DB.h"

#include <QHash>
#include <QString>

#include <sqlite3.h>
#include <vector>

namespace sqlite3detail {

// A prepared statement shared between the connection's cache and the cursor that runs it.
struct CachedStatement
{
    sqlite3_stmt* statement = nullptr;
    QString sql;
    QHash<QString, int> columns; // filled on first lookup
    bool columnsKnown = false;
    bool inUse = false;
    bool cached = true; // false: finalized when its cursor lets go
    // What each parameter is bound to now. Bindings outlive a reset, so a value equal to the bound one
    // is not bound again; text and blob bytes are held here for as long as SQLite points at them.
    std::vector<Sqlite3Sql::Param> bound;

    ~CachedStatement()
    {
        if (statement)
            sqlite3_finalize(statement);
    }

    void reset()
    {
        sqlite3_reset(statement);
        inUse = false;
    }
};

// The text of the last error on the connection, or of the code when there is no connection.
QString errorText(sqlite3* db, int code);
// The statement goes to the log only: the text reaches a person, and an insert names dozens of columns.
Sqlite3Exception statementError(int code, const QString& message, const QString& sql);
// A statement that the progress handler stopped because its task was cancelled unwinds as a cancel,
// which the worker frame ends silently, and not as a failure with an error box.
void throwIfCancelledStatement(int code);

} // namespace sqlite3detail
