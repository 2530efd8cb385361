// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

class ProgressReceiver;

// Connects a phone over USB: installs the companion app when it is missing, then reads the
// companion's greeting into device(). Reports to the progress dialog.
class AndroidConnectWithUSBThread : public QThread
{
    Q_OBJECT

public:
    AndroidConnectWithUSBThread(const QString& serial, ProgressReceiver* progress, QObject* parent = nullptr);

    // Valid once the thread has ended with success.
    const AndroidDevice& device() const { return m_device; }

    // How long to let the phone settle after installing the companion app.
    void setInstallSettleMs(int ms) { m_installSettleMs = ms; }

protected:
    void run() override;

private:
    // Copies the companion package out of the resources into the data root and installs it.
    void installCompanion();

    ProgressReceiver* m_progress;
    AndroidDevice m_device;
    int m_installSettleMs = 5000;
};
