// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PeakMemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

double peakResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // /proc files report a size of 0, so the file is read to its end rather than by its size.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith("VmHWM:"))
            continue;
        const QByteArray kib = line.mid(6).trimmed().split(' ').value(0);
        bool ok = false;
        const double value = kib.toDouble(&ok);
        return ok ? value / 1024.0 : -1;
    }
    return -1;
}

bool resetPeakResident()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    // Writing 5 to clear_refs sets the peak resident set to the present one.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}
