// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The floor of an export into a folder of files: the same folders and files, with the same names
// and contents, each file created, written in one piece and closed, and nothing else.
namespace FileCreationLoop {

// The folders and files below a folder, as paths relative to it, with each file's contents.
struct FolderContents
{
    struct File
    {
        QString path;
        QByteArray contents;
    };
    std::vector<QString> folders; // parents before their children
    std::vector<File> files;
};

FolderContents readFolder(const QString& root);

// Creates root, which must not exist yet, with the folders and files of contents and returns the
// seconds it took.
double createFolder(const QString& root, const FolderContents& contents);

} // namespace FileCreationLoop
