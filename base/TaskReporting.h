// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <exception>

class QObject;

// What a worker thread sees of the progress dialog: the object that receives the queued reports and
// the two flags shared with it. The dialog writes `cancelled`; the worker sets `waitingForTips` and
// the dialog clears it once the user has closed the tip box.
class ProgressReceiver
{
public:
    std::atomic<bool> cancelled { false };
    std::atomic<bool> waitingForTips { false };

    // The object whose slots updateProgress, errorOccurred, succeed and tipsWait receive the posts.
    virtual QObject* reportTarget() = 0;

protected:
    ProgressReceiver() = default;
    ~ProgressReceiver() = default;
    ProgressReceiver(const ProgressReceiver&) = delete;
    ProgressReceiver& operator=(const ProgressReceiver&) = delete;
};

// Queued invocations of the receiver's slots; safe to call from any thread.
void postUpdateProgress(
    ProgressReceiver* receiver, const QString& status, int curProgress, const QString& progressText);
void postError(ProgressReceiver* receiver, const QString& text);
void postSucceed(ProgressReceiver* receiver, const QString& text);
// Sets waitingForTips first, then posts tipsWait.
void postTipsWait(ProgressReceiver* receiver, const QString& text);

// Sleeps in 200 ms steps while the dialog shows the tip posted by postTipsWait; returns early when cancelled.
void waitForTipsClosed(ProgressReceiver* receiver);

// Thrown by a worker that noticed the user's cancel; its run() swallows it without any report.
// Deliberately not a std::exception, so that the workers' error handlers never report it.
struct TaskCancelled
{
};

// Throws TaskCancelled when the user has cancelled.
void throwIfCancelled(ProgressReceiver* receiver);

// Makes the receiver's cancel flag the one that blocking waits on this thread look at (see
// throwIfTaskCancelled), for as long as the scope lives. Each worker's run() opens one first thing,
// so that waits deep inside the line protocol end on Cancel without a parameter in every call.
// A null receiver lets the waits of the scope run to their own time limits, for a last answer that
// is still worth having after a cancel.
class TaskCancelScope
{
public:
    explicit TaskCancelScope(ProgressReceiver* receiver);
    // For a thread that does part of a task's work: makes the task's flag (see currentTaskCancelFlag)
    // the one its waits and statements look at.
    explicit TaskCancelScope(const std::atomic<bool>* flag);
    explicit TaskCancelScope(std::nullptr_t)
        : TaskCancelScope(static_cast<ProgressReceiver*>(nullptr))
    {
    }
    ~TaskCancelScope();
    TaskCancelScope(const TaskCancelScope&) = delete;
    TaskCancelScope& operator=(const TaskCancelScope&) = delete;

private:
    const std::atomic<bool>* m_previous;
};

// True when the task running on this thread has been cancelled; false outside any TaskCancelScope.
bool taskCancelled();
// The cancel flag of the task running on this thread; null outside any TaskCancelScope.
const std::atomic<bool>* currentTaskCancelFlag();
// Throws TaskCancelled when the task running on this thread has been cancelled.
void throwIfTaskCancelled();

// Percentage of done in total, truncated toward zero, computed in floating point.
// A negative or zero total gives a negative value (the bar then stays where it is).
int percentOf(qint64 done, qint64 total);

// Text of a caught exception as shown to the user.
QString exceptionText(const std::exception& error);

// Longest text from a phone that an error message carries (and the log keeps).
inline constexpr qsizetype maxLoggedTextLength = 64 * 1024;

// The first maxLength characters of text followed by a mark that says how much was cut; text
// itself when it is not longer. Keeps a phone's endless text out of boxes and logs.
QString shortenedText(const QString& text, qsizetype maxLength);
