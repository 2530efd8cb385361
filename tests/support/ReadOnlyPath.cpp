// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ReadOnlyPath.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

ReadOnlyPath::ReadOnlyPath(const QString& path)
    : m_path(path)
    , m_permissions(QFile::permissions(path))
{
    QFile::setPermissions(path,
        m_permissions
            & ~(QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup | QFileDevice::WriteOther));
    if (!isReadOnly())
        m_immutable = setImmutable(true);
}

ReadOnlyPath::~ReadOnlyPath()
{
    if (m_immutable)
        setImmutable(false);
    QFile::setPermissions(m_path, m_permissions);
}

bool ReadOnlyPath::isReadOnly() const
{
#ifdef Q_OS_LINUX
    return ::access(QFile::encodeName(m_path).constData(), W_OK) != 0;
#else
    return !(QFile::permissions(m_path) & QFileDevice::WriteUser);
#endif
}

bool ReadOnlyPath::setImmutable(bool on)
{
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
#else
    Q_UNUSED(on);
    return false;
#endif
}
