// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"

#include <cstddef>
#include <cstdint>

namespace {

void parseGreeting(const QString& payload)
{
    AndroidDevice device;
    device.parseInfo(payload);
    static_cast<void>(device.displayName());
    static_cast<void>(device.deviceId());
}

} // namespace

// The payload of a "$hello:" line. The line reader hands it over as Latin-1, one character per
// byte; reading the same bytes as UTF-8 also reaches the characters beyond Latin-1 and the
// surrogate pairs the parser must cope with.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    parseGreeting(QString::fromLatin1(bytes, length));
    parseGreeting(QString::fromUtf8(bytes, length));
    return 0;
}
