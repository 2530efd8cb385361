// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The simulator's "hold" fault: before a step the phone stops and stays silent, keeping the
// connection open and reading nothing, until a release file appears, or for good without one. Tests
// use it to stand for a phone that hangs, and to keep the phone from running ahead of a Cancel.
namespace faulthold {

// Steps that can be held: those of --error-at that send a line, "receive" (a restore2 channel stops
// reading after "$defsmsapp:") and "packages" (the package listing of the emulated adb device).
const QStringList& steps();

// Blocks the calling thread until `releaseFile` exists; for good when it is empty.
void waitForRelease(const QString& releaseFile);

// True while the file does not exist, and always when none was given.
bool mustHold(const QString& releaseFile);

} // namespace faulthold
