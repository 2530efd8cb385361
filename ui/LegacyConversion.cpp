// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LegacyConversion.h"

#include "base/DataFolders.h"
#include "ops/LocalDbUpdateThread.h"
#include "ui/ProgressForm.h"
#include "ui/WorkerRun.h"

#include <QMetaObject>
#include <QWidget>

bool convertLegacyDatabases(QWidget* mainWindow)
{
    const QDir folder = localDatabasesDir();
    const QStringList fileNames = LocalDbUpdateThread::legacyDatabaseFiles(folder);
    if (fileNames.isEmpty())
        return false;

    ProgressForm dialog(QString(), nullptr);
    dialog.setCancelEnabled(false);
    LocalDbUpdateThread worker(folder, fileNames, &dialog);
    if (!runWorkerWithDialog(worker, dialog))
        return false;
    QMetaObject::invokeMethod(mainWindow, "close", Qt::QueuedConnection);
    return true;
}
