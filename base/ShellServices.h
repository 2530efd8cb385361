// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Removes the folder and everything under it. Hidden entries are left in place (and with them the
// folder) unless withHidden is set. A symbolic link or junction is removed as a link: what it points
// to is never touched. True when nothing is left at the path.
bool removeFolderTree(const QString& path, bool withHidden = false);

// Removes a folder and everything under it (hidden entries too when withHidden is set); a symbolic
// link or junction at the path itself is removed as a link, and what it points to is left alone.
// True when nothing is left at the path.
bool removeFolderOrLink(const QString& path, bool withHidden = false);
