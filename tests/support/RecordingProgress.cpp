// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/RecordingProgress.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

RecordingProgress::RecordingProgress(QObject* parent)
    : QObject(parent)
{
}

bool RecordingProgress::waitForOutcome(QThread* worker, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!finished() && !deadline.hasExpired()) {
        if (worker && worker->isFinished()) {
            // Deliver what the worker posted just before it ended.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            break;
        }
        QTest::qWait(5);
    }
    return finished();
}

void RecordingProgress::runToEnd(QThread* worker, int timeoutMs)
{
    worker->start();
    waitForOutcome(worker, timeoutMs);
    worker->wait();
    QCoreApplication::processEvents();
}

void runDirect(QThread& worker, RecordingProgress& progress)
{
    progress.moveToThread(&worker);
    worker.start();
    QVERIFY(worker.wait(120000));
}

void RecordingProgress::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    updates.append({status, curProgress, progressText});
    if (cancelAfterUpdates >= 0 && updates.size() >= cancelAfterUpdates)
        cancelled = true;
}

void RecordingProgress::errorOccurred(const QString& text)
{
    if (!cancelled)
        errors.append(text);
}

void RecordingProgress::succeed(const QString& text)
{
    if (!cancelled)
        successes.append(text);
}

void RecordingProgress::tipsWait(const QString& info)
{
    tips.append(info);
    QTimer::singleShot(tipCloseDelayMs, this, [this] { waitingForTips = false; });
}
