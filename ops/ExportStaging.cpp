// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportStaging.h"

#include "base/ShellServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return fs::path(path.toStdWString());
#else
    return fs::path(QFile::encodeName(path).toStdString());
#endif
}

// The kind of entry at the path itself; a symbolic link is not followed.
fs::file_type entryType(const QString& path)
{
    std::error_code error;
    return fs::symlink_status(nativePath(path), error).type();
}

QString reasonOf(const std::error_code& error)
{
    return QString::fromLocal8Bit(error.message().c_str());
}

// Refuses a final name the export may not write to or replace.
void checkReplaceable(const QString& path, fs::file_type type)
{
    switch (type) {
    case fs::file_type::not_found:
        return;
    case fs::file_type::regular:
        // A file the person made read-only is not replaced behind that protection.
        if (!QFileInfo(path).isWritable())
            throw exportWriteError(path, qt_error_string(EACCES));
        return;
    case fs::file_type::symlink:
        throw std::runtime_error(
            QStringLiteral("%1 is a symbolic link; the export does not write through it.").arg(path).toStdString());
    case fs::file_type::directory:
        throw exportWriteError(path, QStringLiteral("it is a folder"));
    default:
        throw exportWriteError(path, QStringLiteral("it is not a plain file"));
    }
}

// A name in the folder that no file is likely to have; whoever creates it checks that it is new.
QString temporaryName(const QString& folder, const char* kind)
{
    return QDir(folder).filePath(QStringLiteral(".quillbarrow-export-%1.%2")
                                     .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'))
                                     .arg(QLatin1String(kind)));
}

// Keeps the file at `path` under a new name in the same folder, as a second link to it where the
// file system allows, so that the file stays in place until the new one replaces it in one step.
// Returns the new name.
QString keepAside(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    std::error_code error;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString kept = temporaryName(folder, "old");
        fs::create_hard_link(nativePath(path), nativePath(kept), error);
        if (!error)
            return kept;
        if (error != std::errc::file_exists)
            break;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString kept = temporaryName(folder, "old");
        if (entryType(kept) != fs::file_type::not_found)
            continue;
        fs::rename(nativePath(path), nativePath(kept), error);
        if (error)
            throw exportWriteError(path, reasonOf(error));
        return kept;
    }
    throw exportWriteError(path, reasonOf(error));
}

// Undoes keepAside when the new file did not take the final name: the file there is the old one
// still, or nothing when keepAside had to move it away.
void putBack(const QString& kept, const QString& path)
{
    std::error_code error;
    if (entryType(path) == fs::file_type::not_found)
        fs::rename(nativePath(kept), nativePath(path), error);
    else
        fs::remove(nativePath(kept), error);
}

} // namespace

std::runtime_error exportWriteError(const QString& path, const QString& reason)
{
    return std::runtime_error(QStringLiteral("can not write %1: %2.").arg(path, reason).toUtf8().toStdString());
}

ExportStaging::~ExportStaging()
{
    discard();
}

void ExportStaging::makeFolder(const QString& path)
{
    QStringList missing;
    for (QFileInfo folder(QDir::cleanPath(QFileInfo(path).absoluteFilePath())); !folder.exists();
         folder = QFileInfo(folder.absolutePath())) {
        missing.append(folder.absoluteFilePath());
        if (folder.isRoot())
            break;
    }
    if (!QDir().mkpath(path))
        throw std::runtime_error(QStringLiteral("can not create folder %1.").arg(path).toUtf8().toStdString());
    if (!missing.isEmpty())
        m_folders.append(missing.last());
    m_madeFolders.append(missing);
}

bool ExportStaging::isMadeHere(const QString& folder) const
{
    return !m_madeFolders.isEmpty() && m_madeFolders.contains(QDir::cleanPath(folder));
}

