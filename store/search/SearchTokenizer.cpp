// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/SearchTokenizer.h"

#include <QChar>
#include <QList>

#include <cstring>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace searchtext {
namespace {

enum class CharKind : quint8 { Separator, Ignorable, Word, Single };

struct CharFold
{
    CharKind kind = CharKind::Separator;
    std::string folded; // UTF-8 of a Word or Single character
};

bool inRange(char32_t c, char32_t first, char32_t last)
{
    return c >= first && c <= last;
}

// Scripts without spaces between words, and Hangul, whose words carry their particles: each
// character is a token, so that any part of a sentence is found as a run of them.
bool isOneCharacterScript(char32_t c)
{
    return inRange(c, 0x0E00, 0x0EFF) || inRange(c, 0x1000, 0x109F) || inRange(c, 0x1100, 0x11FF)
        || inRange(c, 0x1780, 0x17FF) || inRange(c, 0x3005, 0x3007) || inRange(c, 0x3021, 0x3029)
        || inRange(c, 0x3040, 0x30FF) || inRange(c, 0x3131, 0x318F) || inRange(c, 0x31F0, 0x31FF)
        || inRange(c, 0x3400, 0x4DBF) || inRange(c, 0x4E00, 0x9FFF) || inRange(c, 0xA960, 0xA97F)
        || inRange(c, 0xAC00, 0xD7FF) || inRange(c, 0xF900, 0xFAFF) || inRange(c, 0xFF66, 0xFFDC)
        || inRange(c, 0x20000, 0x3FFFF);
}

// Characters that change how text looks or joins, not what it says: soft hyphen, tatweel, joiners,
// direction marks, variation selectors, skin-tone modifiers, tag characters.
bool isIgnorable(char32_t c)
{
    return c == 0x00AD || c == 0x034F || c == 0x0640 || inRange(c, 0x180B, 0x180F) || inRange(c, 0x200B, 0x200F)
        || inRange(c, 0x202A, 0x202E) || inRange(c, 0x2060, 0x206F) || inRange(c, 0xFE00, 0xFE0F) || c == 0xFEFF
        || inRange(c, 0x1F3FB, 0x1F3FF) || inRange(c, 0xE0000, 0xE0FFF);
}

// Accents and vowel points: Latin, Greek and Cyrillic combining marks, Hebrew points, Arabic harakat.
bool isDiacritic(char32_t c)
{
    return inRange(c, 0x0300, 0x036F) || inRange(c, 0x0483, 0x0489) || inRange(c, 0x0591, 0x05BD) || c == 0x05BF
        || inRange(c, 0x05C1, 0x05C2) || inRange(c, 0x05C4, 0x05C5) || c == 0x05C7 || inRange(c, 0x0610, 0x061A)
        || inRange(c, 0x064B, 0x065F) || c == 0x0670 || inRange(c, 0x06D6, 0x06DC) || inRange(c, 0x06DF, 0x06E4)
        || inRange(c, 0x06E7, 0x06E8) || inRange(c, 0x06EA, 0x06ED) || inRange(c, 0x1AB0, 0x1AFF)
        || inRange(c, 0x1DC0, 0x1DFF) || inRange(c, 0x20D0, 0x20FF) || inRange(c, 0xFE20, 0xFE2F);
}

bool isWordCategory(QChar::Category category)
{
    return (category >= QChar::Mark_NonSpacing && category <= QChar::Number_Other)
        || (category >= QChar::Letter_Uppercase && category <= QChar::Letter_Other);
}

// Letters without a decomposition that people write without their stroke or as two letters, and
// the Arabic and Persian letters typed for one another.
QString plainLetters(char32_t c)
{
    switch (c) {
    case 0x00DF:
        return QStringLiteral("ss");
    case 0x00E6:
        return QStringLiteral("ae");
    case 0x0153:
        return QStringLiteral("oe");
    case 0x00FE:
        return QStringLiteral("th");
    case 0x00F8:
        return QStringLiteral("o");
    case 0x0111:
    case 0x00F0:
        return QStringLiteral("d");
    case 0x0142:
        return QStringLiteral("l");
    case 0x0131:
        return QStringLiteral("i");
    case 0x0127:
        return QStringLiteral("h");
    case 0x0649:
    case 0x06CC:
        return QString(QChar(0x064A));
    case 0x0629:
        return QString(QChar(0x0647));
    case 0x06A9:
        return QString(QChar(0x0643));
    default:
        return QString::fromUcs4(&c, 1);
    }
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

CharFold classify(char32_t c)
{
    CharFold result;
    if (isIgnorable(c) || isDiacritic(c)) {
        result.kind = CharKind::Ignorable;
        return result;
    }
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Symbol_Other || category == QChar::Other_PrivateUse) {
        // The object replacement character stands for an attachment, not for anything written.
        if (c == 0xFFFC || c == 0xFFFD)
            return result;
        result.kind = CharKind::Single;
        appendUtf8(result.folded, c);
        return result;
    }
    if (!isWordCategory(category))
        return result;
    if (category == QChar::Number_DecimalDigit && QChar::digitValue(c) >= 0) {
        // Digits of every script are the same digits: a number typed on an Arabic keyboard finds
        // the one stored in ASCII.
        result.kind = CharKind::Word;
        result.folded = char('0' + QChar::digitValue(c));
        return result;
    }
    if (isOneCharacterScript(c)) {
        result.kind = CharKind::Single;
        // Half-width katakana and Hangul are the full-width letters.
        const QString full = inRange(c, 0xFF66, 0xFFDC)
            ? QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KC)
            : QString::fromUcs4(&c, 1);
        for (const char32_t part : full.toUcs4())
            appendUtf8(result.folded, part);
        return result;
    }
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
    for (const char32_t part : decomposed.toUcs4()) {
        if (isIgnorable(part) || isDiacritic(part))
            continue;
        for (const char32_t plain : plainLetters(QChar::toCaseFolded(part)).toUcs4()) {
            if (isWordCategory(QChar::category(plain)))
                appendUtf8(result.folded, plain);
        }
    }
    result.kind = result.folded.empty() ? CharKind::Ignorable : CharKind::Word;
    return result;
}

