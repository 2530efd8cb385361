// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/BackupSMSThread.h"

#include "message/MessageText.h"
#include "ops/SearchIndexUpdates.h"
#include "store/ExportMessagesDb.h"

BackupSMSThread::BackupSMSThread(const QList<_MsgMessage*>& messages, const QDir& folder, const QString& mcc,
    ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_messages(messages)
    , m_writer(std::make_unique<ExportMessagesDb>(folder, mcc))
{
    sortMessages(m_messages, true);
}

BackupSMSThread::~BackupSMSThread() = default;

QString BackupSMSThread::work()
{
    const QString status = tr("IDS_BACKING_UP_SMS");
    reportStatus(status, 0);
    const qsizetype total = m_messages.size();
    const QString progressFormat = tr("SMS: %1/%2");
    m_writer->begin();
    qsizetype done = 0;
    for (const _MsgMessage* message : std::as_const(m_messages)) {
        checkCancelled();
        reportProgress(++done, total, progressFormat, status);
        m_writer->write(*message);
    }
    m_writer->end();
    updateSearchIndexLater(m_writer->db().folder());
    m_added = m_writer->addedMessages();
    m_known = m_writer->knownMessages();
    m_writer.reset();
    return tr("IDS_SUC_BACKUP_%1_SMS_%2_NEW_%3_KNOWN")
        .arg(QString::number(total), QString::number(m_added), QString::number(m_known));
}

void BackupSMSThread::abandon()
{
    // Dropping the writer before end rolls its transaction back and closes the connection.
    m_writer.reset();
}
