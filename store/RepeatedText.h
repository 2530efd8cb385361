// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Sqlite3DB.h"

#include <QString>

#include <string>

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
