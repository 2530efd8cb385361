// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/xml/SmsXmlReadAhead.h"

#include "ops/xml/SmsXmlReader.h"

#include <chrono>

namespace {

constexpr size_t batchRecords = 256;
constexpr qint64 batchBytes = qint64(4) << 20;
constexpr size_t maxQueuedBatches = 8;
// A record larger than this still goes, alone.
constexpr qint64 maxQueuedBytes = qint64(16) << 20;

qint64 recordBytes(const SmsXmlRecord& record)
{
    qint64 bytes = qint64(sizeof record)
        + qint64(sizeof(QChar))
            * (record.date.size() + record.address.size() + record.contactName.size() + record.body.size()
                + record.subject.size() + record.serviceCenter.size() + record.prepared.text.size());
    for (const SmsXmlRecord::Part& part : record.parts)
        bytes += qint64(sizeof part) + part.data.size() + qint64(sizeof(QChar)) * (part.text.size() + part.name.size());
    for (const SmsXmlRecord::Address& address : record.addresses)
        bytes += qint64(sizeof address) + qint64(sizeof(QChar)) * address.address.size();
    return bytes;
}

} // namespace

SmsXmlReadAhead::SmsXmlReadAhead(std::unique_ptr<SmsXmlReader> reader, Preparation prepare)
    : m_reader(std::move(reader))
    , m_prepare(std::move(prepare))
    , m_declaredCount(m_reader->declaredCount())
    , m_fileSize(m_reader->fileSize())
{
    m_reader->setStopFlag(&m_stopReading);
    m_thread = std::thread([this] { readLoop(); });
}

SmsXmlReadAhead::~SmsXmlReadAhead()
{
    m_stopReading = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

SmsXmlReadAhead::Take SmsXmlReadAhead::take(std::vector<SmsXmlRecord>& batch, int timeoutMs)
{
    batch.clear();
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool ready
        = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_queue.empty() || m_done; });
    if (!ready)
        return Take::Waiting;
    if (m_queue.empty()) {
        if (m_error)
            std::rethrow_exception(m_error);
        return Take::End;
    }
    batch = std::move(m_queue.front().records);
    m_queuedBytes -= m_queue.front().bytes;
    m_queue.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return Take::Records;
}

void SmsXmlReadAhead::readLoop()
{
    try {
        Batch batch;
        SmsXmlRecord record;
        while (m_reader->next(record)) {
            if (m_prepare)
                m_prepare(record, m_stopReading);
            batch.bytes += recordBytes(record);
            batch.records.push_back(std::move(record));
            if (batch.records.size() >= batchRecords || batch.bytes >= batchBytes) {
                m_bytesRead = m_reader->bytesRead();
                if (!push(std::move(batch)))
                    return;
                batch = Batch();
            }
        }
        m_bytesRead = m_reader->bytesRead();
        if (!batch.records.empty() && !push(std::move(batch)))
            return;
    } catch (...) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
}

bool SmsXmlReadAhead::push(Batch&& batch)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_stop || (m_queue.size() < maxQueuedBatches && (m_queue.empty() || m_queuedBytes < maxQueuedBytes));
    });
    if (m_stop)
        return false;
    m_queuedBytes += batch.bytes;
    m_queue.push_back(std::move(batch));
    lock.unlock();
    m_changed.notify_all();
    return true;
}
