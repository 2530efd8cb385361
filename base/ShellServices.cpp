// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ShellServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool removeFolderOrLink(const QString& path, bool withHidden)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction()) {
        // A link to a folder is a file on some systems and an empty folder entry on others.
        if (!QFile::remove(path))
            QDir().rmdir(path);
        const QFileInfo left(path);
        return !left.exists() && !left.isSymLink();
    }
    return removeFolderTree(path, withHidden);
}
