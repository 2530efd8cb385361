// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/WrittenKeys.h"

#include <limits>

namespace ios6writing {

namespace {

constexpr size_t firstCapacity = 1024;

// The 32 bits kept of a 64-bit fingerprint; never 0, which marks an empty guid slot.
quint32 fold(size_t fingerprint)
{
    const auto folded = quint32(quint64(fingerprint) ^ (quint64(fingerprint) >> 32));
    return folded ? folded : 1;
}

// The first slot to probe in a table of `capacity` slots (a power of two).
size_t home(quint32 folded, size_t capacity)
{
    return size_t(folded * 0x9E3779B1u) & (capacity - 1);
}

// Whether one more entry fits, doubling the table (with `place` putting each entry back) if need be.
template <typename Slot, typename IsEmpty, typename Place>
bool makeRoom(std::vector<Slot>& table, qsizetype count, IsEmpty isEmpty, Place place)
{
    if (count >= WrittenKeys::countLimit)
        return false;
    if (!table.empty() && size_t(count + 1) * 4 <= table.size() * 3)
        return true;
    std::vector<Slot> old(table.empty() ? firstCapacity : table.size() * 2, Slot {});
    old.swap(table);
    for (const Slot& slot : old) {
        if (!isEmpty(slot))
            place(table, slot);
    }
    return true;
}

template <typename Slot, typename IsEmpty> Slot& freeSlot(std::vector<Slot>& table, quint32 folded, IsEmpty isEmpty)
{
    size_t at = home(folded, table.size());
    while (!isEmpty(table[at]))
        at = (at + 1) & (table.size() - 1);
    return table[at];
}

const auto emptyGuid = [](quint32 slot) { return slot == 0; };

} // namespace

bool WrittenKeys::addGuid(size_t fingerprint)
{
    const auto place = [](std::vector<quint32>& table, quint32 folded) { freeSlot(table, folded, emptyGuid) = folded; };
    if (!makeRoom(m_guids, m_guidCount, emptyGuid, place))
        return false;
    place(m_guids, fold(fingerprint));
    ++m_guidCount;
    return true;
}

bool WrittenKeys::addLogicHash(size_t fingerprint, qint64 rowId)
{
    if (rowId <= 0 || rowId > std::numeric_limits<quint32>::max())
        return false;
    const auto empty = [](const Row& slot) { return slot.rowId == 0; };
    const auto place = [&](std::vector<Row>& table, const Row& row) { freeSlot(table, row.fingerprint, empty) = row; };
    if (!makeRoom(m_logicHashes, m_logicHashCount, empty, place))
        return false;
    place(m_logicHashes, Row { fold(fingerprint), quint32(rowId) });
    ++m_logicHashCount;
    return true;
}

bool WrittenKeys::hasGuid(size_t fingerprint) const
{
    if (m_guids.empty())
        return false;
    const quint32 folded = fold(fingerprint);
    for (size_t at = home(folded, m_guids.size()); m_guids[at] != 0; at = (at + 1) & (m_guids.size() - 1)) {
        if (m_guids[at] == folded)
            return true;
    }
    return false;
}

std::vector<qint64> WrittenKeys::logicHashRows(size_t fingerprint) const
{
    std::vector<qint64> rows;
    if (m_logicHashes.empty())
        return rows;
    const quint32 folded = fold(fingerprint);
    const size_t mask = m_logicHashes.size() - 1;
    for (size_t at = home(folded, m_logicHashes.size()); m_logicHashes[at].rowId != 0; at = (at + 1) & mask) {
        if (m_logicHashes[at].fingerprint == folded)
            rows.push_back(m_logicHashes[at].rowId);
    }
    return rows;
}

void WrittenKeys::clear()
{
    *this = WrittenKeys();
}

} // namespace ios6writing
