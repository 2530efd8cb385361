// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <memory>

// Bytes gathered for a file. Appending a short piece is a copy and a test, without the calls and
// checks of QByteArray's append or resize, which cost more than the copy for the pieces of a page.
class ByteBuffer
{
public:
    const char* data() const { return m_data.get(); }
    qsizetype size() const { return m_size; }
    void clear() { m_size = 0; }
    void reserve(qsizetype capacity)
    {
        if (capacity > m_capacity)
            reallocate(capacity);
    }

    void append(const char* bytes, qsizetype size)
    {
        char* const to = room(size);
        // Most pieces of a line are a few bytes long: copied by two overlapping moves of a fixed
        // size each instead of a call to memcpy, whose dispatch costs more than such a copy.
        if (size >= 8 && size <= 16) {
            std::memcpy(to, bytes, 8);
            std::memcpy(to + size - 8, bytes + size - 8, 8);
        } else if (size >= 4 && size < 8) {
            std::memcpy(to, bytes, 4);
            std::memcpy(to + size - 4, bytes + size - 4, 4);
        } else if (size < 4) {
            for (qsizetype i = 0; i < size; ++i)
                to[i] = bytes[i];
        } else {
            std::memcpy(to, bytes, size_t(size));
        }
        m_size += size;
    }
    void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }

    // Room for at least `size` more bytes after the end, for a writer that puts its bytes there
    // and then calls setEnd() with the end of what it wrote.
    char* room(qsizetype size)
    {
        if (m_capacity - m_size < size)
            reallocate(std::max(m_capacity * 2, m_size + size));
        return m_data.get() + m_size;
    }
    void setEnd(const char* end) { m_size = end - m_data.get(); }

private:
    void reallocate(qsizetype capacity)
    {
        std::unique_ptr<char[]> data(new char[size_t(capacity)]);
        if (m_size > 0)
            std::memcpy(data.get(), m_data.get(), size_t(m_size));
        m_data = std::move(data);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};
