// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AdbCommands.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool isAsciiSpace(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

} // namespace

// Standard output of `adb devices`, `pm -l`, `install` and `am`, read as the application reads it
// (one character per byte), through every parser of adb's output. A serial goes back to adb as
// `-s SERIAL`, so it must never be empty or hold white space that would split it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString output = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const AdbDevice& device : parseDeviceList(output)) {
        if (device.serial.isEmpty() || device.state.isEmpty()
            || std::any_of(device.serial.cbegin(), device.serial.cend(), isAsciiSpace))
            std::abort();
        static_cast<void>(device.isOnline());
    }
    static_cast<void>(parsePackageList(output));
    static_cast<void>(installSucceeded(output));
    static_cast<void>(activityManagerFailed(output));
    return 0;
}
