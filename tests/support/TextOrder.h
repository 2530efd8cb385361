// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;
class QTextLayout;

// Whether the laid-out text (the layout's own, or the text of its block), from `start` on, shows
// "NAME (+DIGITS)" as it is read: every letter of the name left of the opening parenthesis, then the
// parenthesis, the plus sign, the digits and the closing parenthesis from left to right. The
// bidirectional algorithm turns an Arabic or Hebrew name with its number around when nothing sets
// them apart.
bool numberReadsAfterName(const QTextLayout& layout, const QString& text, int start = 0);

// The same for a text laid out on one line from left to right, as a list cell is.
bool numberReadsAfterName(const QString& text);
