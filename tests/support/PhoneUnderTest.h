// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "support/PhoneSimulatorProcess.h"

class AdbTestServer;

// A simulated phone started for a test, with the AndroidDevice the desktop holds for it: over USB
// through the real adb (the test's own server), or over WiFi on the desktop's service port. The
// caller fills in what the phone says of itself (imei, mmc, version) where the test needs it.
class PhoneUnderTest
{
public:
    // Over USB when `adb` is given, otherwise over WiFi.
    explicit PhoneUnderTest(AdbTestServer* adb)
        : m_adb(adb)
    {
    }
    ~PhoneUnderTest();
    PhoneUnderTest(const PhoneUnderTest&) = delete;
    PhoneUnderTest& operator=(const PhoneUnderTest&) = delete;

    // Starts the phone with its own switches (the road's are added) and fills in the device's road;
    // false (see phone.log()) when the phone did not start or adb did not list it.
    bool start(const SimulatorOptions& switches) { return start(phone, device, m_adb, switches); }
    // The same for a phone and a device that the caller holds.
    static bool start(
        PhoneSimulatorProcess& phone, AndroidDevice& device, AdbTestServer* adb, const SimulatorOptions& switches);

    PhoneSimulatorProcess phone;
    AndroidDevice device;

private:
    AdbTestServer* m_adb;
};
