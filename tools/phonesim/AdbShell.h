// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/ShellLine.h"

#include <QString>

class ChannelBroker;
struct AdbDeviceState;

// The package name of the companion app, which `adb install` leaves installed on the device.
QString companionPackageName();

// Runs the command line of one `shell:` stream of the emulated device as its shell would (see
// parseShellLine), with its redirections and ; && || | & between commands. Knows pm, am, rm, getprop,
// echo and content; anything else is "not found".
ShellResult runShellCommand(AdbDeviceState& state, ChannelBroker& broker, const QString& commandLine);
