// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class DeviceFlowHost;
class _AndroidDeviceItemNode;

// The road from a phone to its node in the main window's tree: the monitor's reports of phones that
// come and go, queued while a command runs, the connection over USB, the country question and the
// load of the phone's messages into its cache.
class DeviceFlowController : public QObject
{
    Q_OBJECT

public:
    explicit DeviceFlowController(DeviceFlowHost* host);

    // A command begins or ends. While one runs, device reports wait; they run in order once the
    // outermost has ended, so that no node, store or record a command works on goes away under its
    // dialogs or its worker.
    void enterCommand() { ++m_commandDepth; }
    void leaveCommand();

    // Queues a device report behind those still waiting and runs them all when no command runs.
    void runDeviceReport(std::function<void()> report);

    void deviceConnected(const AdbDevice& adbDevice);
    void deviceDisconnected(const QString& deviceId);
    // Connects to the phone over USB and loads it.
    void connectUsbDevice(const AdbDevice& adbDevice);
    // Loads the phone and replaces its node; the new node, or null when the load did not succeed.
    _AndroidDeviceItemNode* loadDevice(AndroidDevice device);
    // Asks for the country when the phone's code is empty or unknown; the chosen code replaces it.
    // False when the person cancelled the question.
    bool checkCountry(AndroidDevice& device);
    // How to connect a phone, when none is connected.
    void showUsbTips();

private:
    void runPendingDeviceEvents();

    DeviceFlowHost* m_host;
    int m_commandDepth = 0;
    QList<std::function<void()>> m_pendingDeviceEvents;
};
