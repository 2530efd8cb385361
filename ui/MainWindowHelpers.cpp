// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindowHelpers.h"

#include "base/DataFolders.h"
#include "base/TaskReporting.h"
#include "ui/MessageBoxes.h"
#include "ui/models/ItemNodes.h"

#include <QFileInfo>
#include <QSettings>

QString escapeMarkup(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

void showReadError(const std::exception& error)
{
    showErrorBox(escapeMarkup(exceptionText(error)));
}

_AbsDBItemNode* asSourceNode(_ItemNode* node)
{
    if (node && (node->type == _ItemNode::TypeAndroidDevice || node->type == _ItemNode::TypeLocalDb))
        return static_cast<_AbsDBItemNode*>(node);
    return nullptr;
}

_AbsDBItemNode* asSource(_ItemNode* node, int type)
{
    return node && node->type == type ? static_cast<_AbsDBItemNode*>(node) : nullptr;
}

const QLatin1String exportFolderKey("dialogs/exportFolder");
const QLatin1String importFolderKey("dialogs/importFolder");

QDir rememberedFolder(const QLatin1String& key)
{
    const QString folder = QSettings(settingsFilePath(), QSettings::IniFormat).value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? QDir(folder) : QDir::home();
}

void rememberFolder(const QLatin1String& key, const QString& folder)
{
    QSettings(settingsFilePath(), QSettings::IniFormat).setValue(key, folder);
}
