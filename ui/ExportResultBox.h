// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/CommandRules.h"

#include <QString>

// What the person can open after an export: the file (for HTML the index page), and the folder
// that holds it. A PDF export has only its folder.
struct ExportResult
{
    QString file; // empty when there is no one file to open
    QString folder;
};

ExportResult exportResult(const ExportTarget& target);

// The box that says an export has finished, with its text, offering to open the file or the folder.
void showExportResultBox(const QString& text, const ExportResult& result);
