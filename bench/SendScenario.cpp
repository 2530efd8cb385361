// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SendScenario.h"

#include "android/AndroidRestoreSMSThread.h"
#include "bench/IgnoringProgress.h"
#include "bench/SyntheticRecords.h"
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "tools/common/SyntheticMessages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>

#include <stdexcept>

namespace {

std::runtime_error failure(const QString& text)
{
    return std::runtime_error(text.toStdString());
}

// The simulator as a child process on a free service port, with an empty message file.
class Phone
{
public:
    Phone(const QDir& workDir, quint16 port)
    {
        const QString messageFile = workDir.filePath(QStringLiteral("send-phone.json"));
        saveMessages(messageFile, {});
        const QString program
            = QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/phonesim/qsms-phone-sim");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
            program, { QStringLiteral("--port"), QString::number(port), QStringLiteral("--messages"), messageFile });
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (m_process.canReadLine() && m_process.readLine().startsWith("ready "))
                return;
            if (m_process.state() == QProcess::NotRunning)
                break;
            m_process.waitForReadyRead(100);
        }
        throw failure(QStringLiteral("the phone simulator %1 did not start: %2").arg(program, m_process.errorString()));
    }
    ~Phone()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw failure(QStringLiteral("no free port: %1").arg(probe.errorString()));
    return probe.serverPort();
}

} // namespace

ScenarioResult runSend(const BenchContext& context)
{
    const QDir localDir(context.workDir.filePath(QStringLiteral("send-local")));
    if (localDir.exists())
        QDir(localDir).removeRecursively();
    {
        const SyntheticRecords records(context.messageCount, context.seed, context.mcc);
        ExportMessagesDb writer(localDir, context.mcc);
        writer.begin();
        for (const _MsgMessage& message : records.messages())
            writer.write(message);
        writer.end();
    }
    IOS6MessageDb local(localDir, context.mcc, true);
    _MsgCollection collection;
    local.chats(collection);
    local.messages(collection, 0);
    local.close();
    QList<_MsgMessage*> selection;
    selection.reserve(collection.messages().size());
    for (_MsgMessage* message : collection.messages())
        selection.append(message);

    const quint16 port = freePort();
    Phone phone(context.workDir, port);
    AndroidDevice device;
    device.wifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.port = port;
    device.imei = QStringLiteral("bench-send");
    device.mmc = context.mcc;
    QDir(device.cacheDir()).removeRecursively();

    IgnoringProgress progress;
    AndroidRestoreSMSThread thread(device, selection, &progress);
    // In the worker's thread the posts are plain calls: nothing queues up in an event loop nobody runs.
    progress.moveToThread(&thread);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = thread.messages().size();
    if (!progress.succeeded)
        throw failure(QStringLiteral("sending failed: %1").arg(progress.error));
    return result;
}
