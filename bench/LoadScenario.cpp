// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/LoadScenario.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "bench/IgnoringProgress.h"
#include "bench/PeakMemory.h"
#include "bench/RawWriteLoop.h"
#include "bench/SyntheticRecords.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>

#include <stdexcept>

namespace {

// The simulator is built next to the benchmark in the build tree.
QString simulatorProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/phonesim/qsms-phone-sim");
}

} // namespace

SimulatorPorts startSimulator(QProcess& simulator, const BenchContext& context, const QStringList& arguments)
{
    simulator.setStandardErrorFile(QProcess::nullDevice());
    simulator.start(simulatorProgram(),
        QStringList { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--adb-port"), QStringLiteral("0"),
            QStringLiteral("--generate"), QString::number(context.messageCount), QStringLiteral("--seed"),
            QString::number(context.seed), QStringLiteral("--mmc"), context.mcc }
            + arguments);
    if (!simulator.waitForStarted(30000))
        throw std::runtime_error("can not start " + simulatorProgram().toStdString());

    static const QRegularExpression readyLine(QStringLiteral("^ready adb=(\\d+) service=(\\d+)"));
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired() && simulator.state() == QProcess::Running) {
        if (!simulator.canReadLine() && !simulator.waitForReadyRead(1000))
            continue;
        while (simulator.canReadLine()) {
            const auto match = readyLine.match(QString::fromUtf8(simulator.readLine()).trimmed());
            if (match.hasMatch())
                return { static_cast<quint16>(match.captured(1).toUInt()),
                    static_cast<quint16>(match.captured(2).toUInt()) };
        }
    }
    throw std::runtime_error("the phone simulator did not become ready");
}

void stopSimulator(QProcess& simulator)
{
    if (simulator.state() == QProcess::NotRunning)
        return;
    simulator.terminate();
    if (!simulator.waitForFinished(5000)) {
        simulator.kill();
        simulator.waitForFinished(5000);
    }
}

double writeFloorRate(const BenchContext& context)
{
    const SyntheticRecords records(context.messageCount, context.seed, context.mcc);
    QDir folder(context.workDir.filePath(QStringLiteral("load-floor")));
    folder.removeRecursively();
    const QString storePath = IOS6MessageDb(folder, context.mcc, false).dbPath();
    qint64 cacheSize = 0;
    {
        // Creates the store with its schema, which the floor copies, and tells the writer's page cache.
        ExportMessagesDb writer(folder, context.mcc);
        writer.begin();
        Sqlite3Cursor cursor = writer.db().queryThrow(Sqlite3Sql("PRAGMA cache_size"));
        cacheSize = cursor.moveNext() ? cursor.getInt64(0) : 0;
        writer.end();
    }
    QDir().mkpath(folder.filePath(QStringLiteral("floor")));
    const QString floorPath = folder.filePath(QStringLiteral("floor/floor.db"));
    RawWriteLoop::copySchema(storePath, floorPath);
    const double seconds = RawWriteLoop::writeMessages(floorPath, records.messages(), cacheSize);
    folder.removeRecursively();
    return seconds > 0 ? double(records.messages().size()) / seconds : 0;
}

ScenarioResult runLoadScenario(const BenchContext& context)
{
    QProcess simulator;
    AndroidDevice device;
    device.wifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.imei = QStringLiteral("bench-load");
    device.mmc = context.mcc;
    try {
        device.port = startSimulator(simulator, context).service;
    } catch (...) {
        stopSimulator(simulator);
        throw;
    }

    IgnoringProgress progress;
    AndroidLoadSMSThread thread(device, &progress);
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    // The posts are delivered as they come, as the progress dialog would take them.
    loop.exec();
    thread.wait();
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents();
    stopSimulator(simulator);

    if (!progress.succeeded)
        throw std::runtime_error("load failed: " + progress.error.toStdString());
    result.messages = thread.loaded;
    result.peakMiB = peakResidentMiB();
    result.floorRate = writeFloorRate(context);
    return result;
}
