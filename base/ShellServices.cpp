// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ShellServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

void openFolderInExplorer(const QString& path)
{
#ifdef Q_OS_WIN
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer"));
    explorer.setNativeArguments(QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"'));
    explorer.startDetached();
#else
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

void shellOpen(const QString& target)
{
    // Web addresses pass unchanged; a document path becomes a file URL.
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

bool removeFolderTree(const QString& path, bool withHidden)
{
    QDir folder(path);
    if (folder.exists()) {
        QDir::Filters filter = QDir::AllEntries | QDir::NoDotAndDotDot;
        // System entries are broken links, sockets and pipes: they keep a folder as much as files do.
        if (withHidden)
            filter |= QDir::Hidden | QDir::System;
        const QFileInfoList entries = folder.entryInfoList(filter, QDir::Unsorted);
        for (const QFileInfo& entry : entries) {
            // Following a link into a folder would empty a folder outside the tree being removed.
            if (entry.isDir() && !entry.isSymLink() && !entry.isJunction())
                removeFolderTree(entry.absoluteFilePath(), withHidden);
            else
                folder.remove(entry.fileName());
        }
        QDir().rmdir(folder.absolutePath());
    }
    const QFileInfo left(path);
    return !left.exists() && !left.isSymLink();
}
