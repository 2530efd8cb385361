// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageHtml.h"

QString escapeMessageHtml(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"))
        .replace(QLatin1String("\r\n"), QLatin1String("<br/>"))
        .replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return escaped;
}
