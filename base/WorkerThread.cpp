// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/WorkerThread.h"

#include <exception>
#include <utility>

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

void WorkerThread::reportProgress(qint64 done, qint64 total, const QString& progressFormat, const QString& status)
{
    const int percent = percentOf(done, total);
    if (percent == m_lastPercent && done != total && m_sinceLastPost.isValid() && m_sinceLastPost.elapsed() < 50) {
        m_held = HeldReport { done, total, progressFormat, status };
        return;
    }
    m_held.reset();
    m_lastPercent = percent;
    m_sinceLastPost.start();
    const QString text
        = progressFormat.isEmpty() ? QString() : progressFormat.arg(QString::number(done), QString::number(total));
    postUpdateProgress(m_progress, status, percent, text);
}

void WorkerThread::flushProgress()
{
    if (!m_held)
        return;
    const HeldReport held = *std::exchange(m_held, std::nullopt);
    m_lastPercent = percentOf(held.done, held.total);
    m_sinceLastPost.start();
    const QString text
        = held.format.isEmpty() ? QString() : held.format.arg(QString::number(held.done), QString::number(held.total));
    postUpdateProgress(m_progress, held.status, m_lastPercent, text);
}

void WorkerThread::run()
{
    enum class Outcome { Succeeded, Cancelled, Failed };
    Outcome outcome = Outcome::Succeeded;
    QString text;
    {
        const TaskCancelScope cancelScope(m_progress);
        try {
            text = work();
        } catch (const TaskCancelled&) {
            outcome = Outcome::Cancelled;
        } catch (const std::exception& error) {
            outcome = Outcome::Failed;
            text = errorText(error);
        } catch (...) {
            // Nothing may leave run(): an exception escaping a QThread ends the program.
            outcome = Outcome::Failed;
        }
    }
    if (outcome == Outcome::Succeeded) {
        flushProgress();
        postSucceed(m_progress, text);
        return;
    }
    // Outside the cancel scope: a rollback, or a write that keeps what the phone already holds, must
    // run to its end rather than stop half-way because the user cancelled.
    abandon();
    if (outcome == Outcome::Failed)
        postError(m_progress, text.isEmpty() ? QStringLiteral("unknown error.") : text);
}
