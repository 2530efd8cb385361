// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/search/IndexWriting.h"
#include "store/search/SearchTokenizer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace searchindex {

// Tokenizes the texts of the messages a build is about to insert on a thread of its own, a few
// thousand messages ahead of the inserts, so that the thread writing the index spends its time in
// FTS5 and not in the tokenizer. The messages (and their texts) must outlive the object and stay
// unchanged. On a machine with a single core it does nothing and every text is tokenized in place.
class TokenPrefetch
{
public:
    explicit TokenPrefetch(const std::vector<PendingMessages::Message>& messages);
    ~TokenPrefetch();
    TokenPrefetch(const TokenPrefetch&) = delete;
    TokenPrefetch& operator=(const TokenPrefetch&) = delete;

    // Hands the tokens of message `index` to the tokenizer of the calling thread for the next insert;
    // messages are to be asked for in order. Call searchtext::prepareNextText(nullptr) after the insert.
    void prepare(size_t index);

private:
    struct Chunk
    {
        size_t first = 0;
        std::vector<char> bytes;
        std::vector<searchtext::PreparedToken> tokens;
        std::vector<int> firstToken; // per message, and one past the last
    };

    void run();
    // The chunk holding message `index`, waiting for it; null when the thread gave up.
    const Chunk* chunkFor(size_t index);

    static constexpr size_t chunkSize = 2048;
    static constexpr size_t chunksAhead = 4;

    const std::vector<PendingMessages::Message>& m_messages;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Chunk>> m_ready;
    bool m_finished = false;
    std::atomic<bool> m_stop { false };
    std::unique_ptr<Chunk> m_current;
    searchtext::PreparedText m_prepared {};
    std::thread m_thread;
};

} // namespace searchindex
