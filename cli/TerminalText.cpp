// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalText.h"

#include <algorithm>

QString terminalText(const QString& text, LineBreaks lineBreaks)
{
    const auto escaped = [lineBreaks](QChar c) {
        const char16_t code = c.unicode();
        if (lineBreaks == LineBreaks::Keep && (code == u'\n' || code == u'\t'))
            return false;
        return code < 0x20 || (code >= 0x7f && code <= 0x9f);
    };
    if (std::none_of(text.cbegin(), text.cend(), escaped))
        return text;
    static const char hexDigits[] = "0123456789ABCDEF";
    QString result;
    result.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (escaped(c)) {
            result += QLatin1String("\\x");
            result += QLatin1Char(hexDigits[c.unicode() >> 4]);
            result += QLatin1Char(hexDigits[c.unicode() & 0xf]);
        } else {
            result += c;
        }
    }
    return result;
}
