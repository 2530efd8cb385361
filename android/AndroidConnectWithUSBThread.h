// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "android/DirectPhone.h"
#include "base/WorkerThread.h"

class QTcpSocket;

// Connects a phone over USB: installs the companion app when it is missing, then reads the
// companion's greeting into device(). A phone without the companion that can not get it (the bundled
// package is a placeholder, or installing fails) is read directly instead: device() then describes
// it from its system properties and is marked `direct`. Reports to the progress dialog.
class AndroidConnectWithUSBThread : public WorkerThread
{
    Q_OBJECT

public:
    AndroidConnectWithUSBThread(const QString& serial, ProgressReceiver* progress, QObject* parent = nullptr);

    // Valid once the thread has ended with success.
    const AndroidDevice& device() const { return m_device; }

    // How long to let the phone settle after installing the companion app.
    void setInstallSettleMs(int ms) { m_installSettleMs = ms; }
    void setRoad(directphone::UsbRoad road) { m_road = road; }

protected:
    QString work() override;
    void abandon() override;
    QString errorText(const std::exception& error) const override;

private:
    // Copies the companion package out of the resources into the data root and installs it.
    void installCompanion();
    void readDirectly();

    const QString m_serial;
    AndroidDevice m_device;
    int m_installSettleMs = 5000;
    directphone::UsbRoad m_road = directphone::UsbRoad::Automatic;
    QTcpSocket* m_socket = nullptr; // the greeting channel while it is open
    // Failures other than a refused install and a companion too old come with advice on what to try.
    bool m_adviseOnFailure = true;
};
