// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Shows the folder in the desktop's file browser. The outcome is not reported.
void openFolderInExplorer(const QString& path);

// Opens a web address or a document with the program the desktop associates with it. The outcome is not reported.
void shellOpen(const QString& target);
