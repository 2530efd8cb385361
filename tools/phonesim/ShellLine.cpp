// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/ShellLine.h"

#include <algorithm>

namespace {

bool isNameStart(QChar c)
{
    return c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetter());
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c.unicode() < 128 && c.isDigit());
}

// What `adb shell` finds in its environment.
QString variable(const QString& name)
{
    if (name == QLatin1String("HOME"))
        return QStringLiteral("/");
    if (name == QLatin1String("PATH"))
        return QStringLiteral("/product/bin:/apex/com.android.runtime/bin:/system/bin:/system/xbin:/odm/bin");
    if (name == QLatin1String("USER") || name == QLatin1String("LOGNAME"))
        return QStringLiteral("shell");
    if (name == QLatin1String("SHELL") || name == QLatin1String("0"))
        return QStringLiteral("/system/bin/sh");
    if (name == QLatin1String("?") || name == QLatin1String("#"))
        return QStringLiteral("0");
    if (name == QLatin1String("$"))
        return QStringLiteral("4242");
    return QString();
}

class Reader
{
public:
    explicit Reader(const QString& line)
        : m_line(line)
    {
    }

    ShellLine read()
    {
        ShellLine result;
        ShellCommand command;
        while (m_at < m_line.size() && m_error.isEmpty()) {
            const QChar c = m_line.at(m_at);
            if (!separates(c)) {
                readWordPart();
                continue;
            }
            if ((c == QLatin1Char('<') || c == QLatin1Char('>')) && isDescriptor()) {
                const int descriptor = m_word.toInt();
                m_word.clear();
                m_inWord = false;
                readRedirection(command, descriptor);
                continue;
            }
            finishWord(command);
            if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
                ++m_at;
            } else if (c == QLatin1Char('#')) {
                m_at = m_line.size();
            } else if (c == QLatin1Char('<') || c == QLatin1Char('>')) {
                readRedirection(command, -1);
            } else if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
                m_error = QStringLiteral("syntax error: '%1' unexpected").arg(c);
            } else {
                QString joiner = QString(c == QLatin1Char('\n') ? QLatin1Char(';') : c);
                ++m_at;
                if ((c == QLatin1Char('&') || c == QLatin1Char('|')) && m_at < m_line.size() && m_line.at(m_at) == c) {
                    joiner += c;
                    ++m_at;
                }
                if (command.words.isEmpty()) {
                    if (c != QLatin1Char('\n'))
                        m_error = QStringLiteral("syntax error: '%1' unexpected").arg(joiner);
                    continue;
                }
                command.joiner = joiner;
                result.commands.append(command);
                command = ShellCommand();
            }
        }
        if (m_error.isEmpty() && m_quote != QChar())
            m_error = QStringLiteral("syntax error: no closing quote");
        if (!m_error.isEmpty()) {
            result.error = m_error;
            result.commands.clear();
            return result;
        }
        finishWord(command);
        if (!command.words.isEmpty())
            result.commands.append(command);
        else if (!result.commands.isEmpty() && result.commands.last().joiner != QLatin1String(";")
            && result.commands.last().joiner != QLatin1String("&"))
            result.error = QStringLiteral("syntax error: unexpected end of input");
        if (!result.commands.isEmpty())
            result.commands.last().joiner.clear();
        return result;
    }

