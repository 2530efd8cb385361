// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "base/WorkerThread.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

#include <memory>

class ExportMessagesDb;
class DeviceCacheLock;
class QTcpSocket;
struct _MsgMessage;

// Sends messages of a local database to a phone over a "restore2" channel, in batches of at most
// 100 acknowledged by the companion. Every handled message is also written into the phone's cache
// database, so a message the phone already holds (loaded from it or sent before) is not sent again;
// a batch is cached only once the phone has acknowledged it. Only ordinary messages with a
// correspondent are sent; the others are counted as skipped.
class AndroidRestoreSMSThread : public WorkerThread
{
    Q_OBJECT

public:
    static constexpr int batchLimit = 100;

    // The records are borrowed and only read; they must outlive the thread.
    AndroidRestoreSMSThread(const AndroidDevice& device, const QList<_MsgMessage*>& messages,
        ProgressReceiver* progress, QObject* parent = nullptr);
    ~AndroidRestoreSMSThread() override;

    int skipped() const { return m_skipped; }
    // The messages to send, in sending order.
    const QList<_MsgMessage*>& messages() const { return m_messages; }

    // The "$sms:" line of a message, line feed included: "time,direction,address,body" with the
    // time in milliseconds since 1970 and address and body as base64 of UTF-8.
    static QByteArray smsLine(const _MsgMessage& message);

protected:
    QString work() override;
    void abandon() override;

private:
    int transfer(QTcpSocket*& channel);
    void sendBatch(QTcpSocket* channel, int& sent);
    // Writes the batch the phone acknowledged last into the cache.
    void cacheAcknowledged();
    void closeCache();

    struct PendingBatch
    {
        QList<const _MsgMessage*> messages;
        QStringList sentKeys;
    };

    AndroidDevice m_device;
    QList<_MsgMessage*> m_messages;
    std::unique_ptr<ExportMessagesDb> m_cacheWriter;
    // A load of the same phone replaces the cache database: the acknowledged batches must not be
    // written into the file it is about to replace. Held while the transfer runs.
    std::unique_ptr<DeviceCacheLock> m_cacheLock;
    QTcpSocket* m_channel = nullptr;
    int m_skipped = 0;
    // Messages in the batches the phone acknowledged: those it stored.
    int m_stored = 0;
    PendingBatch m_acknowledged;
    // Duplicate keys of the messages sent but not yet in the cache.
    QSet<QString> m_sentKeys;
};
