// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Sqlite3DB.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <cstring>
#include <string>
#include <vector>

// Reads a text column whose values repeat from row to row (service, country, account) and hands
// out the previous row's string while the bytes stay the same, so equal values share one buffer.
class RepeatedText
{
public:
    RepeatedText(const Sqlite3Cursor& cursor, const QString& name)
        : m_index(cursor.columnIndex(name))
    {
    }

    QString read(const Sqlite3Cursor& cursor)
    {
        int size = 0;
        const char* data = cursor.textData(m_index, &size);
        if (!data || size == 0)
            return QString();
        if (m_lastBytes.size() != static_cast<size_t>(size) || m_lastBytes.compare(0, size, data, size) != 0) {
            m_lastBytes.assign(data, size);
            m_lastValue = QString::fromUtf8(data, size);
        }
        return m_lastValue;
    }

private:
    int m_index;
    std::string m_lastBytes;
    QString m_lastValue;
};

// Reads a text column whose short values recur across a store, though rarely in adjacent rows (replies
// such as "Ok" or "Thanks!"). A small table of recent short values, indexed by a hash of their bytes,
// hands out the string already made, so that equal values share one buffer instead of taking one each.
class RecurringShortText
{
public:
    explicit RecurringShortText(int index)
        : m_index(index)
        , m_slots(slotCount)
    {
    }

    QString read(const Sqlite3Cursor& cursor)
    {
        int size = 0;
        const char* data = cursor.textData(m_index, &size);
        if (size == 0 || size > maxBytes)
            return cursor.getText(m_index);
        Slot& slot = m_slots[qHash(QByteArrayView(data, size)) & (slotCount - 1)];
        if (slot.size != size || std::memcmp(slot.bytes, data, size_t(size)) != 0) {
            // The value first: a failed decoding must not leave the slot's bytes naming the old value.
            slot.value = cursor.getText(m_index);
            slot.size = size;
            std::memcpy(slot.bytes, data, size_t(size));
        }
        return slot.value;
    }

private:
    static constexpr int maxBytes = 48;
    static constexpr size_t slotCount = 1024;

    struct Slot
    {
        int size = -1;
        char bytes[maxBytes];
        QString value;
    };

    int m_index;
    std::vector<Slot> m_slots;
};
