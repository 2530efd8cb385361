// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/xml/SmsXmlRecord.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SmsXmlReader;

// Runs an SmsXmlReader on a thread of its own, so that parsing the file and storing its messages
// overlap. Records are handed over in batches through a queue held to a few thousand records and
// a bounded number of bytes, so memory stays bounded whatever the file's size.
class SmsXmlReadAhead
{
public:
    enum class Take { Records, Waiting, End };

    // Gets the flag that turns true when reading is to stop, for any reading of its own it does.
    using Preparation = std::function<void(SmsXmlRecord&, const std::atomic<bool>& stop)>;

    // Takes the reader, whose root has been read, and starts reading ahead; each record goes through
    // prepare, on the reading thread and in file order, before it is handed over.
    SmsXmlReadAhead(std::unique_ptr<SmsXmlReader> reader, Preparation prepare);
    // Stops reading, also inside a large element, and waits for the thread.
    ~SmsXmlReadAhead();
    SmsXmlReadAhead(const SmsXmlReadAhead&) = delete;
    SmsXmlReadAhead& operator=(const SmsXmlReadAhead&) = delete;

    // The next batch in file order (Records); Waiting when none came within timeoutMs; End after the
    // last one. Rethrows the reader's failure once the records before it have been taken.
    Take take(std::vector<SmsXmlRecord>& batch, int timeoutMs);

    qint64 declaredCount() const { return m_declaredCount; }
    qint64 fileSize() const { return m_fileSize; }
    qint64 bytesRead() const { return m_bytesRead; }

private:
    struct Batch
    {
        std::vector<SmsXmlRecord> records;
        qint64 bytes = 0;
    };

    void readLoop();
    bool push(Batch&& batch);

    std::unique_ptr<SmsXmlReader> m_reader;
    Preparation m_prepare;
    const qint64 m_declaredCount;
    const qint64 m_fileSize;
    std::atomic<qint64> m_bytesRead { 0 };
    std::atomic<bool> m_stopReading { false };

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};
