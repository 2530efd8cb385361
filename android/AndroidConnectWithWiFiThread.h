// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "base/WorkerThread.h"

class QTcpSocket;

// Connects a phone over WiFi: asks the companion's service port for a greeting channel and reads
// the greeting into device(). Reports to the progress dialog.
class AndroidConnectWithWiFiThread : public WorkerThread
{
    Q_OBJECT

public:
    AndroidConnectWithWiFiThread(const QString& address, ProgressReceiver* progress, QObject* parent = nullptr);

    // Valid once the thread has ended with success.
    const AndroidDevice& device() const { return m_device; }

protected:
    QString work() override;
    void abandon() override;

private:
    AndroidDevice m_device;
    QTcpSocket* m_socket = nullptr; // the greeting channel while it is open
};
