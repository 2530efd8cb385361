// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/AdbTestServer.h"

#include "android/AdbCommands.h"
#include "support/PhoneSimulatorProcess.h"

#include <QTest>

AdbTestServer::AdbTestServer()
    : m_port(freeLocalPort())
    , m_previous(qgetenv("ANDROID_ADB_SERVER_PORT"))
    , m_hadPrevious(qEnvironmentVariableIsSet("ANDROID_ADB_SERVER_PORT"))
{
    qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(m_port));
    startServer();
}

AdbTestServer::~AdbTestServer()
{
    killServer();
    if (m_hadPrevious)
        qputenv("ANDROID_ADB_SERVER_PORT", m_previous);
    else
        qunsetenv("ANDROID_ADB_SERVER_PORT");
}

QString connectEmulatedDevice(const PhoneSimulatorProcess& simulator)
{
    const QString serial = QStringLiteral("127.0.0.1:%1").arg(simulator.adbPort());
    runAdb({QStringLiteral("connect"), serial}, false);
    for (int attempt = 0; attempt < 100; ++attempt) {
        try {
            for (const AdbDevice& device : listDevices()) {
                if (device.serial == serial && device.isOnline())
                    return serial;
            }
        } catch (const std::runtime_error&) {
            // The server may still be starting: try again.
        }
        QTest::qWait(100);
    }
    return QString();
}

void AdbTestServer::disconnectDevice(const QString& serial)
{
    runAdb({QStringLiteral("disconnect"), serial}, false);
}
