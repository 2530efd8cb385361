// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/xml/CharacterReferenceFilter.h"

#include <QBuffer>

#include <cstring>

namespace {

constexpr qint64 chunkSize = 256 * 1024;
// Longer than any numeric reference worth reading ("&#x0010FFFF;"): a longer one is left to the reader.
constexpr qsizetype maxReferenceLength = 16;

enum class Scan { Reference, NotReference, Incomplete };

// Reads a numeric character reference at `at` ("&#" already checked): its code point and length.
Scan scanReference(const char* text, qsizetype size, qsizetype at, char32_t& codePoint, qsizetype& length)
{
    qsizetype i = at + 2;
    bool hex = false;
    if (i < size && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    }
    const qsizetype digitsStart = i;
    quint64 value = 0;
    for (; i < size; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        if (i - at >= maxReferenceLength)
            return Scan::NotReference;
        value = value * (hex ? 16 : 10) + quint64(digit);
    }
    if (i == size)
        return i - at < maxReferenceLength ? Scan::Incomplete : Scan::NotReference;
    if (text[i] != ';' || i == digitsStart)
        return Scan::NotReference;
    codePoint = value > 0x10FFFF ? char32_t(0x110000) : char32_t(value);
    length = i + 1 - at;
    return Scan::Reference;
}

bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Whether XML 1.0 allows the character at all (surrogates are handled before).
bool isXmlChar(char32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void appendHexReference(QByteArray& out, char32_t codePoint)
{
    out.append("&#x");
    out.append(QByteArray::number(quint32(codePoint), 16).toUpper());
    out.append(';');
}

} // namespace

CharacterReferenceFilter::CharacterReferenceFilter(QIODevice* source)
    : m_source(source)
{
    open(QIODevice::ReadOnly);
}

bool CharacterReferenceFilter::atEnd() const
{
    return m_stopped || m_oversized || (m_outputPos >= m_output.size() && m_sourceDone && m_pending.isEmpty());
}

qint64 CharacterReferenceFilter::bytesAvailable() const
{
    return m_output.size() - m_outputPos + QIODevice::bytesAvailable();
}

QByteArray CharacterReferenceFilter::filtered(const QByteArray& xml)
{
    QByteArray copy = xml;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    CharacterReferenceFilter filter(&buffer);
    return filter.readAll();
}

qint64 CharacterReferenceFilter::readData(char* data, qint64 maxSize)
{
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        m_stopped = true;
    if (m_stopped || m_oversized)
        return 0;
    while (m_outputPos >= m_output.size()) {
        if (!fill())
            return 0;
    }
    const qint64 count = std::min<qint64>(maxSize, m_output.size() - m_outputPos);
    std::memcpy(data, m_output.constData() + m_outputPos, size_t(count));
    m_outputPos += count;
    return count;
}

qint64 CharacterReferenceFilter::writeData(const char*, qint64)
{
    return -1;
}

bool CharacterReferenceFilter::fill()
{
    m_output.clear();
    m_outputPos = 0;
    if (m_sourceDone) {
        if (m_pending.isEmpty())
            return false;
        filterPending(true);
        return true;
    }
    const qsizetype kept = m_pending.size();
    m_pending.resize(kept + chunkSize);
    const qint64 got = m_source->read(m_pending.data() + kept, chunkSize);
    m_pending.resize(kept + std::max<qint64>(got, 0));
    if (got <= 0) {
        m_sourceDone = true;
    } else {
        m_sourceBytesRead += got;
        const qsizetype markup = QByteArrayView(m_pending).sliced(kept).lastIndexOf('<');
        m_bytesWithoutMarkup = markup < 0 ? m_bytesWithoutMarkup + got : got - markup - 1;
        if (m_maxBytesWithoutMarkup > 0 && m_bytesWithoutMarkup > m_maxBytesWithoutMarkup) {
            // What the reader has not taken yet is dropped, so that nothing grows any further.
            m_oversized = true;
            m_pending = QByteArray();
            m_output = QByteArray();
            return false;
        }
    }
    filterPending(m_sourceDone);
    return true;
}

void CharacterReferenceFilter::filterPending(bool final)
{
    const char* text = m_pending.constData();
    const qsizetype size = m_pending.size();
    m_output.reserve(size + 64);
    qsizetype copied = 0;
    qsizetype at = 0;
    qsizetype keepFrom = size; // start of a reference cut by the end of the chunk
    while (at < size) {
        const void* amp = std::memchr(text + at, '&', size_t(size - at));
        if (!amp)
            break;
        at = static_cast<const char*>(amp) - text;
        if (at + 1 >= size) {
            if (!final) {
                keepFrom = at;
                break;
            }
            ++at;
            continue;
        }
        if (text[at + 1] != '#') {
            ++at;
            continue;
        }
        char32_t first = 0;
        qsizetype firstLength = 0;
        const Scan scan = scanReference(text, size, at, first, firstLength);
        if (scan == Scan::Incomplete && !final) {
            keepFrom = at;
            break;
        }
        if (scan != Scan::Reference) {
            ++at;
            continue;
        }

        qsizetype length = firstLength;
        char32_t replacement = 0; // 0: keep the reference as written
        if (isHighSurrogate(first)) {
            char32_t second = 0;
            qsizetype secondLength = 0;
            const qsizetype next = at + firstLength;
            Scan pair = Scan::NotReference;
            if (next + 1 < size && text[next] == '&' && text[next + 1] == '#')
                pair = scanReference(text, size, next, second, secondLength);
            else if (next + 1 >= size && !final && (next == size || text[next] == '&'))
                pair = Scan::Incomplete;
            if (pair == Scan::Incomplete && !final) {
                keepFrom = at;
                break;
            }
            if (pair == Scan::Reference && isLowSurrogate(second)) {
                replacement = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
                length += secondLength;
            } else {
                replacement = 0xFFFD;
            }
        } else if (isLowSurrogate(first) || !isXmlChar(first)) {
            replacement = 0xFFFD;
        }

        if (replacement != 0) {
            m_output.append(text + copied, at - copied);
            appendHexReference(m_output, replacement);
            copied = at + length;
        }
        at += length;
    }
    m_output.append(text + copied, keepFrom - copied);
    m_pending.remove(0, keepFrom);
}
