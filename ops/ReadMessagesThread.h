// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"
#include "message/MsgCollection.h"

#include <QDir>
#include <QList>

// Reads every message of the message store in a database folder into a collection, on a worker of
// its own, so that Ctrl-C stops a long read (a huge store, an endless view) like any other step.
class ReadMessagesThread : public WorkerThread
{
    Q_OBJECT

public:
    // The records go into the collection (copies share them); a folder without a store gives none.
    ReadMessagesThread(const QDir& folder, const QString& mcc, const _MsgCollection& collection,
        ProgressReceiver* progress, QObject* parent = nullptr);

    // After a successful run: every message read, oldest first.
    const QList<_MsgMessage*>& messages() const { return m_messages; }

protected:
    QString work() override;

private:
    QDir m_folder;
    QString m_mcc;
    _MsgCollection m_collection;
    QList<_MsgMessage*> m_messages;
};
