// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchScenarios.h"

#include "bench/ImportXmlScenario.h"
#include "bench/IndexScenario.h"
#include "bench/LoadDirectScenario.h"
#include "bench/LoadScenario.h"
#include "bench/OpsScenarios.h"
#include "bench/RawReadLoop.h"
#include "bench/RawWriteLoop.h"
#include "bench/RunSummary.h"
#include "bench/SearchScenario.h"
#include "bench/SelectScenario.h"
#include "bench/SendScenario.h"
#include "bench/ShowScenario.h"
#include "bench/SyntheticRecords.h"
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"

#include <QElapsedTimer>

#include <stdexcept>

namespace {

double secondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

void removeFolder(const QDir& folder)
{
    if (folder.exists() && !QDir(folder).removeRecursively())
        throw std::runtime_error("can not remove " + folder.path().toStdString());
}

// Writes every record through the store writer in one transaction and returns the seconds it took.
// cacheSize receives the page cache setting the writer's connection runs with.
double writeThroughStore(
    const QDir& folder, const BenchContext& context, const SyntheticRecords& records, qint64* cacheSize = nullptr)
{
    ExportMessagesDb writer(folder, context.mcc);
    QElapsedTimer timer;
    timer.start();
    writer.begin();
    if (cacheSize) {
        Sqlite3Cursor cursor = writer.db().queryThrow(Sqlite3Sql("PRAGMA cache_size"));
        *cacheSize = cursor.moveNext() ? cursor.getInt64(0) : 0;
    }
    for (const _MsgMessage& message : records.messages())
        writer.write(message);
    writer.end();
    return secondsSince(timer);
}

ScenarioResult runWrite(const BenchContext& context)
{
    const SyntheticRecords records(context.messageCount, context.seed, context.mcc);
    removeFolder(context.storeDir());
    removeFolder(context.floorDir());

    ScenarioResult result;
    result.messages = qint64(records.messages().size());
    qint64 cacheSize = 0;
    result.seconds = writeThroughStore(context.storeDir(), context, records, &cacheSize);

    IOS6MessageDb store(context.storeDir(), context.mcc, true);
    const QString storePath = store.dbPath();
    QDir().mkpath(context.floorDir().path());
    const QString floorPath = context.floorDir().filePath(QStringLiteral("floor.db"));
    RawWriteLoop::copySchema(storePath, floorPath);
    const double floorSeconds = RawWriteLoop::writeMessages(floorPath, records.messages(), cacheSize);
    result.floorRate = floorSeconds > 0 ? double(result.messages) / floorSeconds : 0;
    return result;
}

ScenarioResult runRewrite(const BenchContext& context)
{
    const SyntheticRecords records(context.messageCount, context.seed, context.mcc);
    ScenarioResult result;
    result.messages = qint64(records.messages().size());
    result.seconds = writeThroughStore(context.storeDir(), context, records);
    return result;
}

ScenarioResult runRead(const BenchContext& context)
{
    ScenarioResult result;
    QString storePath;
    RawReadLoop::ConnectionSettings settings;
    {
        QElapsedTimer timer;
        timer.start();
        IOS6MessageDb store(context.storeDir(), context.mcc, true);
        _MsgCollection collection;
        store.chats(collection);
        store.messages(collection, 0);
        result.seconds = secondsSince(timer);
        result.messages = collection.messages().size();
        storePath = store.dbPath();
        settings = RawReadLoop::settingsOf(store);
    }

    // After the records are gone, so that the loop's memory stays within the reader's peak.
    qint64 floorRows = 0;
    const double floorSeconds = RawReadLoop::readStore(storePath, settings, &floorRows);
    if (floorRows < result.messages)
        throw std::runtime_error("the bare read loop read fewer messages than the store reader");
    result.floorRate = floorSeconds > 0 ? double(result.messages) / floorSeconds : 0;
    return result;
}

ScenarioResult runDelete(const BenchContext& context)
{
    IOS6MessageDb store(context.storeDir(), context.mcc, true);
    _MsgCollection collection;
    store.chats(collection);
    store.messages(collection, 0);

    QElapsedTimer timer;
    timer.start();
    store.beginTransaction();
    for (const _MsgMessage* message : collection.messages())
        store.deleteMessage(*message);
    store.endTransaction(true);
    ScenarioResult result;
    result.seconds = secondsSince(timer);
    result.messages = collection.messages().size();
    return result;
}

} // namespace

const QList<BenchScenario>& benchScenarios()
{
    static const QList<BenchScenario> scenarios = {
        { "write", StoreNeed::None, StoreEffect::Fills, &runWrite },
        { "rewrite", StoreNeed::Filled, StoreEffect::Keeps, &runRewrite },
        { "read", StoreNeed::Filled, StoreEffect::Keeps, &runRead },
        { "delete", StoreNeed::Filled, StoreEffect::Empties, &runDelete },
        { "load", StoreNeed::None, StoreEffect::Keeps, &runLoadScenario },
        { "load-direct", StoreNeed::None, StoreEffect::Keeps, &runLoadDirectScenario },
        { "parse-content", StoreNeed::None, StoreEffect::Keeps, &runParseContentScenario },
        { "send", StoreNeed::None, StoreEffect::Keeps, &runSend },
        { "show", StoreNeed::Filled, StoreEffect::Keeps, &runShowScenario, true },
        { "select", StoreNeed::Filled, StoreEffect::Keeps, &runSelectScenario, true },
        { "open-select", StoreNeed::Filled, StoreEffect::Keeps, &runOpenSelectScenario, true },
        { "backup", StoreNeed::Filled, StoreEffect::Keeps, &runBackupScenario },
        { "export-txt", StoreNeed::Filled, StoreEffect::Keeps, &runExportTxtScenario },
        { "export-csv", StoreNeed::Filled, StoreEffect::Keeps, &runExportCsvScenario },
        { "export-html", StoreNeed::Filled, StoreEffect::Keeps, &runExportHtmlScenario },
        { "export-html-pictures", StoreNeed::Filled, StoreEffect::Keeps, &runExportHtmlPicturesScenario },
        { "export-pdf", StoreNeed::Filled, StoreEffect::Keeps, &runExportPdfScenario, true },
        { "export-pdf-pictures", StoreNeed::Filled, StoreEffect::Keeps, &runExportPdfPicturesScenario, true },
        { "export-xml", StoreNeed::Filled, StoreEffect::Keeps, &runExportXmlScenario },
        { "import-xml", StoreNeed::None, StoreEffect::Keeps, &runImportXmlScenario },
        { "index", StoreNeed::Filled, StoreEffect::Keeps, &runIndexScenario },
        { "search", StoreNeed::Filled, StoreEffect::Keeps, &runSearchScenario },
    };
    return scenarios;
}

const BenchScenario* findBenchScenario(const QString& name)
{
    for (const BenchScenario& scenario : benchScenarios()) {
        if (name == QLatin1String(scenario.name))
            return &scenario;
    }
    return nullptr;
}

QString formatResultLine(const QString& name, const ScenarioResult& result, double peakMiB)
{
    ResultFigures figures;
    figures.name = name;
    figures.messages = result.messages;
    figures.seconds = result.seconds;
    figures.rate = result.seconds > 0 ? double(result.messages) / result.seconds : 0;
    figures.peakMiB = peakMiB;
    figures.floorRate = result.floorRate;
    return formatFigures(figures);
}
