// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"

#include <QDir>
#include <QList>

#include <memory>

class ExportMessagesDb;
struct _MsgMessage;

// Copies messages into a local database in message order, in one transaction: a cancel or a
// failure commits nothing, and messages the database already holds are counted but not stored again.
class BackupSMSThread : public WorkerThread
{
    Q_OBJECT

public:
    // The records are borrowed and must outlive the thread.
    BackupSMSThread(const QList<_MsgMessage*>& messages, const QDir& folder, const QString& mcc,
        ProgressReceiver* progress, QObject* parent = nullptr);
    ~BackupSMSThread() override;

    // After a successful run: the messages stored as new, and those the database held already.
    qint64 addedMessages() const { return m_added; }
    qint64 knownMessages() const { return m_known; }

protected:
    QString work() override;
    void abandon() override;

private:
    QList<_MsgMessage*> m_messages;
    std::unique_ptr<ExportMessagesDb> m_writer;
    qint64 m_added = 0;
    qint64 m_known = 0;
};
