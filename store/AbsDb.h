// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Sqlite3DB.h"

// Base of every database class: a connection opened lazily by `open`, with a tracked transaction.
class AbsDb : public Sqlite3DB
{
public:
    AbsDb() = default;
    ~AbsDb() override;

    // Opens the connection on first use; does nothing once it is open.
    virtual void open() = 0;

    void beginTransaction();
    // Commits or rolls back the transaction begun by beginTransaction; nothing when none is open. A
    // commit that fails rolls the transaction back before the error is thrown.
    void endTransaction(bool commit);
    bool inTransaction() const { return m_inTransaction; }

    // Inserts the row into the table and returns its row id.
    qint64 insertRow(const Sqlite3Row& row, const QString& table);

protected:
    // Runs inside the transaction just before endTransaction commits it; an exception it throws
    // fails the commit like a failed COMMIT.
    virtual void beforeCommit() { }

private:
    bool m_inTransaction = false;
};
