// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QString>

#include <vector>

// The floor of the write scenario: the statements the store writer runs for each message, run by
// a bare loop of prepared sqlite3 statements, without the wrapper or the statement cache. Like the
// writer it looks up a conversation or correspondent only the first time a run meets it, looks up
// messages in memory when the store held none as the run began, and stores each conversation's
// newest date once, before the commit.
namespace RawWriteLoop {

// Makes a new database file at targetPath with the tables, indexes and triggers of the file at
// sourcePath, in that order, and its page size and journal mode.
void copySchema(const QString& sourcePath, const QString& targetPath);

// Writes the messages into the database at path in one transaction (begin, write, commit) and
// returns the seconds it took. The connection runs with the store writer's settings: no mutex and
// the given page cache size (PRAGMA cache_size; 0 keeps SQLite's default).
double writeMessages(const QString& path, const std::vector<_MsgMessage>& messages, qint64 cacheSize);

} // namespace RawWriteLoop
