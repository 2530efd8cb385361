// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Gives the test process a mount namespace of its own, so that it can mount small file systems that
// no other process sees. Call it first thing in main(), before any thread starts: a namespace
// entered later holds only the calling thread, and worker threads would not see the mounts. Returns
// false where the system allows no such namespace.
bool enterPrivateMountNamespace();

// A memory file system of the given size mounted on an existing folder while the object lives: a
// disk that fills up for real. Device files made on it work, unlike on most /tmp folders. Needs
// enterPrivateMountNamespace().
class SmallFileSystem
{
public:
    SmallFileSystem(const QString& folder, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool isMounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};
