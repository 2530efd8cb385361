// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Points HOME and XDG_DATA_HOME at a temporary folder that lives until the process ends, so a test
// never touches the real user's files. Call it before anything resolves the data root. Returns the
// temporary home folder; later calls return the same folder.
QString useTemporaryHome();

// Installs the program's embedded English translation, as the program does at start-up, once for
// the whole process. Returns whether it loaded.
bool installEnglishTranslation();
