// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageHtml.h"

#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool needsEscape(QChar c)
{
    switch (c.unicode()) {
    case '&':
    case '<':
    case '>':
    case '\r':
    case '\n':
        return true;
    default:
        return false;
    }
}

} // namespace

QString escapeMessageHtml(const QString& text)
{
    // One pass instead of three replacements and a regular expression, and no copy at all for the
    // common text without markup or line breaks: the export runs this on every message.
    const QChar* const begin = text.constData();
    const QChar* const end = begin + text.size();
    const QChar* plain = begin;
    while (plain != end && !needsEscape(*plain))
        ++plain;
    if (plain == end)
        return text;

    QString out;
    out.reserve(text.size() + 32);
    out.append(begin, plain - begin);
    for (const QChar* it = plain; it != end; ++it) {
        const QChar* run = it;
        while (it != end && !needsEscape(*it))
            ++it;
        out.append(run, it - run);
        if (it == end)
            break;
        switch (it->unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '\r':
            // Only a carriage return directly before a line feed belongs to the line break.
            if (it + 1 != end && it[1] == QLatin1Char('\n')) {
                out += QLatin1String("<br/>");
                ++it;
            } else {
                out += *it;
            }
            break;
        default: // '\n'
            out += QLatin1String("<br/>");
        }
    }
    return out;
}

namespace {

enum class Escape { None, MessageHtml, Html };

// The ASCII units that the escape writes as something else than themselves.
template <Escape escape> constexpr std::array<bool, 0x80> specialUnits()
{
    std::array<bool, 0x80> special {};
    if (escape != Escape::None)
        special['&'] = special['<'] = special['>'] = true;
    if (escape == Escape::Html)
        special['"'] = true;
    if (escape == Escape::MessageHtml)
        special['\r'] = special['\n'] = true;
    return special;
}

#ifdef __SSE2__
// Copies blocks of eight units that are all ASCII written as themselves, eight bytes at a time,
// and stops before the first block holding any other unit.
template <Escape escape> void copyPlainBlocks(char*& to, const char16_t*& it, const char16_t* const end)
{
    const __m128i highBits = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    while (end - it >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(it));
        __m128i stop = _mm_cmpeq_epi16(_mm_and_si128(units, highBits), zero);
        stop = _mm_xor_si128(stop, _mm_set1_epi16(-1)); // set where a unit is not ASCII
        if (escape != Escape::None) {
            const auto is = [&units](char c) { return _mm_cmpeq_epi16(units, _mm_set1_epi16(short(c))); };
            stop = _mm_or_si128(stop, _mm_or_si128(is('&'), _mm_or_si128(is('<'), is('>'))));
            if (escape == Escape::Html)
                stop = _mm_or_si128(stop, is('"'));
            if (escape == Escape::MessageHtml)
                stop = _mm_or_si128(stop, _mm_or_si128(is('\r'), is('\n')));
        }
        if (_mm_movemask_epi8(stop) != 0)
            return;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(units, zero));
        to += 8;
        it += 8;
    }
}
#endif

// Writes the units from `it` on as UTF-8 at `to`, which has room for utf8Room() bytes, and
// returns the end of what it wrote. Text without markup or line breaks is nearly all ASCII, which
// is copied eight units at a time where the processor allows, otherwise a unit at a time without
// further tests.
template <Escape escape> char* writeText(char* to, const char16_t* it, const char16_t* const end)
{
    const auto put = [&to](const char* bytes, int size) {
        std::memcpy(to, bytes, size_t(size));
        to += size;
    };
    static constexpr std::array<bool, 0x80> special = specialUnits<escape>();
    while (it != end) {
#ifdef __SSE2__
        // Not after a unit outside ASCII: text in another script would fail every block.
        if (*it < 0x80) {
            copyPlainBlocks<escape>(to, it, end);
            if (it == end)
                return to;
        }
#endif
        // Runs of ASCII that stays as it is, a table look-up each instead of the tests below.
        while (*it < 0x80 && !special[*it]) {
            *to++ = char(*it++);
            if (it == end)
                return to;
        }
        const char16_t unit = *it++;
        if (unit < 0x80) {
            if (escape != Escape::None) {
                switch (unit) {
                case '&':
                    put("&amp;", 5);
                    continue;
                case '<':
                    put("&lt;", 4);
                    continue;
                case '>':
                    put("&gt;", 4);
                    continue;
                case '"':
                    if (escape == Escape::Html) {
                        put("&quot;", 6);
                        continue;
                    }
                    break;
                case '\r':
                case '\n':
                    // In a message, "\r\n" and a lone "\n" are one line break each; a lone "\r" stays.
                    if (escape == Escape::MessageHtml && (unit == '\n' || (it != end && *it == '\n'))) {
                        if (unit == '\r')
                            ++it;
                        put("<br/>", 5);
                        continue;
                    }
                    break;
                default:
                    break;
                }
            }
            *to++ = char(unit);
        } else if (unit < 0x800) {
            *to++ = char(0xC0 | (unit >> 6));
            *to++ = char(0x80 | (unit & 0x3F));
        } else if (!QChar::isSurrogate(unit)) {
            *to++ = char(0xE0 | (unit >> 12));
            *to++ = char(0x80 | ((unit >> 6) & 0x3F));
            *to++ = char(0x80 | (unit & 0x3F));
        } else if (QChar::isHighSurrogate(unit) && it != end && QChar::isLowSurrogate(*it)) {
            const char32_t codePoint = QChar::surrogateToUcs4(unit, *it++);
            *to++ = char(0xF0 | (codePoint >> 18));
            *to++ = char(0x80 | ((codePoint >> 12) & 0x3F));
            *to++ = char(0x80 | ((codePoint >> 6) & 0x3F));
            *to++ = char(0x80 | (codePoint & 0x3F));
        } else {
            put("\xEF\xBF\xBD", 3);
        }
    }
    return to;
}

template <Escape escape> char* writeText(char* to, QStringView text)
{
    return writeText<escape>(to, text.utf16(), text.utf16() + text.size());
}

template <Escape escape> void appendText(QByteArray& out, QStringView text)
{
    const qsizetype used = out.size();
    out.resize(used + utf8Room(text));
    char* const end = writeText<escape>(out.data() + used, text);
    out.resize(end - out.constData());
}

} // namespace

void appendUtf8(QByteArray& out, QStringView text)
{
    appendText<Escape::None>(out, text);
}

void appendMessageHtmlUtf8(QByteArray& out, QStringView text)
{
    appendText<Escape::MessageHtml>(out, text);
}

void appendHtmlEscapedUtf8(QByteArray& out, QStringView text)
{
    appendText<Escape::Html>(out, text);
}

char* writeUtf8(char* to, QStringView text)
{
    return writeText<Escape::None>(to, text);
}

char* writeMessageHtmlUtf8(char* to, QStringView text)
{
    return writeText<Escape::MessageHtml>(to, text);
}

char* writeHtmlEscapedUtf8(char* to, QStringView text)
{
    return writeText<Escape::Html>(to, text);
}
