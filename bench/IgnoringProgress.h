// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/TaskReporting.h"

#include <QObject>
#include <QString>

// A progress receiver for the benchmark: takes every post without showing anything and keeps only
// the outcome.
class IgnoringProgress : public QObject, public ProgressReceiver
{
    Q_OBJECT

public:
    QObject* reportTarget() override { return this; }

    bool succeeded = false;
    QString error;

public slots:
    void updateProgress(const QString&, int, const QString&) { }
    void errorOccurred(const QString& text) { error = text; }
    void succeed(const QString&) { succeeded = true; }
    void tipsWait(const QString&) { waitingForTips = false; }
};
