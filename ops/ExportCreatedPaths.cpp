// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportCreatedPaths.h"

#include "app/ShellServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

void ExportCreatedPaths::makeFolder(const QString& path)
{
    QString outermostMissing;
    for (QFileInfo folder(QDir::cleanPath(QFileInfo(path).absoluteFilePath())); !folder.exists();
         folder = QFileInfo(folder.absolutePath())) {
        outermostMissing = folder.absoluteFilePath();
        if (folder.isRoot())
            break;
    }
    if (!QDir().mkpath(path))
        throw std::runtime_error(QStringLiteral("can not create folder %1.").arg(path).toUtf8().toStdString());
    if (!outermostMissing.isEmpty())
        m_folders.append(outermostMissing);
}

void ExportCreatedPaths::addFile(const QString& path)
{
    m_files.append(path);
}

void ExportCreatedPaths::removeAll()
{
    for (const QString& file : std::as_const(m_files))
        QFile::remove(file);
    for (auto folder = m_folders.crbegin(); folder != m_folders.crend(); ++folder)
        removeFolderTree(*folder);
    m_files.clear();
    m_folders.clear();
}
