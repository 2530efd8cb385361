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
#include "ops/SearchIndexUpdates.h"
#include "store/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <stdexcept>

namespace {

constexpr qsizetype pdfMessageLimit = 10000;
constexpr int htmlRuns = 3;
// The picture scenarios give one message in ten a photo, taken from a set of this many.
constexpr qsizetype pictureEvery = 10;
constexpr int distinctPictures = 40;

enum class Pictures { None, EveryTenth };

// Every message of the filled store in list order, read before the clock starts.
struct StoreMessages
{
    _MsgCollection collection;
    QList<_MsgMessage*> list;

    explicit StoreMessages(const BenchContext& context, Pictures pictures = Pictures::None)
    {
        IOS6MessageDb store(context.storeDir(), context.mcc, true);
        store.chats(collection);
        store.messages(collection, 0);
        list = collection.messages().values();
        sortMessages(list, true);
        if (pictures == Pictures::EveryTenth)
            addPictures(context);
    }

private:
    // Photos of a phone's size and compression, written once into the work folder, attached as the
    // store reader attaches a file it found inside its folder.
    void addPictures(const BenchContext& context)
    {
        const QDir folder(context.workDir.filePath(QStringLiteral("pictures")));
        if (!folder.mkpath(QStringLiteral(".")))
            throw std::runtime_error("can not create the folder of the pictures");
        QStringList paths;
        for (int i = 0; i < distinctPictures; ++i) {
            const QString path = folder.filePath(QStringLiteral("photo-%1.jpg").arg(i));
            if (!QFileInfo::exists(path)) {
                QImage image(1600, 1200, QImage::Format_RGB32);
                QPainter painter(&image);
                QLinearGradient gradient(0, 0, image.width(), image.height());
                gradient.setColorAt(0, QColor::fromHsv(i * 37 % 360, 180, 230));
                gradient.setColorAt(1, QColor::fromHsv(i * 53 % 360, 90, 90));
                painter.fillRect(image.rect(), gradient);
                painter.fillRect(QRect(100 + i * 30, 100, 200, 200), QColor::fromHsv(i * 91 % 360, 255, 255));
                painter.end();
                if (!image.save(path, "JPEG", 85))
                    throw std::runtime_error("can not write a picture");
            }
            paths.append(path);
        }
        for (qsizetype i = 0; i < list.size(); i += pictureEvery) {
            const QString& path = paths.at((i / pictureEvery) % distinctPictures);
            _MsgAttachment attachment;
            attachment.rowid = i + 1;
            attachment.mime_type = QStringLiteral("image/jpeg");
            attachment.transfer_name = QFileInfo(path).fileName();
            attachment.filename = QStringLiteral("~/Library/SMS/Attachments/") + attachment.transfer_name;
            attachment.total_bytes = QFileInfo(path).size();
            attachment.sourcePath = path;
            list[i]->attachments.insert(QString::number(attachment.rowid), attachment);
        }
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

ScenarioResult runExport(
    const BenchContext& context, unsigned format, const QString& outputName, Pictures pictures = Pictures::None)
{
    StoreMessages messages(context, pictures);
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
    stopSearchIndexUpdate(target);
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

namespace {

ScenarioResult runExportHtml(const BenchContext& context, Pictures pictures)
{
    StoreMessages messages(context, pictures);
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

} // namespace

ScenarioResult runExportHtmlScenario(const BenchContext& context)
{
    return runExportHtml(context, Pictures::None);
}

ScenarioResult runExportHtmlPicturesScenario(const BenchContext& context)
{
    return runExportHtml(context, Pictures::EveryTenth);
}

ScenarioResult runExportPdfScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Pdf, QStringLiteral("export-pdf"));
}

ScenarioResult runExportPdfPicturesScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Pdf, QStringLiteral("export-pdf"), Pictures::EveryTenth);
}

ScenarioResult runExportXmlScenario(const BenchContext& context)
{
    return runExport(context, ExportSMSThread::Xml, QStringLiteral("export.xml"));
}
