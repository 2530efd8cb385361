// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/SimLog.h"

#include <QMutex>
#include <QTime>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<int> violations { 0 };

} // namespace

void simLog(const QString& text)
{
    static QMutex mutex;
    const QByteArray line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toUtf8()
        + " qsms-phone-sim: " + text.toUtf8() + '\n';
    QMutexLocker lock(&mutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void simViolation(const QString& text)
{
    ++violations;
    simLog(QStringLiteral("protocol violation: ") + text);
}

int simViolationCount()
{
    return violations;
}
