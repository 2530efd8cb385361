// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

class ProgressReceiver;

// Connects a phone over WiFi: asks the companion's service port for a greeting channel and reads
// the greeting into device(). Reports to the progress dialog.
class AndroidConnectWithWiFiThread : public QThread
{
    Q_OBJECT

public:
    AndroidConnectWithWiFiThread(const QString& address, ProgressReceiver* progress, QObject* parent = nullptr);

    // Valid once the thread has ended with success.
    const AndroidDevice& device() const { return m_device; }

protected:
    void run() override;

private:
    ProgressReceiver* m_progress;
    AndroidDevice m_device;
};
