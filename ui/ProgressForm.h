// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/TaskReporting.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class WinMovable;

// The modal progress dialog shown while a worker thread runs one long operation. The worker posts
// to its slots (see TaskReporting.h) and polls its flags; the dialog closes only through done(),
// called by errorOccurred, succeed or cancel, never by Enter, Escape or a close request.
class ProgressForm : public QDialog, public ProgressReceiver
{
    Q_OBJECT

public:
    explicit ProgressForm(const QString& status, QWidget* parent = nullptr);
    ~ProgressForm() override;

    QObject* reportTarget() override { return this; }

    void setCancelEnabled(bool enabled);
    // Keeps the success text for the caller to show after the worker has ended, instead of
    // showing it in a plain box.
    void keepSuccessText(bool keep) { m_keepSuccessText = keep; }
    QString successText() const { return m_successText; }

    void accept() override;
    void reject() override;

signals:
    void userCacel();

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& text);
    void succeed(const QString& tipsStr);
    void onFinish(int result);
    void tipsWait(const QString& info);
    void cancel();

private:
    WinMovable* movable;
    QLabel* lbStatus;
    QProgressBar* progressBar;
    QLabel* lbProgress;
    QPushButton* btnCancel;
    // Set once the dialog has finished: reports that arrive later belong to nobody and are dropped.
    bool closed = false;
    bool m_keepSuccessText = false;
    QString m_successText;
};