QString ExportStaging::stageFile(const QString& finalPath, Existing existing, Devices devices, QFile* created)
{
    // Only a file this call creates is the export's: never one that is there already, nor a link
    // someone put in its place.
    QFile ownFile;
    QFile& file = created ? *created : ownFile;
    const auto create = [&](const QString& path) {
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return false;
        if (!created)
            file.close();
        return true;
    };

    const QString folder = QFileInfo(finalPath).absolutePath();
    // Nothing but this export's own files can be in a folder it made: the file needs no temporary
    // name, which saves a rename and its checks for each of the thousands of pages of an export.
    // One that is there after all, or a link put in its place, takes the way of any other folder.
    if (isMadeHere(folder) && create(finalPath)) {
        m_files.append({ finalPath, finalPath, existing, true });
        return finalPath;
    }

    const fs::file_type type = entryType(finalPath);
    if (devices == Devices::WriteDirectly && (type == fs::file_type::character || type == fs::file_type::fifo)) {
        m_files.append({ finalPath, finalPath, existing });
        return finalPath;
    }
    checkReplaceable(finalPath, type);

    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString staged = temporaryName(folder, "tmp");
        if (create(staged)) {
            m_files.append({ finalPath, staged, existing });
            return staged;
        }
        if (entryType(staged) == fs::file_type::not_found)
            throw exportWriteError(finalPath, file.errorString());
    }
    throw exportWriteError(finalPath, QStringLiteral("no temporary name is free"));
}

void ExportStaging::unstage(const QString& stagedPath)
{
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).stagedPath == stagedPath) {
            if (stagedPath != m_files.at(i).finalPath || m_files.at(i).madeInPlace)
                QFile::remove(stagedPath);
            m_files.removeAt(i);
            return;
        }
    }
}

void ExportStaging::commit()
{
    struct Placed
    {
        QString finalPath;
        QString kept; // the file that was there before, empty when there was none
    };
    QList<Placed> placed;
    try {
        for (const File& file : std::as_const(m_files)) {
            if (file.stagedPath == file.finalPath)
                continue;
            const fs::file_type type = entryType(file.finalPath);
            checkReplaceable(file.finalPath, type);
            // The staged name must still hold the regular file made for it.
            if (entryType(file.stagedPath) != fs::file_type::regular)
                throw exportWriteError(file.finalPath, QStringLiteral("its temporary file is gone"));
            if (type == fs::file_type::regular && file.existing == Existing::Keep) {
                QFile::remove(file.stagedPath);
                continue;
            }
            QString kept;
            if (type == fs::file_type::regular) {
                QFile::setPermissions(file.stagedPath, QFile::permissions(file.finalPath));
                kept = keepAside(file.finalPath);
            }
            std::error_code error;
            fs::rename(nativePath(file.stagedPath), nativePath(file.finalPath), error);
            if (error) {
                if (!kept.isEmpty())
                    putBack(kept, file.finalPath);
                throw exportWriteError(file.finalPath, reasonOf(error));
            }
            placed.append({ file.finalPath, kept });
        }
    } catch (...) {
        for (auto it = placed.crbegin(); it != placed.crend(); ++it) {
            std::error_code error;
            if (it->kept.isEmpty())
                fs::remove(nativePath(it->finalPath), error);
            else
                fs::rename(nativePath(it->kept), nativePath(it->finalPath), error);
        }
        throw;
    }
    for (const Placed& file : std::as_const(placed)) {
        if (!file.kept.isEmpty())
            QFile::remove(file.kept);
    }
    m_files.clear();
    m_folders.clear();
    m_madeFolders.clear();
}

void ExportStaging::discard()
{
    for (const File& file : std::as_const(m_files)) {
        if (file.stagedPath != file.finalPath || file.madeInPlace)
            QFile::remove(file.stagedPath);
    }
    for (auto folder = m_folders.crbegin(); folder != m_folders.crend(); ++folder)
        removeFolderTree(*folder);
    m_files.clear();
    m_folders.clear();
    m_madeFolders.clear();
}
