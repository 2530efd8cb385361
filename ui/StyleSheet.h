// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QPalette;

// The style sheet every window of the program sets on itself, read once from the resources: the
// light one, or the dark one when the desktop's palette is dark.
QString appStyleSheet();
QString appStyleSheet(bool dark);

// Whether a palette is a dark one: its windows are darker than the text on them.
bool isDarkPalette(const QPalette& palette);
// Whether the desktop asks for dark windows, from its colour scheme where Qt knows it, else from the
// application's palette, which the desktop's platform theme fills.
bool desktopPrefersDark();
