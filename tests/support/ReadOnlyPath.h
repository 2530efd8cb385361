// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDevice>
#include <QString>

// Makes a file or folder unwritable for this process while it lives, and writable again afterwards.
// Permission bits do not stop root, so as root it sets the file system's immutable flag as well.
class ReadOnlyPath
{
public:
    explicit ReadOnlyPath(const QString& path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath&) = delete;
    ReadOnlyPath& operator=(const ReadOnlyPath&) = delete;

    // Whether writing is refused now; false where this machine offers no way to refuse it.
    bool isReadOnly() const;

private:
    bool setImmutable(bool on);

    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_immutable = false;
};