// Whether a character above the tables is a one-character token of itself, as classify finds, told
// without building strings: ideographs, kana, Hangul and the other scripts without spaces, emoji and
// the conversations' private-use tokens, which make up nearly all such characters in messages.
bool isSelfToken(char32_t c)
{
    if (isIgnorable(c) || isDiacritic(c) || c == 0xFFFC || c == 0xFFFD || inRange(c, 0xFF66, 0xFFDC))
        return false;
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Symbol_Other || category == QChar::Other_PrivateUse)
        return true;
    return category != QChar::Number_DecimalDigit && isWordCategory(category) && isOneCharacterScript(c);
}

// Folds of the characters most text is written in, worked out once: everything below the CJK
// blocks, and the full-width and half-width forms.
struct FoldTables
{
    static constexpr char32_t lowEnd = 0x3000;
    static constexpr char32_t formsBegin = 0xFF00;
    static constexpr char32_t formsEnd = 0xFFF0;

    FoldTables()
    {
        low.reserve(lowEnd);
        for (char32_t c = 0; c < lowEnd; ++c)
            low.push_back(classify(c));
        for (char32_t c = formsBegin; c < formsEnd; ++c)
            forms.push_back(classify(c));
    }

    std::vector<CharFold> low;
    std::vector<CharFold> forms;
};

const FoldTables& foldTables()
{
    static const FoldTables tables;
    return tables;
}

