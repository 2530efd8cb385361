// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether any installed font has a glyph for the character. The fonts are asked once per process.
bool anyFontHasCharacter(char32_t character);

// The text with "[EMOJI]" in place of each emoji or pictographic symbol that no installed font can
// draw, where a reader would otherwise see an empty box. Every other character stays.
QString withDrawableEmoji(const QString& text);
