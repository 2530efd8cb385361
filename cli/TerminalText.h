// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether line feeds and tabs of a text are printed as they are (a text made of lines, such as an
// error message) or escaped like every other control character (one field of a result line).
enum class LineBreaks { Escape, Keep };

// The text as the command line prints it: every control character (C0, DEL and C1) becomes \xHH.
// Texts from a phone, an address book, adb or a database file reach the terminal this way only, so
// that none of them can retitle, clear or otherwise command the terminal it is printed on.
QString terminalText(const QString& text, LineBreaks lineBreaks = LineBreaks::Escape);
