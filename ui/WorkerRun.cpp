// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WorkerRun.h"

#include "ui/ProgressForm.h"

#include <QThread>

bool runWorkerWithDialog(QThread& worker, ProgressForm& dialog)
{
    worker.start(QThread::InheritPriority);
    const int result = dialog.exec();
    // After a cancel the worker ends at its next check of the cancelled flag.
    worker.wait();
    return result == 1 && !dialog.cancelled;
}