// The code point at text[i] and its length in bytes; length 0 for a malformed sequence.
char32_t decodeUtf8(const unsigned char* text, int size, int i, int& length)
{
    const unsigned char lead = text[i];
    int count = 0;
    char32_t c = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        c = lead & 0x07;
    } else if (lead >= 0xE0) {
        count = lead <= 0xEF ? 3 : 0;
        c = lead & 0x0F;
    } else if (lead >= 0xC2) {
        count = 2;
        c = lead & 0x1F;
    }
    length = 0;
    if (count == 0 || i + count > size)
        return 0;
    for (int k = 1; k < count; ++k) {
        if ((text[i + k] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (text[i + k] & 0x3F);
    }
    if ((count == 3 && (c < 0x800 || inRange(c, 0xD800, 0xDFFF))) || (count == 4 && (c < 0x10000 || c > 0x10FFFF)))
        return 0;
    length = count;
    return c;
}

int xCreate(void*, const char**, int, Fts5Tokenizer** tokenizer)
{
    // Stateless: any non-null handle will do.
    static int handle;
    *tokenizer = reinterpret_cast<Fts5Tokenizer*>(&handle);
    return SQLITE_OK;
}

void xDelete(Fts5Tokenizer*) { }

thread_local const PreparedText* t_prepared = nullptr;

int xTokenize(Fts5Tokenizer*, void* context, int, const char* text, int size,
    int (*xToken)(void*, int, const char*, int, int, int))
{
    if (const PreparedText* prepared = t_prepared) {
        // The text is compared in full, so that what FTS5 receives never depends on the hint.
        if (size > 0 && prepared->size == size && std::memcmp(prepared->text, text, size_t(size)) == 0) {
            t_prepared = nullptr;
            for (int i = 0; i < prepared->count; ++i) {
                const PreparedToken& token = prepared->tokens[i];
                if (const int stop
                    = xToken(context, 0, prepared->bytes + token.offset, token.size, token.start, token.end))
                    return stop;
            }
            return SQLITE_OK;
        }
    }
    return tokenize(text, size, [&](const char* token, int tokenSize, bool, int start, int end) {
        return xToken(context, 0, token, tokenSize, start, end);
    });
}

} // namespace

int tokenize(const char* utf8, int size, void* context, TokenCallback callback)
{
    const FoldTables& tables = foldTables();
    const auto* text = reinterpret_cast<const unsigned char*>(utf8);
    std::string word;
    int wordStart = -1;
    int wordEnd = 0;
    const auto flush = [&]() {
        if (wordStart < 0)
            return 0;
        const int result = callback(context, word.data(), int(word.size()), false, wordStart, wordEnd);
        word.clear();
        wordStart = -1;
        return result;
    };

    for (int i = 0; i < size;) {
        const unsigned char byte = text[i];
        if (byte < 0x80) {
            if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z')) {
                if (wordStart < 0)
                    wordStart = i;
                word += char(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
                wordEnd = ++i;
            } else {
                if (const int stop = flush())
                    return stop;
                ++i;
            }
            continue;
        }

        int length = 0;
        const char32_t c = decodeUtf8(text, size, i, length);
        CharFold slow;
        const CharFold* fold = &slow;
        if (length == 0) {
            length = 1; // a stray byte separates like a space
        } else if (c < FoldTables::lowEnd) {
            fold = &tables.low[c];
        } else if (c >= FoldTables::formsBegin && c < FoldTables::formsEnd) {
            fold = &tables.forms[c - FoldTables::formsBegin];
        } else if (isSelfToken(c)) {
            if (const int stop = flush())
                return stop;
            if (const int stop = callback(context, utf8 + i, length, true, i, i + length))
                return stop;
            i += length;
            continue;
        } else {
            slow = classify(c);
        }

        switch (fold->kind) {
        case CharKind::Word:
            if (wordStart < 0)
                wordStart = i;
            word += fold->folded;
            wordEnd = i + length;
            break;
        case CharKind::Single:
            if (const int stop = flush())
                return stop;
            if (const int stop = callback(context, fold->folded.data(), int(fold->folded.size()), true, i, i + length))
                return stop;
            break;
        case CharKind::Ignorable:
            if (wordStart >= 0)
                wordEnd = i + length;
            break;
        case CharKind::Separator:
            if (const int stop = flush())
                return stop;
            break;
        }
        i += length;
    }
    return flush();
}

void prepareNextText(const PreparedText* prepared)
{
    t_prepared = prepared;
}

std::string conversationToken(qint64 chatRowId)
{
    constexpr char32_t first = 0xF0000;
    constexpr qint64 digits = 0xFFFE; // U+F0000 to U+FFFFD
    std::string token;
    quint64 rest = quint64(chatRowId);
    do {
        std::string digit;
        appendUtf8(digit, first + char32_t(rest % digits));
        token.insert(0, digit);
        rest /= digits;
    } while (rest > 0);
    return token;
}

void registerTokenizer(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    if (!api)
        throw std::runtime_error("SQLite offers no full-text search (FTS5).");
    static fts5_tokenizer tokenizer = { &xCreate, &xDelete, &xTokenize };
    if (api->xCreateTokenizer(api, tokenizerName, nullptr, &tokenizer, nullptr) != SQLITE_OK)
        throw std::runtime_error("can not register the search tokenizer.");
}

} // namespace searchtext
