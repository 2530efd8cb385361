// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace ios6writing {

// The keys of the messages a writer run wrote, by 32-bit fingerprint: the guids alone, the
// logic_hashes with the row id written. Open addressing in flat arrays, 4 and 8 bytes a slot, so
// that a run of a million messages keeps them in about 24 MiB. A fingerprint found only names a
// candidate, which the caller confirms in the store; two keys may share one.
class WrittenKeys
{
public:
    // The most messages remembered: the tables stop at 2^21 slots, three quarters full.
    static constexpr qsizetype capacityLimit = qsizetype(1) << 21;
    static constexpr qsizetype countLimit = capacityLimit / 4 * 3;

    // False when the table is full (countLimit), or the row id does not fit in 32 bits: the caller
    // then looks keys up in the store.
    bool addGuid(size_t fingerprint);
    bool addLogicHash(size_t fingerprint, qint64 rowId);

    bool hasGuid(size_t fingerprint) const;
    // The row ids written with a logic_hash of this fingerprint, in no particular order.
    std::vector<qint64> logicHashRows(size_t fingerprint) const;

    void clear();

private:
    struct Row
    {
        quint32 fingerprint;
        quint32 rowId; // 0 for an empty slot; a store's row ids begin at 1
    };

    std::vector<quint32> m_guids; // 0 for an empty slot
    qsizetype m_guidCount = 0;
    std::vector<Row> m_logicHashes;
    qsizetype m_logicHashCount = 0;
};

} // namespace ios6writing
