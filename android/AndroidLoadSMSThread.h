// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "base/WorkerThread.h"
#include "message/MsgCollection.h"
#include "store/CountryLibDb.h"

#include <QDir>
#include <QHash>

#include <exception>
#include <memory>

class CacheStaging;
class StorePipeline;
struct LoadedCorrespondent;
class ExportMessagesDb;
class QTcpSocket;

// Loads every text message of a phone over a "backup2" channel into the device's cache database;
// a phone read directly over USB is read by DirectLoader instead. This class reads and parses the
// channel; a StorePipeline writes the records on a thread of its own, and CacheStaging holds the
// cache's lock and puts the committed load in place of the cache, so a failed or cancelled load
// leaves the previous cache as it was.
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
    void load(const QDir& cacheFolder);
    // A phone without the companion app, read over USB through Android's content providers.
    void loadDirectly();
    // Answers the phone's "$bye:"; the load is complete by then, so a phone that has already gone is
    // only logged.
    void answerBye();
    // Posts "sms: loaded/total" with its percentage, as often as the person can see it.
    void postLoaded();
    void readBatch();
    void parseRecord(QStringView payload);
    // Waits until the channel has data, checking the cancel flag while the phone is silent.
    void waitForData();
    LoadedCorrespondent& correspondentFor(QStringView encodedAddress);
    void closeChannel();
    void dropLoad();

    const AndroidDevice& m_device;
    std::unique_ptr<QTcpSocket> m_channel;
    std::unique_ptr<CacheStaging> m_staging;
    ExportMessagesDb* m_writer = nullptr; // the staging's writer while it is open

    CountryInfo m_country;
    QHash<QString, LoadedCorrespondent*> m_byEncodedAddress;
    QHash<QString, std::shared_ptr<LoadedCorrespondent>> m_byAddress;
    _MsgMessage m_message; // the record being parsed, for its duplicate key
    QByteArray m_decodeBuffer;

    std::unique_ptr<StorePipeline> m_pipeline;
    qint64 m_queueBudget = defaultQueueBudget;
};
