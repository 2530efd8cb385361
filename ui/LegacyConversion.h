// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// At start-up, once the main window is shown: converts the local databases kept in the older
// single-file format, under a progress dialog that can not be cancelled. Does nothing when the local
// databases folder holds no such file. After a successful conversion the main window is closed
// through a queued call, so the application ends once the user has read that a restart is needed,
// and true is returned; after a failure the window stays as it is.
bool convertLegacyDatabases(QWidget* mainWindow);
