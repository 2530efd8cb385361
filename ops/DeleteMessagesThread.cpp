// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/DeleteMessagesThread.h"

#include "ops/SearchIndexUpdates.h"
#include "store/IOS6MessageDb.h"

DeleteMessagesThread::DeleteMessagesThread(
    IOS6MessageDb* db, const QList<_MsgMessage*>* messages, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_db(db)
    , m_messages(messages)
{
}

QString DeleteMessagesThread::work()
{
    reportStatus(tr("IDS_DELETING_LOCAL_DB_MESSAGES"), 0);
    const qsizetype total = m_messages->size();
    m_db->beginTransaction();
    qsizetype done = 0;
    for (const _MsgMessage* message : *m_messages) {
        checkCancelled();
        reportProgress(++done, total);
        m_db->deleteMessage(*message);
    }
    m_db->endTransaction(true);
    updateSearchIndexLater(m_db->folder());
    return tr("IDS_SUC_DELETE_%1_MESSAGES").arg(total);
}

void DeleteMessagesThread::abandon()
{
    try {
        m_db->endTransaction(false);
    } catch (...) {
        // A rollback that fails leaves SQLite to roll the journal back when the connection closes.
    }
}
