// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QDir>
#include <QHash>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>

class ProgressReceiver;

// Counts the messages of local databases, and reads the conversations of the phones' caches, on
// threads of their own, one store after the other, so that the tree shows at once and a large store
// (or one whose read never ends) never holds up the window. Each read goes through a connection of
// its own; going away cancels the running reads.
class MessageCounter : public QObject
{
    Q_OBJECT

public:
    explicit MessageCounter(QObject* parent = nullptr);
    ~MessageCounter() override;

    // Counts the store of the folder; a count asked for again before the earlier one ended replaces it.
    void count(const QDir& folder);
    // Reads the conversations and correspondents of the store in the folder without upgrading it: the
    // window's own connection to the store does that, and two connections upgrading at once collide.
    void readConversations(const QDir& folder);

signals:
    // The folder's message count, or -1 when its store could not be read.
    void counted(const QString& folder, qint64 count);
    // The folder's conversations; error is the reason when its store could not be read.
    void conversationsRead(const QString& folder, const _MsgCollection& chats, const QString& error);

private:
    void deliver(const QString& folder, quint64 request, qint64 count);
    // Runs the job on the pool's thread with the cancel flag in force; the job's answer is handed to
    // this object's thread, unless the counter has gone meanwhile.
    void start(QThreadPool& pool, std::function<std::function<void()>()> job);

    std::shared_ptr<ProgressReceiver> m_stop;
    QThreadPool m_pool;
    // Apart from the counts, so that a count that takes long never holds up a phone's node, nor the
    // other way round.
    QThreadPool m_conversationPool;
    QHash<QString, quint64> m_latest;
    quint64 m_requests = 0;
};
