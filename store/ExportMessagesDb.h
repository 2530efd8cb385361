// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsFormatExport.h"
#include "store/IOS6MessageDb.h"
#include "store/MsgCollection.h"

#include <QByteArray>
#include <QString>

// The duplicate key of a message: MD5 (32 lower-case hex digits) of its correspondent, date,
// direction, text without U+FFFC and attachment names; of its guid alone when item_type is not 0.
QString logicHash(const _MsgMessage& message);
// MD5 of the bytes as upper-case hex in GUID form 8-4-4-4-12.
QString guidFromBytes(const QByteArray& bytes);

// Stores messages in a local message database without ever storing one twice. All writes between
// begin and end share one transaction; a writer dropped without end commits nothing.
class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    ExportMessagesDb(const QDir& folder, const QString& mcc);
    ~ExportMessagesDb() override;

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

    IOS6MessageDb& db() { return m_db; }

    // Messages written since begin: stored as new, and found already in the database (a duplicate).
    qint64 addedMessages() const { return m_added; }
    qint64 knownMessages() const { return m_known; }

private:
    IOS6MessageDb m_db;
    qint64 m_added = 0;
    qint64 m_known = 0;
};
