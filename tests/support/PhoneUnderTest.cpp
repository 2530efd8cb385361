// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PhoneUnderTest.h"

#include "support/AdbTestServer.h"

PhoneUnderTest::~PhoneUnderTest()
{
    // adb forgets the emulated device before the phone goes, so that it does not keep trying it.
    if (m_adb && !device.serial.isEmpty())
        m_adb->disconnectDevice(device.serial);
}

bool PhoneUnderTest::start(
    PhoneSimulatorProcess& phone, AndroidDevice& device, AdbTestServer* adb, const SimulatorOptions& switches)
{
    const SimulatorOptions road = adb ? SimulatorOptions::usb() : SimulatorOptions::wifi();
    if (!phone.start(SimulatorOptions(road).with(switches.arguments())))
        return false;
    if (adb) {
        device.serial = adb->connectDevice(phone);
        return !device.serial.isEmpty();
    }
    device.wifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.port = AndroidDevice::wifiServicePort;
    return true;
}
