// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MsgCollection.h"

#include <QSet>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <tuple>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

// Message records are held in blocks of many records instead of one allocation each: a store of a
// hundred thousand messages otherwise spends much of its reading time in the allocator and in
// faulting in scattered pages. Blocks of at least hugePageBytes are aligned to it and offered to the
// kernel for huge pages, which cuts the page faults of a large read by two orders of magnitude.
constexpr size_t hugePageBytes = size_t(2) << 20;
constexpr qsizetype firstBlockMessages = 64;
constexpr qsizetype largestGrownBlockMessages = 65536;

struct MessageBlock
{
    _MsgMessage* records = nullptr;
    qsizetype capacity = 0;
    qsizetype used = 0;
    size_t mappedBytes = 0; // of a block mapped on its own; 0 for one from the heap
};

#ifdef Q_OS_LINUX
// A large block is mapped on its own, aligned to a huge page: taken from the heap, its memory could
// stay with the process after the collection is gone, wherever the allocator's thresholds stand.
void* mapBlock(size_t bytes)
{
    const size_t mapped = bytes + hugePageBytes;
    void* region = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(region);
    const std::uintptr_t start = (begin + hugePageBytes - 1) & ~std::uintptr_t(hugePageBytes - 1);
    const std::uintptr_t end = begin + mapped;
    if (start > begin)
        munmap(region, start - begin);
    if (end > start + bytes)
        munmap(reinterpret_cast<void*>(start + bytes), end - (start + bytes));
    // Only advice: without huge pages the block works the same.
    madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}
#endif

MessageBlock allocateBlock(qsizetype capacity)
{
    size_t bytes = size_t(capacity) * sizeof(_MsgMessage);
    MessageBlock block { nullptr, capacity, 0, 0 };
    void* memory = nullptr;
    if (bytes >= hugePageBytes) {
        bytes = (bytes + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
#ifdef Q_OS_LINUX
        memory = mapBlock(bytes);
        block.mappedBytes = bytes;
#else
        memory = std::aligned_alloc(hugePageBytes, bytes);
#endif
    } else {
        memory = std::malloc(bytes);
    }
    if (!memory)
        throw std::bad_alloc();
    block.records = static_cast<_MsgMessage*>(memory);
    return block;
}

void releaseBlock(MessageBlock& block)
{
    for (qsizetype i = 0; i < block.used; ++i)
        block.records[i].~_MsgMessage();
#ifdef Q_OS_LINUX
    if (block.mappedBytes)
        munmap(block.records, block.mappedBytes);
    else
#endif
        std::free(block.records);
    block = MessageBlock();
}

// Orders row ids as their decimal texts compare: "-" before the digits, then digit by digit, a
// text before any longer text it begins. A number of d digits scaled to 19 digits compares like its
// text up to trailing zeros, and then the shorter text comes first.
std::tuple<bool, quint64, int> rowIdTextKey(qint64 rowid)
{
    const bool nonNegative = rowid >= 0;
    quint64 magnitude = nonNegative ? quint64(rowid) : quint64(0) - quint64(rowid);
    int digits = 1;
    for (quint64 rest = magnitude / 10; rest != 0; rest /= 10)
        ++digits;
    for (int i = digits; i < 19; ++i)
        magnitude *= 10;
    return { nonNegative, magnitude, digits };
}

} // namespace

bool _MsgMessageExtras::operator==(const _MsgMessageExtras& other) const
{
    return is_emote == other.is_emote && is_empty == other.is_empty && is_delayed == other.is_delayed
        && is_auto_reply == other.is_auto_reply && is_system_message == other.is_system_message
        && has_dd_results == other.has_dd_results && is_service_message == other.is_service_message
        && is_forward == other.is_forward && was_downgraded == other.was_downgraded && is_archive == other.is_archive
        && was_deduplicated == other.was_deduplicated && is_audio_message == other.is_audio_message
        && is_played == other.is_played && date_played == other.date_played
        && group_action_type == other.group_action_type && share_status == other.share_status
        && share_direction == other.share_direction && is_expirable == other.is_expirable
        && expire_state == other.expire_state && message_action_type == other.message_action_type
        && service_center == other.service_center && attributedBody == other.attributedBody
        && account_guid == other.account_guid && cache_roomnames == other.cache_roomnames
        && group_title == other.group_title;
}

