// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

// "can not write PATH: REASON." for a file of an export.
std::runtime_error exportWriteError(const QString& path, const QString& reason);

// The files of one export and the folders it made. Each file is written under a temporary name of
// its own in the folder of its final name; commit() renames them all into place once the whole
// export has succeeded, so that a file that was there before is replaced in one step, and only then.
// A file in a folder that the export made itself, where nothing of the person's can be, is created
// under its final name straight away instead. A cancelled or failed export (discard()) leaves every
// file that existed before exactly as it was and takes away only what it made.
class ExportStaging
{
public:
    // What becomes of a file already at the final name: replaced, or kept and the new one dropped.
    enum class Existing { Replace, Keep };
    // What becomes of a device or pipe at the final name: written to as it is, or refused.
    enum class Devices { WriteDirectly, Refuse };

    ExportStaging() = default;
    // Discards whatever was not committed.
    ~ExportStaging();
    ExportStaging(const ExportStaging&) = delete;
    ExportStaging& operator=(const ExportStaging&) = delete;

    // Creates the folder and its missing parents; the outermost folder made here is remembered.
    // Throws std::runtime_error when the folder can not be made.
    void makeFolder(const QString& path);
    // Creates a new, empty file beside finalPath under a name no other file has and returns its path,
    // for a writer to fill; in a folder made here, finalPath itself when no file has that name. A device or pipe at
    // finalPath that may be written directly is returned itself: writing there replaces no file. Throws
    // std::runtime_error, naming finalPath, when it is a symbolic link (never written through), a folder or another
    // kind of file, or when the file can not be created. Given `created`, a file made here is left open on it,
    // unbuffered, for its writer to fill without opening it a second time; a device or pipe is not opened.
    QString stageFile(const QString& finalPath, Existing existing, Devices devices, QFile* created = nullptr);
    // Removes a staged file and forgets it, for a file that is left out after all.
    void unstage(const QString& stagedPath);
    // Renames every staged file onto its final name. When one can not be put in place, puts back
    // what it had replaced, removes what it had added, and throws std::runtime_error.
    void commit();
    // Removes the staged files, then the folders made here with everything in them.
    void discard();

private:
    struct File
    {
        QString finalPath;
        QString stagedPath; // finalPath itself for a device or pipe, and for a file made in place
        Existing existing;
        bool madeInPlace = false;
    };

    bool isMadeHere(const QString& folder) const;

    QList<File> m_files;
    QStringList m_folders; // the outermost folder of each makeFolder that made any
    QStringList m_madeFolders; // every folder made, cleaned absolute paths
};
