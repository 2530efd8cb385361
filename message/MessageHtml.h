// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstring>

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

// Appends bytes to a byte array. QByteArray's own append goes through its general insertion, which
// costs more than the copy for the short pieces a page is made of.
inline void appendBytes(QByteArray& out, const char* bytes, qsizetype size)
{
    const qsizetype used = out.size();
    out.resize(used + size);
    std::memcpy(out.data() + used, bytes, size_t(size));
}

inline void appendBytes(QByteArray& out, const QByteArray& bytes)
{
    appendBytes(out, bytes.constData(), bytes.size());
}
