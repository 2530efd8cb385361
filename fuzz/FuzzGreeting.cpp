// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"

#include <cstddef>
#include <cstdint>

// The payload of a "$hello:" line, as the line reader hands it over: one character per byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AndroidDevice device;
    device.parseInfo(QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    static_cast<void>(device.displayName());
    static_cast<void>(device.deviceId());
    return 0;
}
