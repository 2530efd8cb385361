// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "store/CountryLibDb.h"
#include "store/MsgCollection.h"

#include <QDir>
#include <QHash>
#include <QThread>

#include <memory>

class ExportMessagesDb;
class ProgressReceiver;
class QTcpSocket;

// Loads every text message of a phone over a "backup2" channel into the device's cache database.
// The load is written into a staging database inside the cache folder and replaces the cache only
// once it has been committed, so a failed or cancelled load leaves the previous cache as it was.
class AndroidLoadSMSThread : public QThread
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

    // Folder inside the cache folder that holds a load until it has been committed.
    static QString stagingFolderName();

protected:
    void run() override;

private:
    // One correspondent of this load, kept for every record of the same address: its records never
    // change except for the contact name, and normalising an address runs regular expressions.
    struct Correspondent
    {
        _MsgHandle handle;
        _MsgChat chat;
        QString encodedName; // field 3 as received, to decode the contact name only when it changes
    };

    void load(const QDir& cacheFolder);
    void readBatch();
    void parseRecord(QStringView payload);
    // Waits until the channel has data, checking the cancel flag while the phone is silent.
    void waitForData();
    Correspondent& correspondentFor(QStringView encodedAddress);
    void closeChannel();
    void dropLoad(const QDir& cacheFolder);

    const AndroidDevice& m_device;
    ProgressReceiver* m_progress;
    std::unique_ptr<QTcpSocket> m_channel;
    std::unique_ptr<ExportMessagesDb> m_writer;

    CountryInfo m_country;
    QHash<QString, Correspondent*> m_byEncodedAddress;
    QHash<QString, std::shared_ptr<Correspondent>> m_byAddress;
    _MsgMessage m_message;
    QByteArray m_decodeBuffer;
};
