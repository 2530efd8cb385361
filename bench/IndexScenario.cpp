// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/IndexScenario.h"

#include "store/search/SearchIndex.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace {

using Connection = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("index floor: ") + sqlite3_errmsg(db));
}

// What SQLite alone takes for the same texts: the store's message texts read in row id order and put
// into a contentless FTS5 table with its own tokenizer and default settings, in one transaction of a
// file without a journal. Returns the seconds taken.
double buildFloor(const QString& storePath, const QString& floorPath)
{
    QFile::remove(floorPath);
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(floorPath).constData(), &handle,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(handle, &sqlite3_close);
    if (rc != SQLITE_OK)
        throw std::runtime_error("index floor: can not create its file");

    QElapsedTimer timer;
    timer.start();
    exec(db.get(), "PRAGMA journal_mode=OFF");
    exec(db.get(), "PRAGMA synchronous=OFF");
    exec(db.get(), "CREATE VIRTUAL TABLE fts USING fts5(body, tokenize='unicode61 remove_diacritics 2', content='')");
    const std::string attach = "ATTACH '" + QFile::encodeName(storePath).toStdString() + "' AS store";
    exec(db.get(), attach.c_str());
    exec(db.get(), "BEGIN");
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db.get(), "SELECT ROWID, text FROM store.message", -1, &read, nullptr);
    sqlite3_prepare_v2(db.get(), "INSERT INTO fts(rowid, body) VALUES(?1, ?2)", -1, &insert, nullptr);
    if (!read || !insert) {
        sqlite3_finalize(read);
        sqlite3_finalize(insert);
        throw std::runtime_error(std::string("index floor: ") + sqlite3_errmsg(db.get()));
    }
    bool failed = false;
    while (!failed && sqlite3_step(read) == SQLITE_ROW) {
        sqlite3_bind_int64(insert, 1, sqlite3_column_int64(read, 0));
        sqlite3_bind_text(insert, 2, reinterpret_cast<const char*>(sqlite3_column_text(read, 1)),
            sqlite3_column_bytes(read, 1), SQLITE_STATIC);
        failed = sqlite3_step(insert) != SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(read);
    sqlite3_finalize(insert);
    if (failed)
        throw std::runtime_error(std::string("index floor: ") + sqlite3_errmsg(db.get()));
    exec(db.get(), "COMMIT");
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    db.reset();
    QFile::remove(floorPath);
    return seconds;
}

} // namespace

ScenarioResult runIndexScenario(const BenchContext& context)
{
    SearchIndex index(context.storeDir());
    QFile::remove(index.indexPath());

    QElapsedTimer timer;
    timer.start();
    if (index.ensureUpToDate() != SearchIndex::Update::Rebuilt)
        throw std::runtime_error("the index was not built");
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = index.messageCount();
    index.close();

    const double indexBytes = double(QFileInfo(index.indexPath()).size());
    const double storeBytes = double(QFileInfo(index.storePath()).size());
    std::printf("index_size index_mib=%.1f store_mib=%.1f fraction=%.3f\n", indexBytes / 1048576.0,
        storeBytes / 1048576.0, storeBytes > 0 ? indexBytes / storeBytes : 0.0);
    std::fflush(stdout);

    const double floorSeconds
        = buildFloor(index.storePath(), context.workDir.filePath(QStringLiteral("index-floor.db")));
    result.floorRate = floorSeconds > 0 ? double(result.messages) / floorSeconds : 0;
    return result;
}
