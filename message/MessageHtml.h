// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Plain text made safe for a rich-text cell: "&", "<" and ">" become entities and every line feed
// (with an optional carriage return before it) becomes "<br/>". Quotes are left as they are.
QString escapeMessageHtml(const QString& text);

// Appends the text as UTF-8, as QStringEncoder writes it: a surrogate without its partner becomes
// U+FFFD REPLACEMENT CHARACTER.
void appendUtf8(QByteArray& out, QStringView text);
// Appends escapeMessageHtml(text) as UTF-8, without making the escaped text or its encoding apart.
void appendMessageHtmlUtf8(QByteArray& out, QStringView text);
// Appends text.toHtmlEscaped() ("&", "<", ">" and '"' as entities) as UTF-8, in the same way.
void appendHtmlEscapedUtf8(QByteArray& out, QStringView text);

// The same three, written at `to`, which has room for utf8Room(text) bytes; each returns the end
// of what it wrote.
inline qsizetype utf8Room(QStringView text)
{
    // An entity or a line break for one unit, four bytes for a pair.
    return text.size() * 6;
}
char* writeUtf8(char* to, QStringView text);
char* writeMessageHtmlUtf8(char* to, QStringView text);
char* writeHtmlEscapedUtf8(char* to, QStringView text);
