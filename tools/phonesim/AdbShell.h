// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class ChannelBroker;
struct AdbDeviceState;

// The package name of the companion app, which `adb install` leaves installed on the device.
QString companionPackageName();

// Splits a command line into words as the device's shell does: white space separates, single
// quotes keep everything literally, double quotes and backslashes escape.
QStringList splitShellWords(const QString& commandLine);

// Runs one `shell:` command of the emulated device and returns what it prints. Knows pm, am, rm,
// getprop and echo; anything else is "not found".
QByteArray runShellCommand(AdbDeviceState& state, ChannelBroker& broker, const QString& commandLine);
