// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WorkerRun.h"

#include "ui/ProgressForm.h"

#include <QCoreApplication>
#include <QThread>

bool runWorkerWithDialog(QThread& worker, ProgressForm& dialog, int showAfterMs)
{
    worker.start(QThread::InheritPriority);
    if (showAfterMs > 0 && worker.wait(showAfterMs)) {
        // The worker's last reports are queued to the dialog; they close it as its run would have.
        QCoreApplication::sendPostedEvents(&dialog);
        return dialog.result() == 1 && !dialog.cancelled;
    }
    const int result = dialog.exec();
    // After a cancel the worker ends at its next check of the cancelled flag.
    worker.wait();
    return result == 1 && !dialog.cancelled;
}
