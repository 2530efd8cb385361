// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"

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

protected:
    QString work() override;
    void abandon() override;

private:
    QList<_MsgMessage*> m_messages;
    std::unique_ptr<ExportMessagesDb> m_writer;
};
