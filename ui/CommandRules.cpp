// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CommandRules.h"

#include "ops/ExportFormats.h"
#include "ui/MainWindow.h"
#include "ui/models/ItemNodes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// The node a command works on: a conversation stands for its device or database.
const _ItemNode* sourceOf(const _ItemNode* node)
{
    if (node && node->type == _ItemNode::TypeChatSession)
        return node->parent;
    return node;
}

const QString backupIcon = QStringLiteral(":res/backup.png");
const QString transferIcon = QStringLiteral(":res/db2a.png");
const QString exportIcon = QStringLiteral(":res/export.png");
const QString printIcon = QStringLiteral(":res/print.png");
const QString deleteIcon = QStringLiteral(":res/delete.png");

} // namespace

CommandActionStates commandActionStates(const _ItemNode* node, int deviceCount)
{
    CommandActionStates states;
    const _ItemNode* source = sourceOf(node);
    if (!source || (source->type != _ItemNode::TypeAndroidDevice && source->type != _ItemNode::TypeLocalDb))
        return states;
    states.exportMessages = true;
    states.print = true;
    states.backup = source->type == _ItemNode::TypeAndroidDevice;
    states.remove = source->type == _ItemNode::TypeLocalDb;
    states.transfer = source->type == _ItemNode::TypeLocalDb && deviceCount > 0;
    return states;
}

QList<CommandEntry> treeContextEntries(const _ItemNode* node, int deviceCount)
{
    if (!node)
        return {};
    const bool devicePresent = deviceCount > 0;
    switch (node->type) {
    case _ItemNode::TypeRootDevice:
        return { { tr("&Reload"), QString(), &MainWindow::miReload } };
    case _ItemNode::TypeRootLocalDb:
        return { { tr("&Open Database Folder"), QStringLiteral(":res/open_db_folder.png"),
            &MainWindow::miOpenDbFolder } };
    case _ItemNode::TypeAndroidDevice:
        return {
            { tr("&Backup SMS to Local Database"), backupIcon, &MainWindow::miBackupAll },
            { tr("&Export SMS to File"), exportIcon, &MainWindow::miExportAll },
            { tr("&Print SMS"), printIcon, &MainWindow::miPrintAll },
            { tr("&View Cache Files"), QString(), &MainWindow::miViewCache },
            { tr("&Disconnect Device"), QStringLiteral(":res/unmount.png"), &MainWindow::miUnmoutDevice },
            { tr("&Reload"), QString(), &MainWindow::miReload },
        };
    case _ItemNode::TypeLocalDb:
        return {
            { tr("&Transfer SMS from Database to Android"), transferIcon, &MainWindow::miDb2AAll, devicePresent },
            { tr("&Export SMS to File"), exportIcon, &MainWindow::miExportAll },
            { tr("&Print SMS"), printIcon, &MainWindow::miPrintAll },
            { tr("&Delete this Database"), deleteIcon, &MainWindow::miDelAll },
        };
    case _ItemNode::TypeChatSession:
        if (node->parent && node->parent->type == _ItemNode::TypeAndroidDevice)
            return {
                { tr("&Backup SMS with this contact to Local Database"), backupIcon, &MainWindow::miBackupChat },
                { tr("&Export SMS with this contact to File"), exportIcon, &MainWindow::miExportChat },
                { tr("&Print SMS with this contact"), printIcon, &MainWindow::miPrintChat },
            };
        if (node->parent && node->parent->type == _ItemNode::TypeLocalDb)
            return {
                { tr("&Transfer SMS with this contact to Android"), transferIcon, &MainWindow::miDb2AChat,
                    devicePresent },
                { tr("&Export SMS with this contact to File"), exportIcon, &MainWindow::miExportChat },
                { tr("&Print SMS with this contact"), printIcon, &MainWindow::miPrintChat },
                { tr("&Delete SMS with this contact"), deleteIcon, &MainWindow::miDelChat },
            };
        return {};
    default:
        return {};
    }
}

QList<CommandEntry> messageContextEntries(const _ItemNode* node, int deviceCount)
{
    const _ItemNode* source = sourceOf(node);
    if (!source)
        return {};
    if (source->type == _ItemNode::TypeAndroidDevice)
        return {
            { tr("&Backup Selected SMS to Local Database"), backupIcon, &MainWindow::miBackupSel },
            { tr("&Export Selected SMS to File"), exportIcon, &MainWindow::miExportSel },
            { tr("&Print Selected SMS"), printIcon, &MainWindow::miPrintSel },
        };
    if (source->type == _ItemNode::TypeLocalDb)
        return {
            { tr("&Transfer Selected SMS to Android"), transferIcon, &MainWindow::miDb2ASel, deviceCount > 0 },
            { tr("&Export Selected SMS to File"), exportIcon, &MainWindow::miExportSel },
            { tr("&Print Selected SMS"), printIcon, &MainWindow::miPrintSel },
            { tr("&Delete Selected SMS"), deleteIcon, &MainWindow::miDelSel },
        };
    return {};
}

QStringList exportFilters()
{
    QStringList filters;
    for (const ExportFormat& format : exportFormats())
        filters.append(tr(format.filter));
    return filters;
}

ExportTarget exportTarget(const QString& chosenPath, int filterIndex)
{
    const QList<ExportFormat>& formats = exportFormats();
    const ExportFormat& format = formats.at(filterIndex >= 0 && filterIndex < formats.size() ? filterIndex : 0);

    const QFileInfo chosen(chosenPath);
    if (format.folder) {
        // The folder is always made inside the chosen one, also for a name with nothing before its
        // first dot (".pdf").
        const QString base = chosen.suffix().isEmpty() ? chosen.fileName() : chosen.baseName();
        return { format.code, chosen.dir().filePath(exportFolderName(format, base)), format.evidence };
    }
    if (!chosen.suffix().isEmpty())
        return { format.code, chosenPath, format.evidence };
    return { format.code, chosenPath + QLatin1String(format.suffix), format.evidence };
}
