// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/LoadDirectScenario.h"

#include "android/AdbCommands.h"
#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/DirectPhone.h"
#include "android/ProviderReader.h"
#include "bench/IgnoringProgress.h"
#include "bench/LoadScenario.h"
#include "bench/PeakMemory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <stdexcept>

namespace {

const QStringList withoutCompanion = { QStringLiteral("--packages"), QStringLiteral("android,com.android.phone") };

// A private adb server for the run, so that the person's own server and devices stay out of it.
class PrivateAdb
{
public:
    explicit PrivateAdb(quint16 devicePort)
        : m_previous(qgetenv("ANDROID_ADB_SERVER_PORT"))
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            throw std::runtime_error("no free port for adb");
        const quint16 port = probe.serverPort();
        probe.close();
        qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(port));
        startServer();
        serial = QStringLiteral("127.0.0.1:%1").arg(devicePort);
        runAdb({ QStringLiteral("connect"), serial }, false);
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            for (const AdbDevice& device : listDevices()) {
                if (device.serial == serial && device.isOnline())
                    return;
            }
            QThread::msleep(100);
        }
        throw std::runtime_error("adb did not list the phone simulator");
    }
    ~PrivateAdb()
    {
        killServer();
        if (m_previous.isEmpty())
            qunsetenv("ANDROID_ADB_SERVER_PORT");
        else
            qputenv("ANDROID_ADB_SERVER_PORT", m_previous);
    }

    QString serial;

private:
    QByteArray m_previous;
};

} // namespace

ScenarioResult runLoadDirectScenario(const BenchContext& context)
{
    QProcess simulator;
    ScenarioResult result;
    try {
        const SimulatorPorts ports = startSimulator(simulator, context, withoutCompanion);
        const PrivateAdb adb(ports.adb);
        AndroidDevice device;
        device.serial = adb.serial;
        device.direct = true;
        device.mmc = context.mcc;

        IgnoringProgress progress;
        AndroidLoadSMSThread thread(device, &progress);
        QEventLoop loop;
        QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        thread.start();
        loop.exec();
        thread.wait();
        result.seconds = double(timer.nsecsElapsed()) / 1e9;
        QCoreApplication::processEvents();
        if (!progress.succeeded)
            throw std::runtime_error("load failed: " + progress.error.toStdString());
        result.messages = thread.loaded;
        result.peakMiB = peakResidentMiB();
    } catch (...) {
        stopSimulator(simulator);
        throw;
    }
    stopSimulator(simulator);
    result.floorRate = writeFloorRate(context);
    return result;
}

ScenarioResult runParseContentScenario(const BenchContext& context)
{
    QProcess simulator;
    QHash<QString, QByteArray> outputs;
    const auto read = [](const contentquery::ShellRunner& shell) {
        return contentquery::readProvider(shell, QStringLiteral("content://sms"),
            { QStringLiteral("date"), QStringLiteral("type") },
            { QStringLiteral("address"), QStringLiteral("body"), QStringLiteral("subject") });
    };
    try {
        const SimulatorPorts ports = startSimulator(simulator, context, withoutCompanion);
        const PrivateAdb adb(ports.adb);
        read([&](const QString& command) {
            QByteArray output = directphone::runShell(adb.serial, command);
            outputs.insert(command, output);
            return output;
        });
    } catch (...) {
        stopSimulator(simulator);
        throw;
    }
    stopSimulator(simulator);

    QElapsedTimer timer;
    timer.start();
    const contentquery::ProviderRows rows = read([&](const QString& command) { return outputs.value(command); });
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = rows.size();
    return result;
}
