// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/TextDirections.h"

#include <QStringList>

#include <algorithm>

namespace {

enum class Strong { None, Left, Right };

// The direction of the first strong character from `from` on, up to the end of the paragraph or of
// the isolate the scan starts in. Unless skipIsolates, the characters inside isolates count as well.
Strong firstStrong(QStringView text, qsizetype from, bool skipIsolates)
{
    int depth = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        switch (QChar::direction(c)) {
        case QChar::DirL:
            if (depth == 0 || !skipIsolates)
                return Strong::Left;
            break;
        case QChar::DirR:
        case QChar::DirAL:
            if (depth == 0 || !skipIsolates)
                return Strong::Right;
            break;
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
            ++depth;
            break;
        case QChar::DirPDI:
            if (depth == 0)
                return Strong::None;
            --depth;
            break;
        case QChar::DirB:
            return Strong::None;
        default:
            break;
        }
    }
    return Strong::None;
}

} // namespace

QString withResolvedDirections(const QString& text)
{
    // Every text on a page passes here, the bodies among them, which seldom hold isolates.
    const bool hasIsolates = std::any_of(
        text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x2066 && c.unicode() <= 0x2069; });
    if (!hasIsolates)
        return text;
    QString resolved = text;
    for (qsizetype i = 0; i < resolved.size(); ++i) {
        if (resolved.at(i) == QChar(0x2068))
            resolved[i] = firstStrong(resolved, i + 1, true) == Strong::Right ? QChar(0x2067) : QChar(0x2066);
    }
    QStringList paragraphs = resolved.split(QLatin1Char('\n'));
    Strong pangoDirection = Strong::Left;
    for (QString& paragraph : paragraphs) {
        const Strong wanted = firstStrong(paragraph, 0, true) == Strong::Right ? Strong::Right : Strong::Left;
        const Strong found = firstStrong(paragraph, 0, false);
        if (found != Strong::None)
            pangoDirection = found;
        if (pangoDirection != wanted) {
            paragraph.prepend(wanted == Strong::Right ? QChar(0x200F) : QChar(0x200E));
            pangoDirection = wanted;
        }
    }
    return paragraphs.join(QLatin1Char('\n'));
}