const _MsgMessageExtras& _MsgMessage::defaultExtras()
{
    static const _MsgMessageExtras defaults;
    return defaults;
}

_MsgMessageExtras& _MsgMessage::editExtras()
{
    if (!m_extras)
        m_extras = new _MsgMessageExtras();
    // The non-const access copies a body that other records share.
    return *m_extras;
}

QStringList _MsgChatMessages::keys() const
{
    QStringList keys;
    keys.reserve(m_messages.size());
    for (const _MsgMessage* message : m_messages)
        keys.append(QString::number(message->rowid));
    return keys;
}

void _MsgChatMessages::insert(_MsgMessage* message)
{
    const auto key = rowIdTextKey(message->rowid);
    auto it = std::lower_bound(m_messages.begin(), m_messages.end(), key,
        [](const _MsgMessage* listed, const auto& wanted) { return rowIdTextKey(listed->rowid) < wanted; });
    if (it != m_messages.end() && rowIdTextKey((*it)->rowid) == key)
        *it = message;
    else
        m_messages.insert(it, message);
}

bool _MsgChatMessages::remove(const _MsgMessage* message)
{
    const auto key = rowIdTextKey(message->rowid);
    auto it = std::lower_bound(m_messages.begin(), m_messages.end(), key,
        [](const _MsgMessage* listed, const auto& wanted) { return rowIdTextKey(listed->rowid) < wanted; });
    if (it == m_messages.end() || *it != message)
        return false;
    m_messages.erase(it);
    return true;
}

void _MsgChatMessages::restoreOrder()
{
    using Entry = std::pair<std::tuple<bool, quint64, int>, _MsgMessage*>;
    std::vector<Entry> entries;
    entries.reserve(size_t(m_messages.size()));
    for (_MsgMessage* message : std::as_const(m_messages))
        entries.emplace_back(rowIdTextKey(message->rowid), message);
    const auto byKey = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    if (!std::is_sorted(entries.begin(), entries.end(), byKey))
        std::stable_sort(entries.begin(), entries.end(), byKey);
    // Of several entries of one row id the last one appended stays, as a keyed insert would leave it.
    m_messages.clear();
    m_messages.reserve(qsizetype(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first)
            continue;
        m_messages.append(entries[i].second);
    }
}

struct _MsgCollection::Body
{
    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    QHash<qint64, _MsgMessage*> messages;
    // Conversations other than message->chat whose list holds the message: a message joined to
    // several conversations must leave every list when it is removed.
    QHash<qint64, QList<_MsgChat*>> otherChats;
    std::vector<MessageBlock> blocks;
    qsizetype nextBlockMessages = firstBlockMessages;
    // Where the records from addUnindexedMessage begin; they run to the end of the last block.
    bool hasUnindexed = false;
    size_t unindexedBlock = 0;
    qsizetype unindexedFrom = 0;
    QString numberCountry;

    Body() = default;
    Body(const Body&) = delete;
    Body& operator=(const Body&) = delete;
    ~Body() { clear(); }

    _MsgMessage* newMessage()
    {
        if (blocks.empty() || blocks.back().used == blocks.back().capacity) {
            blocks.push_back(allocateBlock(nextBlockMessages));
            nextBlockMessages = std::min(nextBlockMessages * 2, largestGrownBlockMessages);
        }
        MessageBlock& block = blocks.back();
        _MsgMessage* message = new (block.records + block.used) _MsgMessage();
        ++block.used;
        return message;
    }

    void clear()
    {
        for (MessageBlock& block : blocks)
            releaseBlock(block);
        blocks.clear();
        nextBlockMessages = firstBlockMessages;
        hasUnindexed = false;
        qDeleteAll(handles);
        qDeleteAll(chats);
        messages.clear();
        handles.clear();
        chats.clear();
        otherChats.clear();
        numberCountry.clear();
    }
};

namespace {

template <typename Record> Record* addRecord(QHash<qint64, Record*>& records, std::unique_ptr<Record> record)
{
    if (!record)
        return nullptr;
    auto it = records.find(record->rowid);
    if (it != records.end())
        return it.value();
    Record* held = record.release();
    records.insert(held->rowid, held);
    return held;
}

} // namespace

