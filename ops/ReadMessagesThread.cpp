// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ReadMessagesThread.h"

#include "message/MessageText.h"
#include "store/IOS6MessageDb.h"

#include <QFileInfo>

#include <algorithm>

ReadMessagesThread::ReadMessagesThread(
    const MessageSource& source, const _MsgCollection& collection, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_source(source)
    , m_collection(collection)
{
}

ReadMessagesThread::ReadMessagesThread(IOS6MessageDb& store, const _MsgCollection& collection, const StoreRead& read,
    ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_source { store.folder(), QString() }
    , m_store(&store)
    , m_read(read)
    , m_collection(collection)
{
}

QString ReadMessagesThread::work()
{
    reportStatus(QStringLiteral("Reading the messages of %1...").arg(m_source.folder.dirName()), -1);
    if (m_store) {
        readFrom(*m_store);
    } else {
        IOS6MessageDb db(m_source.folder, m_source.mcc, false);
        if (QFileInfo::exists(db.dbPath()))
            readFrom(db);
        db.close();
    }
    checkCancelled();
    if (!m_read.messages || !m_read.ofChats.isEmpty())
        return QString();
    m_messages = m_collection.messages().values();
    // With a look at the cancel flag now and then: a large store takes a while.
    sortMessages(m_messages, true, [this] { checkCancelled(); });
    return QString();
}

void ReadMessagesThread::readFrom(IOS6MessageDb& store)
{
    if (m_read.chats)
        store.chats(m_collection);
    if (!m_read.messages)
        return;
    if (m_read.ofChats.isEmpty())
        store.messages(m_collection, 0);
    for (const qint64 chat : std::as_const(m_read.ofChats)) {
        checkCancelled();
        store.messages(m_collection, chat);
    }
}
