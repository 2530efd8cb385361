// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <string>
#include <vector>

// A part of a text that a search found: `length` UTF-16 units from `start`.
struct SearchSpan
{
    int start = 0;
    int length = 0;

    bool operator==(const SearchSpan& other) const { return start == other.start && length == other.length; }
};

// What a person typed into a search box, as questions for the full-text index. Every word must be
// found, each as the beginning of a word (so that typing refines as it goes; a word of one
// character, a Chinese character or an emoji only as itself); a text in double quotes must be found
// as it stands. A phone number, with or without spaces, dashes or parentheses and with "+" or "00"
// in front, is found in whichever form it was stored or written: the index holds each
// correspondent's number in its international and national forms.
class SearchQuery
{
public:
    // Folded tokens that must follow one another; the last one may be the beginning of a word.
    struct Sequence
    {
        std::vector<std::string> tokens;
        bool prefix = false;

        // FTS5's form: the tokens in double quotes, "*" after them for a prefix.
        QString phrase() const;
        // Whether the sequence occurs among tokens in this order.
        bool occursIn(const std::vector<std::string>& text) const;
    };
    // One thing to find: any of its sequences will do.
    using Term = std::vector<Sequence>;

    SearchQuery() = default;
    explicit SearchQuery(const QString& text);

    const QString& text() const { return m_text; }
    // True when the text holds nothing to search for (only spaces and punctuation).
    bool isEmpty() const { return m_terms.empty(); }
    // Every term must be found.
    const std::vector<Term>& terms() const { return m_terms; }

    // The words of a text that the query looks for, to be highlighted, in text order.
    QList<SearchSpan> highlights(const QString& text) const;

private:
    void addWords(const QString& part);
    void addNumber(const QString& run);
    // The tokens of a text, the last one taken as a prefix when `prefix` allows it.
    static Sequence sequenceOf(const QString& part, bool prefix);

    QString m_text;
    std::vector<Term> m_terms;
};

// Folded tokens of a text, in order.
std::vector<std::string> searchTokens(const QString& text);
