// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1String>
#include <QString>

// The words of the line protocol spoken with the companion app, and the URLs that ask it to open a
// channel. Both sides of a channel (the desktop and the phone simulator) spell them from here.
namespace channelprotocol {

inline constexpr QLatin1String readyCommand("$ready:");
inline constexpr QLatin1String helloCommand("$hello:");
inline constexpr QLatin1String countCommand("$count:");
inline constexpr QLatin1String batchCommand("$batch:");
inline constexpr QLatin1String smsCommand("$sms:");
inline constexpr QLatin1String endCommand("$end:");
inline constexpr QLatin1String byeCommand("$bye:");
inline constexpr QLatin1String errorCommand("$error:");
inline constexpr QLatin1String defSmsAppCommand("$defsmsapp:");
inline constexpr QLatin1String progressCommand("$progress:");

// Channel kinds: the greeting, loading every message, and sending messages to the phone.
inline constexpr QLatin1String deviceChannel("device2");
inline constexpr QLatin1String backupChannel("backup2");
inline constexpr QLatin1String restoreChannel("restore2");

// "<kind>://127.0.0.1:<port>": the companion listens on `port` of the phone for the channel. Over
// USB adb forwards the same local port to it; over WiFi the desktop connects to the phone's address.
inline QString channelUrl(QLatin1String kind, int port)
{
    return QString(kind) + QLatin1String("://127.0.0.1:") + QString::number(port);
}

} // namespace channelprotocol
