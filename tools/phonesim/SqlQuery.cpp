// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/SqlQuery.h"

#include <algorithm>
#include <vector>

namespace {

enum class Truth { False, True, Unknown };

struct Token
{
    enum Kind { End, Word, Number, Text, Symbol } kind = End;
    QString text;
};

struct Operand
{
    int column = -1;
    SqlValue literal;
};

} // namespace

struct SqlQuery::Node
{
    enum Kind { Or, And, Not, Compare, In, IsNull } kind = Compare;
    std::vector<Node> children;
    Operand left;
    Operand right;
    QString op;
    std::vector<Operand> list;
    bool negated = false;
};

namespace {

const QString sqliteException = QStringLiteral("android.database.sqlite.SQLiteException");

std::vector<Token> tokenize(const QString& text, QString* problem)
{
    std::vector<Token> tokens;
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text.at(at);
        if (c.isSpace()) {
            ++at;
        } else if (c.isDigit()) {
            const qsizetype start = at;
            while (at < text.size() && text.at(at).isDigit())
                ++at;
            tokens.push_back({ Token::Number, text.mid(start, at - start) });
        } else if (c == QLatin1Char('_') || c.isLetter()) {
            const qsizetype start = at;
            while (at < text.size() && (text.at(at) == QLatin1Char('_') || text.at(at).isLetterOrNumber()))
                ++at;
            tokens.push_back({ Token::Word, text.mid(start, at - start) });
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            // 'text' is a literal; "name" and `name` name a column. A doubled quote stands for itself.
            QString value;
            ++at;
            for (;;) {
                if (at >= text.size()) {
                    *problem = QStringLiteral("unrecognized token: \"%1\"").arg(text.mid(text.lastIndexOf(c)));
                    return {};
                }
                if (text.at(at) == c) {
                    if (at + 1 < text.size() && text.at(at + 1) == c) {
                        value += c;
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                value += text.at(at++);
            }
            tokens.push_back({ c == QLatin1Char('\'') ? Token::Text : Token::Word, value });
        } else {
            static const QStringList twoCharacters = { QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("!="),
                QStringLiteral("<>"), QStringLiteral("==") };
            const QString pair = text.mid(at, 2);
            if (twoCharacters.contains(pair)) {
                tokens.push_back({ Token::Symbol, pair });
                at += 2;
            } else if (QStringLiteral("=<>(),-").contains(c)) {
                tokens.push_back({ Token::Symbol, QString(c) });
                ++at;
            } else {
                *problem = QStringLiteral("unrecognized token: \"%1\"").arg(c);
                return {};
            }
        }
    }
    tokens.push_back({ Token::End, {} });
    return tokens;
}

class Parser
{
public:
    Parser(std::vector<Token> tokens, const QStringList& columns)
        : m_tokens(std::move(tokens))
        , m_columns(columns)
    {
    }

    SqlQuery::Node expression()
    {
        SqlQuery::Node left = conjunction();
        if (!isKeyword(QLatin1String("OR")))
            return left;
        SqlQuery::Node any;
        any.kind = SqlQuery::Node::Or;
        any.children.push_back(std::move(left));
        while (isKeyword(QLatin1String("OR"))) {
            ++m_at;
            any.children.push_back(conjunction());
        }
        return any;
    }

    QList<QPair<int, bool>> orderBy()
    {
        QList<QPair<int, bool>> keys;
        for (;;) {
            const int column = columnOf(take());
            bool descending = false;
            if (isKeyword(QLatin1String("ASC"))) {
                ++m_at;
            } else if (isKeyword(QLatin1String("DESC"))) {
                descending = true;
                ++m_at;
            }
            keys.append({ column, descending });
            if (!isSymbol(QLatin1String(",")))
                return keys;
            ++m_at;
        }
    }

    int column() { return columnOf(take()); }

    void expectEnd()
    {
        if (current().kind != Token::End)
            fail(current());
    }

private:
    SqlQuery::Node conjunction()
    {
        SqlQuery::Node left = negation();
        if (!isKeyword(QLatin1String("AND")))
            return left;
        SqlQuery::Node all;
        all.kind = SqlQuery::Node::And;
        all.children.push_back(std::move(left));
        while (isKeyword(QLatin1String("AND"))) {
            ++m_at;
            all.children.push_back(negation());
        }
        return all;
    }

    SqlQuery::Node negation()
    {
        if (!isKeyword(QLatin1String("NOT")))
            return predicate();
        ++m_at;
        SqlQuery::Node node;
        node.kind = SqlQuery::Node::Not;
        node.children.push_back(negation());
        return node;
    }

    SqlQuery::Node predicate()
    {
        if (isSymbol(QLatin1String("("))) {
            ++m_at;
            SqlQuery::Node inner = expression();
            expectSymbol(QLatin1String(")"));
            return inner;
        }
        SqlQuery::Node node;
        node.left = operand();
        if (isKeyword(QLatin1String("IS"))) {
            ++m_at;
            node.kind = SqlQuery::Node::IsNull;
            if (isKeyword(QLatin1String("NOT"))) {
                node.negated = true;
                ++m_at;
            }
            if (!isKeyword(QLatin1String("NULL")))
                fail(current());
            ++m_at;
            return node;
        }
        if (isKeyword(QLatin1String("NOT"))) {
            node.negated = true;
            ++m_at;
            if (!isKeyword(QLatin1String("IN")))
                fail(current());
        }
        if (isKeyword(QLatin1String("IN"))) {
            ++m_at;
            node.kind = SqlQuery::Node::In;
            expectSymbol(QLatin1String("("));
            for (;;) {
                node.list.push_back(operand());
                if (!isSymbol(QLatin1String(",")))
                    break;
                ++m_at;
            }
            expectSymbol(QLatin1String(")"));
            return node;
        }
        static const QStringList comparisons
            = { QStringLiteral("="), QStringLiteral("=="), QStringLiteral("!="), QStringLiteral("<>"),
                  QStringLiteral("<"), QStringLiteral("<="), QStringLiteral(">"), QStringLiteral(">=") };
        const Token& op = current();
        if (op.kind != Token::Symbol || !comparisons.contains(op.text))
            fail(op);
        ++m_at;
        node.kind = SqlQuery::Node::Compare;
        node.op = op.text;
        node.right = operand();
        return node;
    }

    Operand operand()
    {
        const Token token = take();
        Operand result;
        if (token.kind == Token::Symbol && token.text == QLatin1String("-") && current().kind == Token::Number) {
            result.literal = SqlValue::of(-take().text.toLongLong());
        } else if (token.kind == Token::Number) {
            bool ok = false;
            const qint64 number = token.text.toLongLong(&ok);
            result.literal = ok ? SqlValue::of(number) : SqlValue::of(token.text);
        } else if (token.kind == Token::Text) {
            result.literal = SqlValue::of(token.text);
        } else if (token.kind == Token::Word && token.text.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0) {
            result.literal = SqlValue::null();
        } else {
            result.column = columnOf(token);
        }
        return result;
    }

    int columnOf(const Token& token)
    {
        if (token.kind != Token::Word || isReserved(token.text))
            fail(token);
        // SQLite matches column names without regard to case.
        for (int column = 0; column < m_columns.size(); ++column) {
            if (m_columns.at(column).compare(token.text, Qt::CaseInsensitive) == 0)
                return column;
        }
        throw ProviderError(sqliteException, QStringLiteral("no such column: %1").arg(token.text));
    }

    static bool isReserved(const QString& word)
    {
        static const QStringList reserved = { QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT"),
            QStringLiteral("IN"), QStringLiteral("IS"), QStringLiteral("NULL"), QStringLiteral("ASC"),
            QStringLiteral("DESC"), QStringLiteral("SELECT"), QStringLiteral("FROM"), QStringLiteral("WHERE") };
        return std::any_of(reserved.cbegin(), reserved.cend(),
            [&word](const QString& r) { return r.compare(word, Qt::CaseInsensitive) == 0; });
    }

    const Token& current() const { return m_tokens.at(std::min(m_at, m_tokens.size() - 1)); }
    Token take()
    {
        const Token token = current();
        if (token.kind != Token::End)
            ++m_at;
        return token;
    }
    bool isKeyword(QLatin1String word) const
    {
        return current().kind == Token::Word && current().text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(QLatin1String symbol) const { return current().kind == Token::Symbol && current().text == symbol; }
    void expectSymbol(QLatin1String symbol)
    {
        if (!isSymbol(symbol))
            fail(current());
        ++m_at;
    }

    [[noreturn]] static void fail(const Token& token)
    {
        if (token.kind == Token::End)
            throw ProviderError(sqliteException, QStringLiteral("incomplete input"));
        const QString shown = token.kind == Token::Text ? QStringLiteral("'%1'").arg(token.text) : token.text;
        throw ProviderError(sqliteException, QStringLiteral("near \"%1\": syntax error").arg(shown));
    }

    std::vector<Token> m_tokens;
    const QStringList& m_columns;
    std::size_t m_at = 0;
};

// SQLite's order of values: NULL, then numbers, then texts, then blobs.
int compareValues(const SqlValue& a, const SqlValue& b)
{
    const auto rank = [](const SqlValue& v) {
        switch (v.type) {
        case SqlValue::Type::Null:
            return 0;
        case SqlValue::Type::Integer:
            return 1;
        case SqlValue::Type::Text:
            return 2;
        case SqlValue::Type::Blob:
            break;
        }
        return 3;
    };
    if (rank(a) != rank(b))
        return rank(a) < rank(b) ? -1 : 1;
    if (a.type == SqlValue::Type::Integer)
        return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
    return a.text.compare(b.text);
}

// A text compared with a number is taken as a number when it is one, as SQLite does for columns of
// numeric affinity.
SqlValue numericIfPossible(const SqlValue& value, const SqlValue& other)
{
    if (value.type != SqlValue::Type::Text || other.type != SqlValue::Type::Integer)
        return value;
    bool ok = false;
    const qint64 number = value.text.trimmed().toLongLong(&ok);
    return ok ? SqlValue::of(number) : value;
}

Truth compare(const SqlValue& left, const QString& op, const SqlValue& right)
{
    if (left.type == SqlValue::Type::Null || right.type == SqlValue::Type::Null)
        return Truth::Unknown;
    const int order = compareValues(numericIfPossible(left, right), numericIfPossible(right, left));
    bool result = false;
    if (op == QLatin1String("=") || op == QLatin1String("=="))
        result = order == 0;
    else if (op == QLatin1String("!=") || op == QLatin1String("<>"))
        result = order != 0;
    else if (op == QLatin1String("<"))
        result = order < 0;
    else if (op == QLatin1String("<="))
        result = order <= 0;
    else if (op == QLatin1String(">"))
        result = order > 0;
    else
        result = order >= 0;
    return result ? Truth::True : Truth::False;
}

Truth negate(Truth t)
{
    return t == Truth::Unknown ? t : (t == Truth::True ? Truth::False : Truth::True);
}

Truth evaluate(const SqlQuery::Node& node, const ProviderTable& table, qsizetype row)
{
    const auto value = [&](const Operand& operand) {
        return operand.column >= 0 ? table.value(row, operand.column) : operand.literal;
    };
    switch (node.kind) {
    case SqlQuery::Node::Or: {
        Truth any = Truth::False;
        for (const SqlQuery::Node& child : node.children) {
            const Truth t = evaluate(child, table, row);
            if (t == Truth::True)
                return t;
            if (t == Truth::Unknown)
                any = t;
        }
        return any;
    }
    case SqlQuery::Node::And: {
        Truth all = Truth::True;
        for (const SqlQuery::Node& child : node.children) {
            const Truth t = evaluate(child, table, row);
            if (t == Truth::False)
                return t;
            if (t == Truth::Unknown)
                all = t;
        }
        return all;
    }
    case SqlQuery::Node::Not:
        return negate(evaluate(node.children.front(), table, row));
    case SqlQuery::Node::IsNull: {
        const bool isNull = value(node.left).type == SqlValue::Type::Null;
        return isNull != node.negated ? Truth::True : Truth::False;
    }
    case SqlQuery::Node::In: {
        const SqlValue left = value(node.left);
        Truth found = Truth::False;
        for (const Operand& item : node.list) {
            const Truth t = compare(left, QStringLiteral("="), value(item));
            if (t == Truth::True) {
                found = t;
                break;
            }
            if (t == Truth::Unknown)
                found = t;
        }
        return node.negated ? negate(found) : found;
    }
    case SqlQuery::Node::Compare:
        break;
    }
    return compare(value(node.left), node.op, value(node.right));
}

} // namespace

SqlQuery::SqlQuery(const ProviderTable& table, const QStringList& projection, const QString& where, const QString& sort)
    : m_table(table)
{
    const QString order = sort.isEmpty() ? table.defaultSort : sort;
    const QString projected = projection.isEmpty() ? QStringLiteral("*") : projection.join(QStringLiteral(", "));
    try {
        if (projection.isEmpty() || projection == QStringList { QStringLiteral("*") }) {
            for (int i = 0; i < table.columns.size(); ++i)
                m_columns.append(i);
            m_names = table.columns;
        } else {
            for (const QString& name : projection) {
                if (name.isEmpty())
                    throw ProviderError(sqliteException, QStringLiteral("near \"FROM\": syntax error"));
                Parser parser({ { Token::Word, name }, { Token::End, {} } }, table.columns);
                m_columns.append(parser.column());
                m_names.append(name);
            }
        }
        QString problem;
        if (!where.trimmed().isEmpty()) {
            std::vector<Token> tokens = tokenize(where, &problem);
            if (!problem.isEmpty())
                throw ProviderError(sqliteException, problem);
            Parser parser(std::move(tokens), table.columns);
            m_where = std::make_unique<Node>(parser.expression());
            parser.expectEnd();
        }
        if (!order.trimmed().isEmpty()) {
            std::vector<Token> tokens = tokenize(order, &problem);
            if (!problem.isEmpty())
                throw ProviderError(sqliteException, problem);
            Parser parser(std::move(tokens), table.columns);
            m_sort = parser.orderBy();
            parser.expectEnd();
        }
    } catch (const ProviderError& error) {
        QString statement = QStringLiteral("SELECT %1 FROM %2").arg(projected, table.name);
        if (!where.isEmpty())
            statement += QStringLiteral(" WHERE (%1)").arg(where);
        if (!order.isEmpty())
            statement += QStringLiteral(" ORDER BY %1").arg(order);
        throw ProviderError(error.exceptionClass,
            QStringLiteral("%1 (code 1 SQLITE_ERROR): , while compiling: %2")
                .arg(QString::fromUtf8(error.what()), statement));
    }
}

SqlQuery::~SqlQuery() = default;

QList<qsizetype> SqlQuery::rows() const
{
    QList<qsizetype> rows;
    rows.reserve(m_table.rowCount);
    for (qsizetype row = 0; row < m_table.rowCount; ++row) {
        if (!m_where || evaluate(*m_where, m_table, row) == Truth::True)
            rows.append(row);
    }
    if (!m_sort.isEmpty()) {
        // Each key once per row: the values are computed, some of them texts.
        const qsizetype keyCount = m_sort.size();
        std::vector<SqlValue> keys(std::size_t(m_table.rowCount * keyCount));
        for (const qsizetype row : std::as_const(rows)) {
            for (qsizetype k = 0; k < keyCount; ++k)
                keys[std::size_t(row * keyCount + k)] = m_table.value(row, m_sort.at(k).first);
        }
        std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
            for (qsizetype k = 0; k < keyCount; ++k) {
                const int order
                    = compareValues(keys[std::size_t(a * keyCount + k)], keys[std::size_t(b * keyCount + k)]);
                if (order != 0)
                    return m_sort.at(k).second ? order > 0 : order < 0;
            }
            return false;
        });
    }
    return rows;
}
