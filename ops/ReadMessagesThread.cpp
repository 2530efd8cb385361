// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ReadMessagesThread.h"

#include "message/MessageText.h"
#include "store/IOS6MessageDb.h"

#include <QFileInfo>

#include <algorithm>

ReadMessagesThread::ReadMessagesThread(const QDir& folder, const QString& mcc, const _MsgCollection& collection,
    ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_folder(folder)
    , m_mcc(mcc)
    , m_collection(collection)
{
}

QString ReadMessagesThread::work()
{
    reportStatus(QStringLiteral("Reading the messages of %1...").arg(m_folder.dirName()), -1);
    IOS6MessageDb db(m_folder, m_mcc, false);
    if (QFileInfo::exists(db.dbPath()))
        db.messages(m_collection, 0);
    db.close();
    checkCancelled();
    m_messages = m_collection.messages().values();
    // With a look at the cancel flag now and then: a large store takes a while.
    sortMessages(m_messages, true, [this] { checkCancelled(); });
    return QString();
}
