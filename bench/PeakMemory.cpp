// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PeakMemory.h"

#include <QByteArray>
#include <QFile>

double peakResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // /proc files report no size, so read line by line until the entry appears.
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (!line.startsWith("VmHWM:"))
            continue;
        const QByteArray kib = line.mid(6).trimmed().split(' ').value(0);
        bool ok = false;
        const double value = kib.toDouble(&ok);
        return ok ? value / 1024.0 : -1;
    }
    return -1;
}
