// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/FileCreationLoop.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

std::string nativePath(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
}

[[noreturn]] void fail(const char* what, const std::string& path)
{
    throw std::runtime_error(std::string(what) + " " + path);
}

} // namespace

namespace FileCreationLoop {

FolderContents readFolder(const QString& root)
{
    const QDir base(root);
    FolderContents contents;
    QDirIterator entries(root, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QFileInfo entry = entries.fileInfo();
        if (entry.isDir()) {
            contents.folders.push_back(base.relativeFilePath(path));
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            fail("can not read", path.toStdString());
        contents.files.push_back({ base.relativeFilePath(path), file.readAll() });
    }
    // A parent's path is a prefix of its children's and so sorts before them.
    std::sort(contents.folders.begin(), contents.folders.end());
    std::sort(contents.files.begin(), contents.files.end(),
        [](const FolderContents::File& a, const FolderContents::File& b) { return a.path < b.path; });
    return contents;
}

double createFolder(const QString& root, const FolderContents& contents)
{
    const QDir base(root);
    const std::string rootPath = nativePath(root);
    std::vector<std::string> folders;
    for (const QString& folder : contents.folders)
        folders.push_back(nativePath(base.filePath(folder)));
    std::vector<std::string> files;
    for (const FolderContents::File& file : contents.files)
        files.push_back(nativePath(base.filePath(file.path)));

    const auto start = std::chrono::steady_clock::now();
    if (!std::filesystem::create_directory(rootPath))
        fail("already exists:", rootPath);
    for (const std::string& folder : folders)
        std::filesystem::create_directory(folder);
    for (size_t i = 0; i < files.size(); ++i) {
        const QByteArray& bytes = contents.files[i].contents;
        std::FILE* file = std::fopen(files[i].c_str(), "wb");
        if (!file)
            fail("can not create", files[i]);
        // Unbuffered: the contents go out in one write, as a writer that has them at hand would.
        std::setvbuf(file, nullptr, _IONBF, 0);
        const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size());
        if (std::fclose(file) != 0 || !written)
            fail("can not write", files[i]);
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

} // namespace FileCreationLoop
