// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The text as pango has to be given it to order it as the printer's layout and the Unicode rules do.
// The bidi library under pango resolves U+2068 FIRST STRONG ISOLATE right to left when the isolated
// text has no strong character, so "(+201005550142)" beside an Arabic name read "(201005550142+)":
// each becomes the left-to-right or right-to-left isolate its text calls for. And pango takes a
// paragraph's direction from its first strong character even inside an isolate, or from the
// paragraph before when it has none, where the rules skip isolates and default to left to right:
// a mark in front of such a paragraph gives it its direction.
QString withResolvedDirections(const QString& text);
