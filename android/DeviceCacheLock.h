// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

class ProgressReceiver;

// Keeps a device's cache database to one worker at a time, in this process or another instance of
// the application: a load replaces the database, a transfer to the phone writes into it. Held from
// acquire until destruction.
class DeviceCacheLock
{
public:
    // How long acquire waits for the worker holding the lock before giving up.
    static constexpr int defaultWaitMs = 3000;

    explicit DeviceCacheLock(const QDir& cacheFolder);

    // Waits up to waitMs (a negative time: for as long as it takes) while the lock is taken, ending early on the user's
    // cancel (TaskCancelled). Throws std::runtime_error with a text for the user when the lock stays taken.
    void acquire(ProgressReceiver* progress, int waitMs = defaultWaitMs);

    // The lock file inside the cache folder.
    static QString fileName();

private:
    QLockFile m_file;
};
