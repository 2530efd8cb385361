// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/CacheStaging.h"

#include "android/AndroidLog.h"
#include "android/DeviceCacheLock.h"
#include "store/ExportMessagesDb.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace {

std::runtime_error cannotOverwrite(const QString& path)
{
    return std::runtime_error(QStringLiteral("can not overwrite %1.").arg(path).toStdString());
}

// A cache that is a folder, or sits in a folder we may not change, can not be replaced; anything
// else is found out when the committed load takes its place.
bool canReplace(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return (info.isFile() || info.isSymLink()) && QFileInfo(info.absolutePath()).isWritable();
}

// Files SQLite keeps beside a database: left over from the old cache they would be taken for the
// new one's and rolled into it.
const char* const sideFileSuffixes[] = { "-journal", "-wal", "-shm" };

// A folder between the cache folder and its database that is a symbolic link would make the load
// remove and replace files elsewhere.
void refuseLinkedFolders(const QDir& cacheFolder, const QString& cachePath)
{
    const QString top = QDir::cleanPath(cacheFolder.absolutePath());
    for (QString folder = QFileInfo(cachePath).absolutePath();; folder = QFileInfo(folder).absolutePath()) {
        if (QFileInfo(folder).isSymLink())
            throw std::runtime_error(QStringLiteral("%1 is a symbolic link; the cache is not replaced through it.")
                                         .arg(folder)
                                         .toStdString());
        if (folder.size() <= top.size())
            return;
    }
}

} // namespace

CacheStaging::CacheStaging(const QDir& cacheFolder, const QString& mmc)
    : m_cacheFolder(cacheFolder)
    , m_mmc(mmc)
    , m_cachePath(IOS6MessageDb(cacheFolder, mmc, false).dbPath())
{
}

CacheStaging::~CacheStaging()
{
    drop();
}

QString CacheStaging::stagingFolderPrefix()
{
    return QStringLiteral(".loading");
}

QDir CacheStaging::cacheFileRelay() const
{
    return IOS6MessageDb(m_cacheFolder, m_mmc, false).fileRelayDir();
}

void CacheStaging::prepareCacheFolder()
{
    refuseLinkedFolders(m_cacheFolder, m_cachePath);
    if (!canReplace(m_cachePath))
        throw cannotOverwrite(m_cachePath);

    // With the lock held no other load is running, so every staging folder left here belongs to a
    // load that was cut short by a crash. A link is removed itself, never what it points to.
    const QFileInfoList leftovers = m_cacheFolder.entryInfoList({ stagingFolderPrefix() + QLatin1Char('*') },
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& leftover : leftovers) {
        const bool removed = leftover.isDir() && !leftover.isSymLink()
            ? QDir(leftover.absoluteFilePath()).removeRecursively()
            : QFile::remove(leftover.absoluteFilePath());
        if (!removed)
            throw cannotOverwrite(leftover.absoluteFilePath());
    }
}

ExportMessagesDb& CacheStaging::begin(ProgressReceiver* progress)
{
    refuseLinkedFolders(m_cacheFolder, m_cachePath);
    m_lock = std::make_unique<DeviceCacheLock>(m_cacheFolder);
    m_lock->acquire(progress);
    prepareCacheFolder();
    m_staging
        = std::make_unique<QTemporaryDir>(m_cacheFolder.filePath(stagingFolderPrefix() + QStringLiteral("-XXXXXX")));
    if (!m_staging->isValid())
        throw cannotOverwrite(m_staging->path());
    m_writer = std::make_unique<ExportMessagesDb>(QDir(m_staging->path()), m_mmc);
    m_stagedPath = m_writer->db().dbPath();
    m_writer->begin();
    return *m_writer;
}

void CacheStaging::commit()
{
    m_writer->end();
    m_added = m_writer->addedMessages();
    m_known = m_writer->knownMessages();
    m_writer.reset();
}

void CacheStaging::replaceCache()
{
    if (!canReplace(m_cachePath) || !QDir().mkpath(QFileInfo(m_cachePath).absolutePath()))
        throw cannotOverwrite(m_cachePath);
    for (const char* suffix : sideFileSuffixes) {
        const QString sideFile = m_cachePath + QLatin1String(suffix);
        if (QFileInfo::exists(sideFile) && !QFile::remove(sideFile))
            throw cannotOverwrite(m_cachePath);
    }
    std::error_code error;
    std::filesystem::rename(
        QFile::encodeName(m_stagedPath).toStdString(), QFile::encodeName(m_cachePath).toStdString(), error);
    if (error)
        throw cannotOverwrite(m_cachePath);
    // The cache refers to the files now.
    m_createdFiles.clear();
    m_staging.reset();
    m_lock.reset();
}

void CacheStaging::drop()
{
    // The writer goes without end: its transaction is rolled back and the staging folder is removed
    // with it, so nothing of this load remains and the previous cache stays as it was.
    m_writer.reset();
    for (const QString& file : std::as_const(m_createdFiles))
        QFile::remove(file);
    m_createdFiles.clear();
    if (m_staging && !m_staging->remove())
        qCWarning(lcAndroid) << "can not remove the staging folder" << m_staging->path();
    m_staging.reset();
    m_lock.reset();
}
