// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithWiFiThread.h"

#include "android/CompanionApp.h"
#include "app/TaskReporting.h"

#include <QTcpSocket>

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(const QString& address, ProgressReceiver* progress,
                                                           QObject* parent)
    : QThread(parent)
    , m_progress(progress)
{
    m_device.wifi = true;
    m_device.host = address;
    m_device.port = AndroidDevice::wifiServicePort;
}

void AndroidConnectWithWiFiThread::run()
{
    const TaskCancelScope cancelScope(m_progress);
    QTcpSocket* socket = nullptr;
    try {
        postUpdateProgress(m_progress, tr("IDS_GET_ANDROID_DEVICE_INFO"), 99, QString());
        companionapp::readGreeting(m_device, socket);
        companionapp::reportGreeting(m_progress, m_device);
    } catch (const TaskCancelled&) {
        if (socket)
            socket->deleteLater();
    } catch (const std::exception& error) {
        if (socket)
            socket->deleteLater();
        postError(m_progress, exceptionText(error));
    }
}
