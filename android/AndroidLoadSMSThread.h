// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "base/WorkerThread.h"
#include "message/MsgCollection.h"
#include "store/CountryLibDb.h"

#include <QDir>
#include <QHash>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

class DeviceCacheLock;
class ExportMessagesDb;
class QTcpSocket;
class QTemporaryDir;

// Loads every text message of a phone over a "backup2" channel into the device's cache database.
// The load is written into a staging database of its own inside the cache folder and replaces the
// cache only once it has been committed, so a failed or cancelled load leaves the previous cache as
// it was. The cache's lock is held from start to end: a second load or a transfer to the phone of
// the same device waits for it a short time, then gives up with a message.
class AndroidLoadSMSThread : public WorkerThread
{
    Q_OBJECT

public:
    // The device must outlive the thread and is not written while it runs.
    AndroidLoadSMSThread(const AndroidDevice& device, ProgressReceiver* progress, QObject* parent = nullptr);
    ~AndroidLoadSMSThread() override;

    // Number of messages announced by the phone, -1 while not announced.
    int total = -1;
    // "$sms:" records received so far.
    int loaded = 0;
    // Of the records of a successful run: the messages stored, those that repeated a message of the
    // same load, and the records skipped as unreadable (fewer than six fields, a time that is not a number).
    qint64 storedMessages = 0;
    qint64 repeatedMessages = 0;
    int incompleteRecords = 0;
    int undatedRecords = 0;

    // Start of the names of the folders inside the cache folder that hold a load until it has been
    // committed; each load makes one of its own.
    static QString stagingFolderPrefix();

    // Parsed records waiting for the store stage are held to this many bytes (and 4096 records), so
    // memory stays bounded whatever the size of the phone's records.
    static constexpr qint64 defaultQueueBudget = qint64(256) << 20;
    void setQueueBudget(qint64 bytes) { m_queueBudget = bytes; }
    // The most bytes of parsed records that waited for the store stage at one time during the last run.
    qint64 peakQueuedBytes = 0;

protected:
    QString work() override;
    void abandon() override;
    QString errorText(const std::exception& error) const override;

private:
    // One correspondent of this load, kept for every record of the same address: its records never
    // change except for the contact name, and normalising an address runs regular expressions.
    struct Correspondent
    {
        _MsgHandle handle; // its contact name is set by the store stage only
        _MsgChat chat;
        QString encodedName; // field 3 as last received, to decode the contact name only when it changes
        QString contactName; // field 3 decoded
    };

    // A parsed record on its way from the channel to the store stage.
    struct ParsedRecord
    {
        Correspondent* correspondent = nullptr;
        QString contactName;
        QString text;
        QString subject;
        QString guid;
        int date = 0;
        int isFromMe = 0;
        qint64 bytes = 0; // what it holds, for the queue's budget
    };

    void load(const QDir& cacheFolder);
    // Takes the cache's lock and removes what loads cut short by a crash left in the cache folder.
    void prepareCacheFolder(const QDir& cacheFolder, const QString& cachePath);
    // Answers the phone's "$bye:"; the load is complete by then, so a phone that has already gone is
    // only logged.
    void answerBye();
    void readBatch();
    void parseRecord(QStringView payload);
    // Waits until the channel has data, checking the cancel flag while the phone is silent.
    void waitForData();
    Correspondent& correspondentFor(QStringView encodedAddress);
    void closeChannel();
    void dropLoad();

    // The store stage: a second thread writes the parsed records through the cache writer while this
    // one reads and parses the channel, so that the phone's lines and SQLite's work overlap.
    void startStoreStage();
    void storeStageLoop();
    void enqueue(ParsedRecord&& record);
    // Hands what is queued to the store stage now, at the end of a batch.
    void publishQueued();
    // Waits until every queued record is written; rethrows the store stage's failure.
    void finishStoreStage();
    // Stops the store stage without writing what is still queued.
    void stopStoreStage();

    const AndroidDevice& m_device;
    std::unique_ptr<QTcpSocket> m_channel;
    std::unique_ptr<DeviceCacheLock> m_cacheLock;
    std::unique_ptr<QTemporaryDir> m_staging;
    std::unique_ptr<ExportMessagesDb> m_writer;

    CountryInfo m_country;
    QHash<QString, Correspondent*> m_byEncodedAddress;
    QHash<QString, std::shared_ptr<Correspondent>> m_byAddress;
    _MsgMessage m_message; // the record being parsed, for its duplicate key
    QByteArray m_decodeBuffer;

    std::thread m_storeStage;
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<ParsedRecord> m_queue;
    qint64 m_queueBudget = defaultQueueBudget;
    // Bytes of the records queued or being written by the store stage.
    qint64 m_pendingBytes = 0;
    bool m_inputDone = false;
    std::atomic<bool> m_stopStoring { false };
    std::exception_ptr m_storeError;
    _MsgMessage m_stored; // the record being written, owned by the store stage
};
