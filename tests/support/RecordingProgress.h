// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/TaskReporting.h"

#include <QObject>
#include <QStringList>

// A progress receiver for worker tests: records every post in the GUI thread instead of showing
// a dialog. The tip box is "closed" at once (or after tipCloseDelayMs), like a user pressing OK.
class RecordingProgress : public QObject, public ProgressReceiver
{
    Q_OBJECT

public:
    struct Update
    {
        QString status;
        int progress;
        QString text;
    };

    explicit RecordingProgress(QObject* parent = nullptr);

    QObject* reportTarget() override { return this; }

    QList<Update> updates;
    QStringList errors;
    QStringList successes;
    QStringList tips;
    int tipCloseDelayMs = 0;

    // Cancels (as the dialog's Cancel button would) once `count` progress updates have arrived.
    int cancelAfterUpdates = -1;

    bool finished() const { return !errors.isEmpty() || !successes.isEmpty(); }
    // Runs the event loop until an error or success arrived or the thread ended; true if one arrived.
    bool waitForOutcome(class QThread* worker, int timeoutMs = 60000);
    // Starts the worker and returns once it has ended and everything it posted has been recorded.
    void runToEnd(QThread* worker, int timeoutMs = 120000);

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& text);
    void succeed(const QString& text);
    void tipsWait(const QString& info);
};

// Runs the worker with the receiver moved into the worker's thread, so that the reports arrive
// while the worker runs (a cancel after k updates is seen before update k + 1, whatever the load).
void runDirect(QThread& worker, RecordingProgress& progress);
