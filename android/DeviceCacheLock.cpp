// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/DeviceCacheLock.h"

#include "base/TaskReporting.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <stdexcept>

namespace {

// How often a wait for the lock looks at the cancel flag.
constexpr int cancelPollMs = 100;

} // namespace

DeviceCacheLock::DeviceCacheLock(const QDir& cacheFolder)
    : m_file(cacheFolder.filePath(fileName()))
{
    // A lock is stale only when its owner has gone; a long load of a large phone still holds it.
    m_file.setStaleLockTime(0);
}

void DeviceCacheLock::acquire(ProgressReceiver* progress, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        const qint64 remaining = deadline.isForever() ? cancelPollMs : deadline.remainingTime();
        const int step = static_cast<int>(std::min<qint64>(cancelPollMs, remaining));
        if (m_file.tryLock(step))
            return;
        if (m_file.error() != QLockFile::LockFailedError)
            throw std::runtime_error(QStringLiteral("can not lock %1.").arg(m_file.fileName()).toStdString());
        if (deadline.hasExpired())
            break;
        throwIfCancelled(progress);
    }
    throw std::runtime_error(
        QStringLiteral("The messages of this phone are being loaded or sent by another task. Try again when it has "
                       "finished.")
            .toStdString());
}

QString DeviceCacheLock::fileName()
{
    return QStringLiteral("cache.lock");
}
