// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "base/WorkerThread.h"

class QTcpSocket;

// Connects a phone over USB: installs the companion app when it is missing, then reads the
// companion's greeting into device(). Reports to the progress dialog.
class AndroidConnectWithUSBThread : public WorkerThread
{
    Q_OBJECT

public:
    AndroidConnectWithUSBThread(const QString& serial, ProgressReceiver* progress, QObject* parent = nullptr);

    // Valid once the thread has ended with success.
    const AndroidDevice& device() const { return m_device; }

    // How long to let the phone settle after installing the companion app.
    void setInstallSettleMs(int ms) { m_installSettleMs = ms; }

protected:
    QString work() override;
    void abandon() override;
    QString errorText(const std::exception& error) const override;

private:
    // Copies the companion package out of the resources into the data root and installs it.
    void installCompanion();

    AndroidDevice m_device;
    int m_installSettleMs = 5000;
    QTcpSocket* m_socket = nullptr; // the greeting channel while it is open
    // Failures other than a refused install and a companion too old come with advice on what to try.
    bool m_adviseOnFailure = true;
};
