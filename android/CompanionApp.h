// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class AndroidDevice;
class QTcpSocket;

// Facts about the companion app and the greeting channel shared by the USB and WiFi connections.
namespace companionapp {

inline constexpr int lowestAcceptedVersion = 10;
// How long opening the greeting channel may take, and then how long the greeting may take.
inline constexpr int channelTimeoutMs = 10000;

QString packageName();
// The path of the companion package among the resources.
QString packageResource();
// "Quillbarrow SMS Agent on Android is too old. ..." naming the release needed.
QString tooOldText();

// Opens a "device2" channel, reads the greeting into the device, says "$bye:" and closes the
// channel. `socket` holds the open channel meanwhile, so the caller can dispose of it on failure.
void readGreeting(AndroidDevice& device, QTcpSocket*& socket);

// Throws std::runtime_error with the too-old text when the greeting names a companion older than
// the desktop accepts.
void checkGreeting(const AndroidDevice& device);

} // namespace companionapp
