// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

class ExportMessagesDb;

// One correspondent of a companion load, kept for every record of the same address: its records
// never change except for the contact name, and normalising an address runs regular expressions.
struct LoadedCorrespondent
{
    _MsgHandle handle; // its contact name is set by the store stage only
    _MsgChat chat;
    QString encodedName; // the record's name field as last received, to decode it only when it changes
    QString contactName; // that field decoded
};

// A parsed record on its way from the channel to the store stage.
struct ParsedRecord
{
    LoadedCorrespondent* correspondent = nullptr;
    QString contactName;
    QString text;
    QString subject;
    QString guid;
    QString hash; // the duplicate key, which the guid is made from
    int date = 0;
    int isFromMe = 0;
    qint64 bytes = 0; // what it holds, for the queue's budget
};

// The store stage of a companion load: a second thread writes the parsed records through the
// cache writer while the loading thread reads and parses the channel, so that the phone's lines and
// SQLite's work overlap. The records waiting are held to a budget of bytes (and 4096 records), so
// memory stays bounded whatever the size of the phone's records.
class StorePipeline
{
public:
    // The writer must stay open until finish() or stop() has returned.
    StorePipeline(ExportMessagesDb& writer, qint64 budget);
    // Stops without writing what is still queued.
    ~StorePipeline();
    StorePipeline(const StorePipeline&) = delete;
    StorePipeline& operator=(const StorePipeline&) = delete;

    // Queues a record, waiting while the budget is spent; rethrows the store stage's failure.
    void enqueue(ParsedRecord&& record);
    // Hands what is queued to the store stage now, at the end of a batch.
    void publish();
    // Waits until every queued record is written; rethrows the store stage's failure.
    void finish();
    // Stops the store stage without writing what is still queued.
    void stop();

    // The most bytes of parsed records that waited for the store stage at one time.
    qint64 peakQueuedBytes() const { return m_peakQueuedBytes; }

private:
    void loop();

    ExportMessagesDb& m_writer;
    const qint64 m_budget;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ParsedRecord> m_queue;
    // Bytes of the records queued or being written by the store stage.
    qint64 m_pendingBytes = 0;
    qint64 m_peakQueuedBytes = 0;
    bool m_inputDone = false;
    std::atomic<bool> m_stopping { false };
    std::exception_ptr m_error;
    _MsgMessage m_stored; // the record being written, owned by the store stage
};
