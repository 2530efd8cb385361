// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ImportXmlScenario.h"

#include "bench/IgnoringProgress.h"
#include "bench/OpsScenarios.h"
#include "bench/PeakMemory.h"
#include "bench/SyntheticRecords.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/XmlImportThread.h"
#include "ops/export/ExportSMSXml.h"

#include <QFile>

#include <memory>
#include <stdexcept>

namespace {

void writeBackupFile(const BenchContext& context, const QString& path)
{
    const auto records = std::make_unique<SyntheticRecords>(context.messageCount, context.seed, context.mcc);
    ExportSMSXml writer(path);
    writer.begin();
    for (const _MsgMessage& message : records->messages())
        writer.write(message);
    writer.end();
}

} // namespace

ScenarioResult runImportXmlScenario(const BenchContext& context)
{
    const QString xmlPath = context.workDir.filePath(QStringLiteral("import.xml"));
    const QDir target(context.workDir.filePath(QStringLiteral("imported")));
    QDir(target).removeRecursively();
    writeBackupFile(context, xmlPath);
    resetPeakResident();

    IgnoringProgress progress;
    XmlImportThread worker(xmlPath, target, context.mcc, &progress);
    ScenarioResult result = timeWorker(worker, progress, 0);
    result.messages = worker.messagesRead();
    // The index update the import queued would fail on the removed folder.
    stopSearchIndexUpdate(target);
    QDir(target).removeRecursively();
    QFile::remove(xmlPath);
    return result;
}
