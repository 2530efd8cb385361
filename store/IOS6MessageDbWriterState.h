// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/IOS6MessageDb.h"
#include "store/WrittenKeys.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>

// What the store keeps between the calls of one writer: the optional columns the open file has, the
// statement texts built for them, and what a writer run remembers of the rows it found or wrote.

namespace ios6writing {

// Which optional columns the open file has, tested once per open.
struct ColumnTests
{
    bool chatLast = false;
    bool chatDisplayName = false;
    bool chatGroupId = false;
    bool handleContactName = false;
    bool handleContactPhoto = false;
    // Bit i set: the table has messageColumnTable[i]; always set for the columns every store has.
    quint64 messageColumns = 0;
    bool messageLogicHash = false;
    bool attachmentUserInfo = false;
    bool attachmentTransferName = false;
    bool attachmentTotalBytes = false;
    // The store's messages count their dates in nanoseconds; new ones are written the same way.
    bool nanosecondDates = false;
};

} // namespace ios6writing

struct IOS6MessageDb::WriteCache
{
    // The tableSql the tests were made from; a refilled tableSql no longer shares it.
    QMap<QString, QString> tableSql;
    ios6writing::ColumnTests has;

    // Insert statement texts per table, keyed by the set of optional columns a row writes.
    QHash<quint64, QString> chatInserts;
    QHash<quint64, QString> handleInserts;
    QHash<quint64, QString> messageInserts;
    QHash<quint64, QString> attachmentInserts;
};

namespace ios6writing {

// A message key (logic_hash or guid) with its UTF-8 bytes and their fingerprint, kept for the next
// call with the same string: a message's keys are looked up and then written.
struct EncodedKey
{
    QString text;
    QByteArray utf8;
    size_t fingerprint = 0;
};

} // namespace ios6writing

struct IOS6MessageDb::WriterRun
{
    QHash<QString, qint64> chatsByGuid;
    QHash<QPair<QString, QString>, qint64> handlesByIdAndService;
    QSet<QPair<qint64, qint64>> chatHandleJoins;
    // Per conversation, the newest message date written in this run and not yet stored in _last.
    QHash<qint64, int> pendingNewestDates;
    // Per conversation, the last_addressed_handle this run last stored.
    QHash<qint64, QString> lastAddressedHandles;
    // Fingerprints of the logic_hash and guid of every message this run wrote, the logic_hash ones
    // with the message's row id. When the store held no message as the run began, a key whose
    // fingerprint is missing here is missing from the store; a fingerprint found is confirmed by a
    // query (for logic_hash, on the rows that have it).
    ios6writing::WrittenKeys written;
    qsizetype writtenMessages = 0;
    bool storeHadMessages = true;
    ios6writing::EncodedKey lastLogicHash;
    ios6writing::EncodedKey lastGuid;
};

namespace ios6writing {

// The slot's encoding of `key`, made again unless the slot already holds this very string.
const EncodedKey& encodedKey(EncodedKey& slot, const QString& key);
// Binds a key as addTextParam would, from the bytes already encoded.
void bindKey(Sqlite3Sql& sql, const EncodedKey& key);
// The row id in the first row of a "select rowid ..." query, 0 without a row.
qint64 firstRowId(Sqlite3Cursor cursor);

} // namespace ios6writing
