// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/LocalPorts.h"

#include <QByteArray>
#include <QString>

class PhoneSimulatorProcess;


// `adb connect` to the simulator's emulated device on the current adb server; returns its serial
// once adb lists it as "device", or an empty text after a few seconds.
QString connectEmulatedDevice(const PhoneSimulatorProcess& simulator);

// Gives a test its own server of the real adb: ANDROID_ADB_SERVER_PORT points at a free port for
// the life of the object, and the server started there is stopped on destruction.
class AdbTestServer
{
public:
    AdbTestServer();
    ~AdbTestServer();
    AdbTestServer(const AdbTestServer&) = delete;
    AdbTestServer& operator=(const AdbTestServer&) = delete;

    quint16 port() const { return m_port; }

    QString connectDevice(const PhoneSimulatorProcess& simulator) { return connectEmulatedDevice(simulator); }
    void disconnectDevice(const QString& serial);

private:
    quint16 m_port;
    QByteArray m_previous;
    bool m_hadPrevious;
};
