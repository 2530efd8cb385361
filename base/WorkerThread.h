// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/TaskReporting.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <exception>
#include <optional>

// The frame every worker thread runs in. run() calls work() and turns its outcome into exactly one
// report: its success text through postSucceed, a std::exception through postError (after
// abandon() has cleaned up), a TaskCancelled into nothing at all (after abandon()). While work()
// runs, the dialog's cancel flag is the one that blocking waits and SQLite statements on the thread
// look at, so a Cancel stops both at once. A subclass writes only its own steps in work() and abandon().
class WorkerThread : public QThread
{
    Q_OBJECT

public:
    ProgressReceiver* progress() const { return m_progress; }

protected:
    WorkerThread(ProgressReceiver* progress, QObject* parent);

    // The operation; returns the success text (empty closes the dialog without a box). Throws
    // std::exception on failure and TaskCancelled (through checkCancelled) when the user cancelled.
    virtual QString work() = 0;
    // Undoes or releases what an unfinished work() left behind; runs on failure and on cancel,
    // before any report, with waits and statements no longer stopped by the cancel flag. Must not throw.
    virtual void abandon() { }
    // The text of the error box for a failure of work().
    virtual QString errorText(const std::exception& error) const { return exceptionText(error); }

    // Throws TaskCancelled when the user has cancelled; called before each unit of work.
    void checkCancelled() const;
    void reportStatus(const QString& status, int curProgress);
    // Reports `done` units out of `total`: the truncated percentage, and progressFormat with %1 = done
    // and %2 = total (empty: the dialog's default text), under the status (empty keeps the shown one).
    // A post that would change neither the percentage nor the last unit's report is made at most
    // every 50 ms: a dialog can not show more, and a flood of queued posts only delays the GUI.
    void reportProgress(
        qint64 done, qint64 total, const QString& progressFormat = QString(), const QString& status = QString());
    // Posts the last report that reportProgress held back, if any: before a pause (the end of a batch),
    // so that the dialog never shows a stale count while the worker waits. Success does it too.
    void flushProgress();

private:
    void run() final;

    ProgressReceiver* m_progress;
    int m_lastPercent = -2;
    QElapsedTimer m_sinceLastPost;
    struct HeldReport
    {
        qint64 done = 0;
        qint64 total = 0;
        QString format;
        QString status;
    };
    std::optional<HeldReport> m_held;
};