_MsgCollection::_MsgCollection()
    : d(std::make_shared<Body>())
{
}

const QHash<qint64, _MsgChat*>& _MsgCollection::chats() const
{
    return d->chats;
}

const QHash<qint64, _MsgHandle*>& _MsgCollection::handles() const
{
    return d->handles;
}

const QHash<qint64, _MsgMessage*>& _MsgCollection::messages() const
{
    return d->messages;
}

_MsgChat* _MsgCollection::chat(qint64 rowid) const
{
    return d->chats.value(rowid, nullptr);
}

_MsgHandle* _MsgCollection::handle(qint64 rowid) const
{
    return d->handles.value(rowid, nullptr);
}

_MsgMessage* _MsgCollection::message(qint64 rowid) const
{
    return d->messages.value(rowid, nullptr);
}

_MsgChat* _MsgCollection::addChat(std::unique_ptr<_MsgChat> chat)
{
    return addRecord(d->chats, std::move(chat));
}

_MsgHandle* _MsgCollection::addHandle(std::unique_ptr<_MsgHandle> handle)
{
    return addRecord(d->handles, std::move(handle));
}

_MsgMessage* _MsgCollection::addMessage(std::unique_ptr<_MsgMessage> message)
{
    if (!message)
        return nullptr;
    bool created = false;
    _MsgMessage* held = addMessage(message->rowid, &created);
    if (created)
        *held = std::move(*message);
    return held;
}

_MsgMessage* _MsgCollection::addMessage(qint64 rowid, bool* created)
{
    // A record of this rowid may still wait to be indexed.
    indexUnindexedMessages();
    // One look-up for both cases: the slot is made empty and filled when the row id is new.
    const qsizetype before = d->messages.size();
    _MsgMessage*& slot = d->messages[rowid];
    const bool isNew = d->messages.size() != before;
    if (created)
        *created = isNew;
    if (!isNew)
        return slot;
    try {
        slot = d->newMessage();
    } catch (...) {
        d->messages.remove(rowid);
        throw;
    }
    slot->rowid = rowid;
    return slot;
}

_MsgMessage* _MsgCollection::addUnindexedMessage(qint64 rowid, _MsgChat* chat)
{
    _MsgMessage* message = d->newMessage();
    if (!d->hasUnindexed) {
        d->hasUnindexed = true;
        d->unindexedBlock = d->blocks.size() - 1;
        d->unindexedFrom = d->blocks.back().used - 1;
    }
    message->rowid = rowid;
    // The record's own field holds the conversation until the record is linked, which saves a list of
    // pairs as long as the read.
    message->chat = chat;
    return message;
}

void _MsgCollection::adoptUnindexedMessages(_MsgCollection& part)
{
    Body& from = *part.d;
    if (from.blocks.empty() || &from == d.get())
        return;
    if (!d->hasUnindexed) {
        d->hasUnindexed = true;
        d->unindexedBlock = d->blocks.size();
        d->unindexedFrom = from.unindexedFrom;
    }
    d->blocks.reserve(d->blocks.size() + from.blocks.size());
    for (MessageBlock& block : from.blocks)
        d->blocks.push_back(std::exchange(block, MessageBlock()));
    from.blocks.clear();
    from.hasUnindexed = false;
    from.nextBlockMessages = firstBlockMessages;
}

namespace {

// Sets the message's chat, remembering in otherChats a conversation it was linked to before.
void setChat(QHash<qint64, QList<_MsgChat*>>& otherChats, _MsgMessage* message, _MsgChat* chat)
{
    if (message->chat && message->chat != chat) {
        QList<_MsgChat*>& others = otherChats[message->rowid];
        if (!others.contains(message->chat))
            others.append(message->chat);
    }
    message->chat = chat;
}

} // namespace

// Links many messages: each conversation's list is appended to in any order and put in order once at the end.
class _MsgCollection::LinkBatch
{
public:
    explicit LinkBatch(QHash<qint64, QList<_MsgChat*>>& otherChats)
        : m_otherChats(otherChats)
    {
    }

