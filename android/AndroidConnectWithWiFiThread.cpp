// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithWiFiThread.h"

#include "android/CompanionApp.h"

#include <QTcpSocket>

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(
    const QString& address, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
{
    m_device.wifi = true;
    m_device.host = address;
    m_device.port = AndroidDevice::wifiServicePort;
}

QString AndroidConnectWithWiFiThread::work()
{
    reportStatus(tr("IDS_GET_ANDROID_DEVICE_INFO"), 99);
    companionapp::readGreeting(m_device, m_socket);
    companionapp::checkGreeting(m_device);
    return QString();
}

void AndroidConnectWithWiFiThread::abandon()
{
    if (m_socket)
        m_socket->deleteLater();
    m_socket = nullptr;
}
