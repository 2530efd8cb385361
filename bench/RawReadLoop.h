// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Sqlite3DB;

// The floor of the read scenario: the queries the store reader runs to read a whole store
// (conversations, the newest date per conversation where the chat table keeps none, correspondents
// with their joins, and messages with their joins), stepped by a loop of plain sqlite3 calls that
// fetches every column value the reader takes from each row and builds nothing from it.
namespace RawReadLoop {

// The connection settings that decide how fast a read goes, as PRAGMA values.
struct ConnectionSettings
{
    qint64 cacheSize = 0;
    qint64 mmapSize = 0;
};

// The settings of an open connection, to run the loop as that connection reads.
ConnectionSettings settingsOf(Sqlite3DB& db);

// Reads the store at path with those settings and returns the seconds it took, from opening the
// file to its last row. messageRows receives the number of message rows read.
double readStore(const QString& path, const ConnectionSettings& settings, qint64* messageRows);

} // namespace RawReadLoop
