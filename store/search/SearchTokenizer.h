// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>
#include <utility>

struct sqlite3;

// The words a message is found by. A word is a run of letters, digits and the marks that belong to
// them, case-folded, without accents or other diacritics (García, GARCIA and garcia are one word;
// so are the Arabic forms with and without vowel marks), compatibility forms folded to their plain
// letters (full-width Ｌａｔｉｎ, ligatures). Scripts written without spaces between words
// (Chinese, Japanese, Korean, Thai and their neighbours) make one token of every character, and so
// does every emoji or other symbol, so that a search for any run of them is a search for consecutive
// tokens. Skin-tone modifiers, variation selectors and joiners are ignored; everything else
// separates tokens.
namespace searchtext {

// Receives one token: its folded UTF-8 bytes (valid during the call only), whether it is a
// one-character token, and where its source lies in the text (byte offsets, end exclusive).
// A non-zero result stops the tokenizing and is returned by tokenize.
using TokenCallback = int (*)(void* context, const char* token, int size, bool single, int start, int end);

int tokenize(const char* utf8, int size, void* context, TokenCallback callback);

// The same with any callable taking (const char* token, int size, bool single, int start, int end)
// and returning int.
template <typename Sink> int tokenize(const char* utf8, int size, Sink&& sink)
{
    return tokenize(
        utf8, size, &sink, [](void* context, const char* token, int tokenSize, bool single, int start, int end) {
            return (*static_cast<Sink*>(context))(token, tokenSize, single, start, end);
        });
}

// The tokens of one text worked out in advance (by tokenize, on any thread): each token's folded
// bytes at `offset` in `bytes`, and its source range in the text.
struct PreparedToken
{
    int offset;
    int size;
    int start;
    int end;
};
struct PreparedText
{
    const char* text;
    int size;
    const char* bytes;
    const PreparedToken* tokens;
    int count;
};
// While set on a thread, the next FTS5 tokenize on that thread of a text equal to the prepared one
// hands out the prepared tokens instead of working them out again, and clears it. Null clears it.
void prepareNextText(const PreparedText* prepared);

// The tokens that stand for a conversation in an index: characters of the supplementary private-use
// plane, which keyboards do not type, each a token of its own (so the index keeps no prefixes of them).
std::string conversationToken(qint64 chatRowId);

// The tokenizer under this name in FTS5 tables of the connection: "CREATE VIRTUAL TABLE ... USING
// fts5(..., tokenize='qsms')". Throws std::runtime_error when SQLite was built without FTS5.
inline constexpr char tokenizerName[] = "qsms";
void registerTokenizer(sqlite3* db);

} // namespace searchtext