private:
    // True for an unquoted character that ends a word; # only starts a comment at a word's start.
    bool separates(QChar c) const
    {
        static const QString separators = QStringLiteral(" \t\n;&|<>()#");
        return m_quote.isNull() && separators.contains(c) && !(c == QLatin1Char('#') && m_inWord);
    }

    // The word before a redirection is its descriptor when it is an unquoted number.
    bool isDescriptor() const
    {
        return m_inWord && !m_quotedWord && !m_word.isEmpty() && m_word.size() < 3
            && std::all_of(m_word.cbegin(), m_word.cend(), [](QChar c) { return c.unicode() < 128 && c.isDigit(); });
    }

    // Reads characters into the current word until an unquoted separator.
    void readWordPart()
    {
        const QChar c = m_line.at(m_at);
        if (m_quote == QLatin1Char('\'')) {
            ++m_at;
            if (c == QLatin1Char('\''))
                m_quote = QChar();
            else
                m_word += c;
            return;
        }
        if (c == QLatin1Char('\\')) {
            readBackslash();
            return;
        }
        if (c == QLatin1Char('$')) {
            readExpansion();
            return;
        }
        if (c == QLatin1Char('`')) {
            m_error = QStringLiteral("command substitution is not emulated");
            return;
        }
        if (m_quote == QLatin1Char('"')) {
            ++m_at;
            if (c == QLatin1Char('"'))
                m_quote = QChar();
            else
                m_word += c;
            return;
        }
        ++m_at;
        m_inWord = true;
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            m_quote = c;
            m_quotedWord = true;
        } else {
            m_word += c;
        }
    }

    void readBackslash()
    {
        m_inWord = true;
        if (m_at + 1 >= m_line.size()) {
            m_word += QLatin1Char('\\');
            ++m_at;
            return;
        }
        const QChar next = m_line.at(m_at + 1);
        m_at += 2;
        if (next == QLatin1Char('\n'))
            return;
        static const QString escapedInDoubleQuotes = QStringLiteral("$`\"\\");
        if (m_quote == QLatin1Char('"') && !escapedInDoubleQuotes.contains(next))
            m_word += QLatin1Char('\\');
        else
            m_quotedWord = true;
        m_word += next;
    }

    void readExpansion()
    {
        const qsizetype start = m_at++;
        m_inWord = true;
        if (m_at >= m_line.size()) {
            m_word += QLatin1Char('$');
            return;
        }
        const QChar c = m_line.at(m_at);
        QString name;
        if (c == QLatin1Char('(')) {
            m_error = QStringLiteral("command substitution is not emulated");
            return;
        }
        if (c == QLatin1Char('{')) {
            const qsizetype end = m_line.indexOf(QLatin1Char('}'), m_at);
            if (end < 0) {
                m_error = QStringLiteral("syntax error: missing '}'");
                return;
            }
            name = m_line.mid(m_at + 1, end - m_at - 1);
            m_at = end + 1;
        } else if (isNameStart(c)) {
            while (m_at < m_line.size() && isNameChar(m_line.at(m_at)))
                name += m_line.at(m_at++);
        } else if (QStringLiteral("?$#!@*-0123456789").contains(c)) {
            name = c;
            ++m_at;
        } else {
            m_word += m_line.at(start);
            return;
        }
        m_word += variable(name);
    }

    void finishWord(ShellCommand& command)
    {
        if (!m_inWord)
            return;
        // An unquoted expansion that came out empty leaves no word behind.
        if (!m_word.isEmpty() || m_quotedWord)
            command.words.append(m_word);
        m_word.clear();
        m_inWord = false;
        m_quotedWord = false;
    }

    // At "<" or ">", after an optional descriptor number (-1 for none).
    void readRedirection(ShellCommand& command, int descriptor)
    {
        const QChar direction = m_line.at(m_at++);
        bool append = false;
        if (direction == QLatin1Char('>') && m_at < m_line.size()
            && (m_line.at(m_at) == QLatin1Char('>') || m_line.at(m_at) == QLatin1Char('|'))) {
            append = m_line.at(m_at) == QLatin1Char('>');
            ++m_at;
        } else if (direction == QLatin1Char('<') && m_at < m_line.size() && m_line.at(m_at) == QLatin1Char('<')) {
            m_error = QStringLiteral("here documents are not emulated");
            return;
        }
        const bool duplicate = m_at < m_line.size() && m_line.at(m_at) == QLatin1Char('&');
        if (duplicate)
            ++m_at;
        while (m_at < m_line.size() && (m_line.at(m_at) == QLatin1Char(' ') || m_line.at(m_at) == QLatin1Char('\t')))
            ++m_at;
        ShellCommand target;
        while (m_at < m_line.size() && m_error.isEmpty() && !separates(m_line.at(m_at)))
            readWordPart();
        finishWord(target);
        if (m_error.isEmpty() && target.words.isEmpty()) {
            const QString found = m_at < m_line.size() ? QString(m_line.at(m_at)) : QStringLiteral("newline");
            m_error = QStringLiteral("syntax error: '%1' unexpected").arg(found);
        }
        if (!m_error.isEmpty())
            return;
        const QString file = target.words.first();
        const int fd = descriptor >= 0 ? descriptor : (direction == QLatin1Char('<') ? 0 : 1);
        if (duplicate) {
            if (fd == 2 && file == QLatin1String("1"))
                command.errorToOutput = true;
            else if (fd == 1 && file == QLatin1String("2"))
                command.outputToError = true;
            else if (!(fd == 1 && file == QLatin1String("1")) && !(fd == 2 && file == QLatin1String("2")))
                m_error = QStringLiteral("%1: illegal file descriptor name").arg(file);
        } else if (fd == 0) {
            command.inputFile = file;
        } else if (fd == 1) {
            command.outputFile = file;
            command.appendOutput = append;
        } else if (fd == 2) {
            command.errorFile = file;
            command.appendError = append;
        }
    }

    const QString& m_line;
    qsizetype m_at = 0;
    QString m_word;
    bool m_inWord = false;
    bool m_quotedWord = false;
    QChar m_quote;
    QString m_error;
};

} // namespace

ShellLine parseShellLine(const QString& line)
{
    return Reader(line).read();
}
