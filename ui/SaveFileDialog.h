// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class QWidget;

// The save dialog of the program (QFileDialog::getSaveFileName). An empty text when the user cancelled;
// selectedFilter receives the filter chosen.
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& proposedPath, const QString& filters,
    QString* selectedFilter);

// Scripting for tests: while answers are queued, the dialog is not shown; it is recorded and answered
// with the next queued answer (an empty path is a cancel).
struct ShownSaveDialog
{
    QString caption;
    QString proposedPath;
    QString filters;
};

// The open dialog for one existing file; tests answer it through the same queue as the save dialog.
QString getOpenFileName(QWidget* parent, const QString& caption, const QString& folder, const QString& filters);

void setNextSaveFileAnswer(const QString& path, const QString& selectedFilter);
// The dialogs recorded since the last call, oldest first.
QList<ShownSaveDialog> takeShownSaveDialogs();
