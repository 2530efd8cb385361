// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Shows the folder in the desktop's file browser. The outcome is not reported.
void openFolderInExplorer(const QString& path);

// Opens a web address or a document with the program the desktop associates with it. The outcome is not reported.
void shellOpen(const QString& target);

// Removes the folder and everything under it. Hidden entries are left in place (and with them the
// folder) unless withHidden is set. A symbolic link or junction is removed as a link: what it points
// to is never touched. True when nothing is left at the path.
bool removeFolderTree(const QString& path, bool withHidden = false);
