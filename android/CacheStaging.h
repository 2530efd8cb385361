// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <memory>

class DeviceCacheLock;
class ExportMessagesDb;
class ProgressReceiver;
class QTemporaryDir;

// The way a load of a phone gets into the device's cache database: the load is written into a
// staging database of its own inside the cache folder and replaces the cache only once it has been
// committed, so a failed or cancelled load leaves the previous cache as it was. The cache's lock is
// held from begin until the cache has been replaced or the load dropped: a second load or a transfer
// to the same device waits for it a short time, then gives up with a message.
class CacheStaging
{
public:
    CacheStaging(const QDir& cacheFolder, const QString& mmc);
    // Drops whatever has not been committed and replaced.
    ~CacheStaging();
    CacheStaging(const CacheStaging&) = delete;
    CacheStaging& operator=(const CacheStaging&) = delete;

    // Start of the names of the folders inside the cache folder that hold a load until it has been
    // committed; each load makes one of its own.
    static QString stagingFolderPrefix();

    // Takes the lock, clears what loads cut short by a crash left behind, and starts the staging
    // database's transaction. Throws with "can not overwrite %1." when the cache can not be replaced.
    ExportMessagesDb& begin(ProgressReceiver* progress);
    ExportMessagesDb& writer() { return *m_writer; }
    // The cache's store folder, where attachment files are kept.
    const QDir& cacheFolder() const { return m_cacheFolder; }
    // The file-relay folder of the cache itself (not of the staging database): a file written there
    // is noted with noteCreatedFile, so that a dropped load removes it again.
    QDir cacheFileRelay() const;
    void noteCreatedFile(const QString& path) { m_createdFiles.append(path); }

    // Commits and closes the staging database; its counts stay readable.
    void commit();
    qint64 addedMessages() const { return m_added; }
    qint64 knownMessages() const { return m_known; }
    // Moves the committed database over the cache's in one step and lets the lock go.
    void replaceCache();
    // Rolls the staging database back, removes it and every file noted as created, and lets the lock go.
    void drop();

private:
    void prepareCacheFolder();

    const QDir m_cacheFolder;
    const QString m_mmc;
    const QString m_cachePath;
    std::unique_ptr<DeviceCacheLock> m_lock;
    std::unique_ptr<QTemporaryDir> m_staging;
    std::unique_ptr<ExportMessagesDb> m_writer;
    QString m_stagedPath;
    QStringList m_createdFiles;
    qint64 m_added = 0;
    qint64 m_known = 0;
};
