// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ExportResultBox.h"

#include "ops/ExportSMSThread.h"
#include "ui/MessageBoxes.h"
#include "ui/ShellOpen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

ExportResult exportResult(const ExportTarget& target)
{
    ExportResult result;
    switch (target.formatCode) {
    case ExportSMSThread::Html:
        result.file = QDir(target.path).filePath(QStringLiteral("index.html"));
        result.folder = target.path;
        break;
    case ExportSMSThread::Pdf:
        result.folder = target.path;
        break;
    default:
        result.file = target.path;
        result.folder = QFileInfo(target.path).absolutePath();
        break;
    }
    // An empty export leaves no file behind.
    if (!result.file.isEmpty() && !QFileInfo(result.file).isFile())
        result.file.clear();
    return result;
}

void showExportResultBox(const QString& text, const ExportResult& result)
{
    // OK only closes the box, and is the cautious answer of a scripted run.
    QList<LabelledButton> buttons;
    if (!result.file.isEmpty())
        buttons.append({ QMessageBox::Open, QCoreApplication::translate("MainWindow", "Open") });
    buttons.append({ QMessageBox::Apply, QCoreApplication::translate("MainWindow", "Open Folder") });
    buttons.append({ QMessageBox::Ok, QString() });
    switch (showLabelledMessageBox(QMessageBox::Information, text, buttons)) {
    case QMessageBox::Open:
        shellOpen(result.file);
        break;
    case QMessageBox::Apply:
        openFolderInExplorer(result.folder);
        break;
    default:
        break;
    }
}
