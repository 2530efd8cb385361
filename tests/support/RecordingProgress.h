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

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& text);
    void succeed(const QString& text);
    void tipsWait(const QString& info);
};
