// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TextOrder.h"

#include <QGlyphRun>
#include <QGuiApplication>
#include <QTextLayout>

namespace {

// The x of the glyph drawn for the character at the position, or -1 for none.
qreal glyphX(const QTextLayout& layout, int position)
{
    const QList<QGlyphRun> runs = layout.glyphRuns(position, 1);
    if (runs.isEmpty() || runs.first().positions().isEmpty())
        return -1;
    return runs.first().positions().first().x();
}

} // namespace

bool numberReadsAfterName(const QTextLayout& layout, const QString& text, int start)
{
    const int open = int(text.indexOf(QLatin1Char('('), start));
    const int close = int(text.indexOf(QLatin1Char(')'), open));
    if (open < 0 || close < 0)
        return false;
    for (int i = start; i < open; ++i) {
        if (text.at(i).isLetter() && glyphX(layout, i) >= glyphX(layout, open))
            return false;
    }
    qreal previous = glyphX(layout, open);
    for (int i = open + 1; i <= close; ++i) {
        // Directional marks and isolates take no room.
        if (text.at(i).category() == QChar::Other_Format)
            continue;
        const qreal x = glyphX(layout, i);
        if (x <= previous)
            return false;
        previous = x;
    }
    return true;
}

bool numberReadsAfterName(const QString& text)
{
    QTextLayout layout(text, QGuiApplication::font());
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    return numberReadsAfterName(layout, text);
}
