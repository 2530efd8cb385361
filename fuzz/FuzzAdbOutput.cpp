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

// Every parser of adb's output on the same text. A serial goes back to adb as `-s SERIAL`, so it
// must never be empty or hold white space that would split it.
void parseAdbOutput(const QString& output)
{
    for (const AdbDevice& device : parseDeviceList(output)) {
        if (device.serial.isEmpty() || device.state.isEmpty()
            || std::any_of(device.serial.cbegin(), device.serial.cend(), isAsciiSpace))
            std::abort();
        static_cast<void>(device.isOnline());
    }
    static_cast<void>(parsePackageList(output));
    static_cast<void>(installSucceeded(output));
    static_cast<void>(activityManagerFailed(output));
}

} // namespace

// Standard output of `adb devices`, `pm -l`, `install` and `am`. The application reads it as
// Latin-1; the UTF-8 reading adds characters beyond Latin-1.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    parseAdbOutput(QString::fromLatin1(bytes, length));
    parseAdbOutput(QString::fromUtf8(bytes, length));
    return 0;
}
