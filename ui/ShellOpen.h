// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Shows the folder in the desktop's file browser. False when no program could be started for it
// (no file manager installed).
bool openFolderInExplorer(const QString& path);

// Opens a web address or a document with the program the desktop associates with it. False when no
// program could be started for it.
bool shellOpen(const QString& target);
