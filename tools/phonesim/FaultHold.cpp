// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/FaultHold.h"

#include <QFileInfo>
#include <QThread>

namespace faulthold {

const QStringList& steps()
{
    static const QStringList names { QStringLiteral("service"), QStringLiteral("ready"), QStringLiteral("hello"),
        QStringLiteral("count"), QStringLiteral("batch"), QStringLiteral("end"), QStringLiteral("bye"),
        QStringLiteral("defsmsapp"), QStringLiteral("ack"), QStringLiteral("receive"), QStringLiteral("packages") };
    return names;
}

bool mustHold(const QString& releaseFile)
{
    return releaseFile.isEmpty() || !QFileInfo::exists(releaseFile);
}

void waitForRelease(const QString& releaseFile)
{
    while (mustHold(releaseFile))
        QThread::msleep(20);
}

} // namespace faulthold
