// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"

#include <QList>

class IOS6MessageDb;
struct _MsgMessage;

// Deletes messages from a local database in one transaction, rolled back on cancel and on failure.
class DeleteMessagesThread : public WorkerThread
{
    Q_OBJECT

public:
    // The database, the list and its records are borrowed and must outlive the thread; neither is
    // touched by anyone else while it runs.
    DeleteMessagesThread(
        IOS6MessageDb* db, const QList<_MsgMessage*>* messages, ProgressReceiver* progress, QObject* parent = nullptr);

protected:
    QString work() override;
    void abandon() override;

private:
    IOS6MessageDb* m_db;
    const QList<_MsgMessage*>* m_messages;
};
