// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageHtml.h"

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