    void link(_MsgMessage* message, _MsgChat* chat)
    {
        setChat(m_otherChats, message, chat);
        chat->messages.appendUnordered(message);
        if (chat != m_previous) {
            m_touched.insert(chat);
            m_previous = chat;
        }
    }

    void finish()
    {
        for (_MsgChat* chat : std::as_const(m_touched))
            chat->messages.restoreOrder();
    }

private:
    QHash<qint64, QList<_MsgChat*>>& m_otherChats;
    QSet<_MsgChat*> m_touched;
    _MsgChat* m_previous = nullptr;
};

void _MsgCollection::indexUnindexedMessages()
{
    if (!d->hasUnindexed)
        return;
    d->hasUnindexed = false;
    std::vector<MessageBlock>& blocks = d->blocks;
    qsizetype count = 0;
    for (size_t b = d->unindexedBlock; b < blocks.size(); ++b)
        count += blocks[b].used - (b == d->unindexedBlock ? d->unindexedFrom : 0);
    d->messages.reserve(d->messages.size() + count);
    LinkBatch links(d->otherChats);
    for (size_t b = d->unindexedBlock; b < blocks.size(); ++b) {
        const MessageBlock& block = blocks[b];
        for (qsizetype i = b == d->unindexedBlock ? d->unindexedFrom : 0; i < block.used; ++i) {
            _MsgMessage* record = block.records + i;
            _MsgChat* chat = std::exchange(record->chat, nullptr);
            const qsizetype before = d->messages.size();
            _MsgMessage*& slot = d->messages[record->rowid];
            _MsgMessage* held = record;
            if (d->messages.size() != before) {
                slot = record;
            } else {
                // The emptied record stays in its block until the collection is cleared.
                *record = _MsgMessage();
                held = slot;
            }
            if (chat)
                links.link(held, chat);
        }
    }
    links.finish();
}

void _MsgCollection::linkMessageToChat(_MsgMessage* message, _MsgChat* chat)
{
    setChat(d->otherChats, message, chat);
    chat->messages.insert(message);
}

void _MsgCollection::linkMessagesToChats(const std::vector<std::pair<_MsgMessage*, _MsgChat*>>& links)
{
    LinkBatch batch(d->otherChats);
    for (const auto& [message, chat] : links)
        batch.link(message, chat);
    batch.finish();
}

void _MsgCollection::reserve(qsizetype chats, qsizetype handles, qsizetype messages)
{
    d->chats.reserve(chats);
    d->handles.reserve(handles);
    d->messages.reserve(messages);
    // So that a whole store is read into one block.
    expectMessages(messages - d->messages.size());
}

void _MsgCollection::expectMessages(qsizetype count)
{
    // The next block takes all the messages still to come, up to the limit of a grown block otherwise.
    qsizetype room = 0;
    if (!d->blocks.empty())
        room = d->blocks.back().capacity - d->blocks.back().used;
    if (count > room)
        d->nextBlockMessages = std::max(d->nextBlockMessages, count - room);
}

void _MsgCollection::removeMessage(qint64 rowid)
{
    _MsgMessage* message = d->messages.take(rowid);
    if (!message)
        return;
    if (message->chat)
        message->chat->messages.remove(message);
    const QList<_MsgChat*> others = d->otherChats.take(rowid);
    for (_MsgChat* chat : others)
        chat->messages.remove(message);
    // The record's block is released with the collection; what the record holds goes now.
    *message = _MsgMessage();
}

void _MsgCollection::removeChat(qint64 rowid)
{
    _MsgChat* chat = d->chats.take(rowid);
    if (!chat)
        return;
    // Messages stay in the collection; none may keep pointing at the destroyed conversation.
    for (_MsgMessage* message : std::as_const(chat->messages)) {
        if (message->chat == chat)
            message->chat = nullptr;
    }
    for (auto it = d->otherChats.begin(); it != d->otherChats.end();) {
        it.value().removeAll(chat);
        if (it.value().isEmpty())
            it = d->otherChats.erase(it);
        else
            ++it;
    }
    delete chat;
}

void _MsgCollection::clear()
{
    d->clear();
}

const QString& _MsgCollection::numberCountry() const
{
    return d->numberCountry;
}

void _MsgCollection::setNumberCountry(const QString& code)
{
    d->numberCountry = code;
}
