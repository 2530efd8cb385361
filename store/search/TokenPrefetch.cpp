// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/TokenPrefetch.h"

#include <QThread>

namespace searchindex {

TokenPrefetch::TokenPrefetch(const std::vector<PendingMessages::Message>& messages)
    : m_messages(messages)
{
    if (QThread::idealThreadCount() > 1 && !messages.empty())
        m_thread = std::thread([this] { run(); });
}

TokenPrefetch::~TokenPrefetch()
{
    // Also when an insert failed: the tokenizer must not keep pointing into this object.
    searchtext::prepareNextText(nullptr);
    {
        // Under the lock: the thread must not miss the wake-up between its test and its wait.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TokenPrefetch::run()
{
    try {
        for (size_t first = 0; first < m_messages.size() && !m_stop; first += chunkSize) {
            auto chunk = std::make_unique<Chunk>();
            chunk->first = first;
            const size_t end = std::min(first + chunkSize, m_messages.size());
            chunk->firstToken.reserve(end - first + 1);
            for (size_t i = first; i < end; ++i) {
                chunk->firstToken.push_back(int(chunk->tokens.size()));
                const PendingMessages::Message& message = m_messages[i];
                if (!message.text || message.textSize <= 0)
                    continue;
                searchtext::tokenize(
                    message.text, message.textSize, [&chunk](const char* token, int size, bool, int start, int end) {
                        chunk->tokens.push_back({ int(chunk->bytes.size()), size, start, end });
                        chunk->bytes.insert(chunk->bytes.end(), token, token + size);
                        return 0;
                    });
            }
            chunk->firstToken.push_back(int(chunk->tokens.size()));

            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < chunksAhead; });
            m_ready.push_back(std::move(chunk));
            m_changed.notify_all();
        }
    } catch (...) {
        // Out of memory: the messages not prepared yet are tokenized in place.
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

const TokenPrefetch::Chunk* TokenPrefetch::chunkFor(size_t index)
{
    if (m_current && index >= m_current->first && index - m_current->first < chunkSize)
        return m_current.get();
    if (!m_thread.joinable())
        return nullptr;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        while (!m_ready.empty() && m_ready.front()->first + chunkSize <= index)
            m_ready.pop_front();
        if (!m_ready.empty() && m_ready.front()->first <= index) {
            m_current = std::move(m_ready.front());
            m_ready.pop_front();
            m_changed.notify_all();
            return m_current.get();
        }
        if (m_finished || (!m_ready.empty() && m_ready.front()->first > index))
            return nullptr;
        m_changed.wait(lock);
    }
}

void TokenPrefetch::prepare(size_t index)
{
    const PendingMessages::Message& message = m_messages[index];
    const Chunk* chunk = message.text && message.textSize > 0 ? chunkFor(index) : nullptr;
    if (!chunk) {
        searchtext::prepareNextText(nullptr);
        return;
    }
    const size_t at = index - chunk->first;
    const int firstToken = chunk->firstToken[at];
    m_prepared = { message.text, message.textSize, chunk->bytes.data(), chunk->tokens.data() + firstToken,
        chunk->firstToken[at + 1] - firstToken };
    searchtext::prepareNextText(&m_prepared);
}

} // namespace searchindex
