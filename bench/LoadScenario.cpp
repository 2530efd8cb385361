// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/LoadScenario.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "bench/IgnoringProgress.h"

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

// Starts the simulator on free ports and returns its WiFi service port once it is ready.
quint16 startSimulator(QProcess& simulator, const BenchContext& context)
{
    simulator.setStandardErrorFile(QProcess::nullDevice());
    simulator.start(simulatorProgram(),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--adb-port"), QStringLiteral("0"),
            QStringLiteral("--generate"), QString::number(context.messageCount), QStringLiteral("--seed"),
            QString::number(context.seed), QStringLiteral("--mmc"), context.mcc });
    if (!simulator.waitForStarted(30000))
        throw std::runtime_error("can not start " + simulatorProgram().toStdString());

    static const QRegularExpression readyLine(QStringLiteral("^ready adb=\\d+ service=(\\d+)"));
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired() && simulator.state() == QProcess::Running) {
        if (!simulator.canReadLine() && !simulator.waitForReadyRead(1000))
            continue;
        while (simulator.canReadLine()) {
            const auto match = readyLine.match(QString::fromUtf8(simulator.readLine()).trimmed());
            if (match.hasMatch())
                return static_cast<quint16>(match.captured(1).toUInt());
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

} // namespace

ScenarioResult runLoadScenario(const BenchContext& context)
{
    QProcess simulator;
    AndroidDevice device;
    device.wifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.imei = QStringLiteral("bench-load");
    device.mmc = context.mcc;
    try {
        device.port = startSimulator(simulator, context);
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
    return result;
}
