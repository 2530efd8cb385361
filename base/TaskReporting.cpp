// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TaskReporting.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

void postUpdateProgress(ProgressReceiver* receiver, const QString& status, int curProgress, const QString& progressText)
{
    QMetaObject::invokeMethod(receiver->reportTarget(), "updateProgress", Qt::AutoConnection, Q_ARG(QString, status),
        Q_ARG(int, curProgress), Q_ARG(QString, progressText));
}

void postError(ProgressReceiver* receiver, const QString& text)
{
    QMetaObject::invokeMethod(receiver->reportTarget(), "errorOccurred", Qt::AutoConnection, Q_ARG(QString, text));
}

void postSucceed(ProgressReceiver* receiver, const QString& text)
{
    QMetaObject::invokeMethod(receiver->reportTarget(), "succeed", Qt::AutoConnection, Q_ARG(QString, text));
}

void postTipsWait(ProgressReceiver* receiver, const QString& text)
{
    receiver->waitingForTips = true;
    QMetaObject::invokeMethod(receiver->reportTarget(), "tipsWait", Qt::AutoConnection, Q_ARG(QString, text));
}

void waitForTipsClosed(ProgressReceiver* receiver)
{
    // A cancel that overtook the tip closes the dialog before the tip is shown: stop waiting then too,
    // or the caller, blocked until this thread ends, would never let the tip be answered.
    while (receiver->waitingForTips && !receiver->cancelled)
        QThread::msleep(200);
}

void throwIfCancelled(ProgressReceiver* receiver)
{
    if (receiver->cancelled)
        throw TaskCancelled();
}

namespace {

thread_local const std::atomic<bool>* currentCancelFlag = nullptr;

} // namespace

TaskCancelScope::TaskCancelScope(ProgressReceiver* receiver)
    : m_previous(currentCancelFlag)
{
    currentCancelFlag = receiver ? &receiver->cancelled : nullptr;
}

TaskCancelScope::TaskCancelScope(const std::atomic<bool>* flag)
    : m_previous(currentCancelFlag)
{
    currentCancelFlag = flag;
}

TaskCancelScope::~TaskCancelScope()
{
    currentCancelFlag = m_previous;
}

bool taskCancelled()
{
    return currentCancelFlag && currentCancelFlag->load();
}

const std::atomic<bool>* currentTaskCancelFlag()
{
    return currentCancelFlag;
}

void throwIfTaskCancelled()
{
    if (taskCancelled())
        throw TaskCancelled();
}

int percentOf(qint64 done, qint64 total)
{
    if (total <= 0)
        return -1;
    return static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total));
}

QString exceptionText(const std::exception& error)
{
    return QString::fromUtf8(error.what());
}

QString shortenedText(const QString& text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text;
    return text.left(maxLength) + QStringLiteral(" [... %1 more characters cut]").arg(text.size() - maxLength);
}
