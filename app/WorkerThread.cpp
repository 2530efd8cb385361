// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WorkerThread.h"

#include <exception>

WorkerThread::WorkerThread(ProgressReceiver* progress, QObject* parent)
    : QThread(parent)
    , m_progress(progress)
{
}

void WorkerThread::checkCancelled() const
{
    throwIfCancelled(m_progress);
}

void WorkerThread::reportStatus(const QString& status, int curProgress)
{
    postUpdateProgress(m_progress, status, curProgress, QString());
}

void WorkerThread::reportProgress(qint64 done, qint64 total, const QString& progressText)
{
    postUpdateProgress(m_progress, QString(), percentOf(done, total), progressText);
}

void WorkerThread::run()
{
    try {
        const QString successText = work();
        postSucceed(m_progress, successText);
    } catch (const TaskCancelled&) {
        abandon();
    } catch (const std::exception& error) {
        abandon();
        postError(m_progress, exceptionText(error));
    } catch (...) {
        // Nothing may leave run(): an exception escaping a QThread ends the program.
        abandon();
        postError(m_progress, QStringLiteral("unknown error."));
    }
}
