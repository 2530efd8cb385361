// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/OpsScenarios.h"

#include "bench/FileCreationLoop.h"
#include "bench/IgnoringProgress.h"
#include "bench/PeakMemory.h"
#include "bench/RunSummary.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/BackupSMSThread.h"
#include "ops/ExportSMSThread.h"
#include "store/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <stdexcept>

namespace {

constexpr qsizetype pdfMessageLimit = 10000;
constexpr int htmlRuns = 3;

// Every message of the filled store in list order, read before the clock starts.
struct StoreMessages
{
    _MsgCollection collection;
    QList<_MsgMessage*> list;

    explicit StoreMessages(const BenchContext& context)
    {
        IOS6MessageDb store(context.storeDir(), context.mcc, true);
        store.chats(collection);
        store.messages(collection, 0);
        list = collection.messages().values();
        sortMessages(list, true);
    }
};

void removeOutput(const QString& path)
{
    QDir(path).removeRecursively();
    QFile::remove(path);
}

// A path below the work folder that no run of any process has used.
QString unusedPath(const BenchContext& context, const QString& stem)
{
    static int used = 0;
    return context.workDir.filePath(
        QStringLiteral("%1-%2-%3").arg(stem).arg(QCoreApplication::applicationPid()).arg(++used));
}

ScenarioResult runExport(const BenchContext& context, unsigned format, const QString& outputName)
{
    StoreMessages messages(context);
    if (format == ExportSMSThread::Pdf && messages.list.size() > pdfMessageLimit)
        messages.list = messages.list.mid(0, pdfMessageLimit);
    const QString output = context.workDir.filePath(outputName);
    removeOutput(output);
    IgnoringProgress progress;
    ExportSMSThread worker(messages.list, output, format, true, &progress);
    const ScenarioResult result = timeWorker(worker, progress, messages.list.size());
    removeOutput(output);
    return result;
}

} // namespace

ScenarioResult timeWorker(WorkerThread& worker, IgnoringProgress& progress, qsizetype messages)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    worker.start();
    loop.exec();
    worker.wait();
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents();
    if (!progress.succeeded)
        throw std::runtime_error("worker failed: " + progress.error.toStdString());
    result.messages = messages;
    return result;
}

ScenarioResult runBackupScenario(const BenchContext& context)
{
    StoreMessages messages(context);
    const QDir target(context.workDir.filePath(QStringLiteral("backup")));
    removeOutput(target.path());
    IgnoringProgress progress;
    BackupSMSThread worker(messages.list, target, QString(), &progress);
    const ScenarioResult result = timeWorker(worker, progress, messages.list.size());
    removeOutput(target.path());
    return result;
}

ScenarioResult runExportTxtScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Text, QStringLiteral("export.txt"));
}

ScenarioResult runExportCsvScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Csv, QStringLiteral("export.csv"));
}

ScenarioResult runExportHtmlScenario(const BenchContext& context)
{
    StoreMessages messages(context);
    // Each run writes into a folder of a name never used before and every folder is removed only
    // after the last run: a run right after a mass deletion measures the file system's clean-up as
    // much as the export. The floor recreates the first run's files, alternating with the export
    // runs so that both meet the file system in the same state.
    QStringList outputs;
    std::vector<double> exportSeconds;
    std::vector<double> floorSeconds;
    ScenarioResult result;
    result.messages = messages.list.size();
    FileCreationLoop::FolderContents contents;
    for (int run = 0; run < htmlRuns; ++run) {
        outputs.append(unusedPath(context, QStringLiteral("export-html")));
        IgnoringProgress progress;
        ExportSMSThread worker(messages.list, outputs.last(), ExportSMSThread::Html, true, &progress);
        exportSeconds.push_back(timeWorker(worker, progress, messages.list.size()).seconds);
        if (run == 0) {
            // The floor's copy of the files is not the export's memory.
            result.peakMiB = peakResidentMiB();
            contents = FileCreationLoop::readFolder(outputs.last());
        }
        outputs.append(unusedPath(context, QStringLiteral("export-html-floor")));
        floorSeconds.push_back(FileCreationLoop::createFolder(outputs.last(), contents));
    }
    for (const QString& output : std::as_const(outputs))
        removeOutput(output);

    result.seconds = medianOf(exportSeconds);
    const double floor = medianOf(floorSeconds);
    result.floorRate = floor > 0 ? double(result.messages) / floor : 0;
    return result;
}

ScenarioResult runExportPdfScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Pdf, QStringLiteral("export-pdf"));
}

ScenarioResult runExportXmlScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Xml, QStringLiteral("export.xml"));
}
