// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// What one export has put on disk, so that a cancelled or failed export takes away exactly that
// and leaves alone whatever the chosen folder held before.
class ExportCreatedPaths
{
public:
    // Creates the folder and its missing parents; the outermost folder made here is remembered.
    // Throws std::runtime_error when the folder can not be made.
    void makeFolder(const QString& path);
    // Remembers a file the export writes.
    void addFile(const QString& path);
    // Removes the remembered files, then the folders made here with everything in them.
    void removeAll();

private:
    QStringList m_files;
    QStringList m_folders;
};
