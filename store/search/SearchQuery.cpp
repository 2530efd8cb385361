// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/SearchQuery.h"

#include "store/search/SearchTokenizer.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

// A run that reads as a phone number: digits with the separators people type between them.
const QRegularExpression& numberRun()
{
    static const QRegularExpression pattern(QStringLiteral("\\+?\\(?\\d[\\d \\-.()/]*\\d\\)?"));
    return pattern;
}

// Fewer digits are a time, an amount or a room rather than a number to call.
constexpr int minimumNumberDigits = 6;

// A word shorter than this is matched whole: "a" as a prefix would match most of the index.
constexpr int minimumPrefixCharacters = 2;

bool startsWith(const std::string& token, const std::string& prefix)
{
    return token.size() >= prefix.size() && token.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::vector<std::string> searchTokens(const QString& text)
{
    std::vector<std::string> tokens;
    const QByteArray utf8 = text.toUtf8();
    searchtext::tokenize(utf8.constData(), int(utf8.size()), [&](const char* token, int size, bool, int, int) {
        tokens.emplace_back(token, size_t(size));
        return 0;
    });
    return tokens;
}

QString SearchQuery::Sequence::phrase() const
{
    QString quoted = QStringLiteral("\"");
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0)
            quoted += QLatin1Char(' ');
        // Tokens never hold a double quote; the quotes make every token literal for FTS5.
        quoted += QString::fromStdString(tokens[i]);
    }
    quoted += QLatin1Char('"');
    if (prefix)
        quoted += QLatin1Char('*');
    return quoted;
}

bool SearchQuery::Sequence::occursIn(const std::vector<std::string>& text) const
{
    if (tokens.empty() || text.size() < tokens.size())
        return false;
    const size_t last = tokens.size() - 1;
    for (size_t start = 0; start + last < text.size(); ++start) {
        size_t i = 0;
        while (i < last && text[start + i] == tokens[i])
            ++i;
        if (i == last && (prefix ? startsWith(text[start + last], tokens[last]) : text[start + last] == tokens[last]))
            return true;
    }
    return false;
}

SearchQuery::SearchQuery(const QString& text)
    : m_text(text)
{
    // Double quotes delimit exact phrases; an unclosed quote runs to the end.
    const QStringList parts = text.split(QLatin1Char('"'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        if (i % 2 == 1) {
            Sequence phrase = sequenceOf(part, false);
            if (!phrase.tokens.empty())
                m_terms.push_back(Term { std::move(phrase) });
            continue;
        }
        qsizetype done = 0;
        for (QRegularExpressionMatchIterator it = numberRun().globalMatch(part); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const QString run = match.captured();
            if (std::count_if(run.cbegin(), run.cend(), [](QChar c) { return c.isDigit(); }) < minimumNumberDigits)
                continue;
            addWords(part.mid(done, match.capturedStart() - done));
            addNumber(run);
            done = match.capturedEnd();
        }
        addWords(part.mid(done));
    }
}

SearchQuery::Sequence SearchQuery::sequenceOf(const QString& part, bool prefix)
{
    Sequence sequence;
    bool lastIsWord = false;
    const QByteArray utf8 = part.toUtf8();
    searchtext::tokenize(utf8.constData(), int(utf8.size()), [&](const char* token, int size, bool single, int, int) {
        sequence.tokens.emplace_back(token, size_t(size));
        lastIsWord = !single && QString::fromUtf8(token, size).size() >= minimumPrefixCharacters;
        return 0;
    });
    sequence.prefix = prefix && lastIsWord;
    return sequence;
}

void SearchQuery::addWords(const QString& part)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    for (const QString& word : part.split(spaces, Qt::SkipEmptyParts)) {
        Sequence sequence = sequenceOf(word, true);
        if (!sequence.tokens.empty())
            m_terms.push_back(Term { std::move(sequence) });
    }
}

void SearchQuery::addNumber(const QString& run)
{
    // "+44 (0)7700 900122": the trunk prefix in parentheses is not dialled after the country code.
    QString dialled = run;
    if (dialled.startsWith(QLatin1Char('+')))
        dialled.remove(QStringLiteral("(0)"));
    std::string digits;
    for (const QChar c : std::as_const(dialled)) {
        if (c.isDigit())
            digits += char('0' + c.digitValue());
    }
    // The index keeps international numbers without their "+"; "00" is how many countries dial "+".
    Term term { Sequence { { digits }, true } };
    if (!run.startsWith(QLatin1Char('+')) && digits.compare(0, 2, "00") == 0)
        term.push_back(Sequence { { digits.substr(2) }, true });
    // The number as a message may hold it: its groups one after the other.
    Sequence groups = sequenceOf(run, true);
    if (groups.tokens.size() > 1)
        term.push_back(std::move(groups));
    m_terms.push_back(std::move(term));
}

QList<SearchSpan> SearchQuery::highlights(const QString& text) const
{
    QList<SearchSpan> spans;
    if (m_terms.empty())
        return spans;
    const QByteArray utf8 = text.toUtf8();
    std::vector<std::pair<int, int>> bytes;
    searchtext::tokenize(
        utf8.constData(), int(utf8.size()), [&](const char* token, int size, bool, int start, int end) {
            const std::string found(token, size_t(size));
            const auto matches = [&found](const Sequence& sequence) {
                for (size_t i = 0; i < sequence.tokens.size(); ++i) {
                    const bool prefix = sequence.prefix && i + 1 == sequence.tokens.size();
                    if (prefix ? startsWith(found, sequence.tokens[i]) : found == sequence.tokens[i])
                        return true;
                }
                return false;
            };
            for (const Term& term : m_terms) {
                if (std::any_of(term.cbegin(), term.cend(), matches)) {
                    bytes.emplace_back(start, end);
                    break;
                }
            }
            return 0;
        });

    // Byte offsets to UTF-16 positions, in one walk over the text.
    int byte = 0;
    int unit = 0;
    const auto unitAt = [&](int target) {
        while (byte < target) {
            const auto lead = static_cast<unsigned char>(utf8.at(byte));
            const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            byte += length;
            unit += length == 4 ? 2 : 1;
        }
        return unit;
    };
    for (const auto& [start, end] : bytes) {
        const int from = unitAt(start);
        const int to = unitAt(end);
        // Characters found one by one (a Chinese word) make one span.
        if (!spans.isEmpty() && spans.last().start + spans.last().length == from)
            spans.last().length = to - spans.last().start;
        else
            spans.append(SearchSpan { from, to - from });
    }
    return spans;
}
