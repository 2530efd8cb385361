// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "store/AbsFormatExport.h"
#include "store/IOS6MessageDb.h"

#include <QString>

// The path below the store's file-relay folder that an attachment with this filename is copied to;
// empty when no such path is safe (nothing may be copied then).
QString relayRelativePath(const QString& filename);

// Stores messages in a local message database without ever storing one twice. All writes between
// begin and end share one transaction; a writer dropped without end commits nothing.
class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    ExportMessagesDb(const QDir& folder, const QString& mcc);
    ~ExportMessagesDb() override;

    void begin() override;
    void write(const _MsgMessage& message) override;
    // The same for a caller that has computed the message's logicHash already, to spare computing it twice.
    void write(const _MsgMessage& message, const QString& knownLogicHash);
    void end() override;

    IOS6MessageDb& db() { return m_db; }

    // Messages written since begin: stored as new, and found already in the database (a duplicate);
    // of the latter, those found among the ones this run stored.
    qint64 addedMessages() const { return m_added; }
    qint64 knownMessages() const { return m_known; }
    qint64 repeatedMessages() const { return m_repeated; }

    // Attachment files since begin that existed but could not be copied into the store (their rows
    // are written all the same), and why the last one could not.
    qint64 failedAttachmentCopies() const { return m_failedCopies; }
    const QString& lastCopyFailure() const { return m_lastCopyFailure; }

private:
    void copyAttachmentFile(const _MsgAttachment& attachment);

    IOS6MessageDb m_db;
    qint64 m_added = 0;
    qint64 m_known = 0;
    qint64 m_repeated = 0;
    // Message row ids up to this one were in the store when the run began.
    qint64 m_lastRowIdBefore = 0;
    qint64 m_failedCopies = 0;
    QString m_lastCopyFailure;
};
