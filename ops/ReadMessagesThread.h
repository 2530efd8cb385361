// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"
#include "message/MsgCollection.h"
#include "ops/MessageSources.h"

#include <QList>

class IOS6MessageDb;

// What a read takes from a store: its conversations and correspondents first when chats is set, then
// the messages of the conversations listed in ofChats, or of every conversation when that is empty.
struct StoreRead
{
    bool chats = false;
    bool messages = true;
    QList<qint64> ofChats;
};

// Reads from a message store into a collection on a worker of its own, so that a long read (a huge
// store, an endless view) neither freezes the window nor outlasts a cancel or Ctrl-C.
class ReadMessagesThread : public WorkerThread
{
    Q_OBJECT

public:
    // Every message of the source's store, on a connection of its own; a folder without a store gives
    // none. The records go into the collection (copies share them).
    ReadMessagesThread(const MessageSource& source, const _MsgCollection& collection, ProgressReceiver* progress,
        QObject* parent = nullptr);
    // Through a store the caller keeps open and leaves alone until the worker has ended.
    ReadMessagesThread(IOS6MessageDb& store, const _MsgCollection& collection, const StoreRead& read,
        ProgressReceiver* progress, QObject* parent = nullptr);

    // After a successful read of every conversation's messages: every message read, oldest first.
    const QList<_MsgMessage*>& messages() const { return m_messages; }

protected:
    QString work() override;

private:
    void readFrom(IOS6MessageDb& store);

    MessageSource m_source;
    IOS6MessageDb* m_store = nullptr;
    StoreRead m_read;
    _MsgCollection m_collection;
    QList<_MsgMessage*> m_messages;
};
