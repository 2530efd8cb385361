// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/StorePipeline.h"

#include "android/AndroidLoadSMSThread.h"
#include "message/RecordDefaults.h"
#include "store/ExportMessagesDb.h"

#include <algorithm>

namespace {

// Enough to keep the store stage busy while the next batch arrives, little enough to bound memory.
constexpr size_t maxQueued = 4096;
// The store stage gives back the budget of what it has written in steps of this size, so that the
// reader goes on during a run of large records without taking the lock for every small one.
constexpr qint64 releaseStep = qint64(1) << 20;
// The store stage is woken for runs of records, not for each one.
constexpr size_t wakeEvery = 64;

} // namespace

StorePipeline::StorePipeline(ExportMessagesDb& writer, qint64 budget)
    : m_writer(writer)
    , m_budget(budget)
{
    // Everything but the text, subject, dates, direction and guid is the same for every loaded message.
    fillLoadedMessage(m_stored);
    m_thread = std::thread([this] { loop(); });
}

StorePipeline::~StorePipeline()
{
    stop();
}

void StorePipeline::loop()
{
    std::deque<ParsedRecord> taken;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_inputDone || m_stopping; });
            if (m_stopping || (m_queue.empty() && m_inputDone))
                return;
            taken.swap(m_queue);
        }
        m_changed.notify_all();
        qint64 written = 0;
        const auto release = [this, &written] {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_pendingBytes -= written;
            }
            written = 0;
            m_changed.notify_all();
        };
        try {
            for (ParsedRecord& record : taken) {
                if (m_stopping)
                    return;
                // The correspondent's records are read by the writer here only; the parser never touches them
                // after making them.
                _MsgHandle& handle = record.correspondent->handle;
                handle._ct_name = std::move(record.contactName);
                m_stored.handle = &handle;
                m_stored.chat = &record.correspondent->chat;
                m_stored.text = std::move(record.text);
                m_stored.subject = std::move(record.subject);
                m_stored.guid = std::move(record.guid);
                m_stored.date = record.date;
                m_stored.date_read = record.date;
                m_stored.date_delivered = record.date;
                m_stored.is_from_me = record.isFromMe;
                m_writer.write(m_stored, record.hash);
                written += record.bytes;
                if (written >= releaseStep) {
                    // Large texts are let go of before the budget they held is given back.
                    m_stored.text.clear();
                    m_stored.subject.clear();
                    release();
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_error = std::current_exception();
            m_changed.notify_all();
            return;
        }
        taken.clear();
        release();
    }
}

void StorePipeline::enqueue(ParsedRecord&& record)
{
    record.bytes = qint64(sizeof record)
        + qint64(sizeof(QChar))
            * (record.contactName.size() + record.text.size() + record.subject.size() + record.guid.size()
                + record.hash.size());
    size_t queued = 0;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // A record larger than the whole budget still goes, alone.
        const auto hasRoom = [this, &record] {
            return m_error
                || (m_queue.size() < maxQueued && (m_pendingBytes == 0 || m_pendingBytes + record.bytes <= m_budget));
        };
        if (!hasRoom()) {
            // The store stage may sleep until the end of the batch: what is queued must go now.
            m_changed.notify_all();
            m_changed.wait(lock, hasRoom);
        }
        if (m_error)
            std::rethrow_exception(m_error);
        m_pendingBytes += record.bytes;
        m_peakQueuedBytes = std::max(m_peakQueuedBytes, m_pendingBytes);
        m_queue.push_back(std::move(record));
        queued = m_queue.size();
    }
    if (queued % wakeEvery == 0)
        m_changed.notify_all();
}

void StorePipeline::publish()
{
    m_changed.notify_all();
}

void StorePipeline::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inputDone = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
}

void StorePipeline::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
    m_queue.clear();
}
