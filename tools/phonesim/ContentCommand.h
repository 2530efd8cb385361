// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/ShellLine.h"

struct AdbDeviceState;

// Android's `content` tool as the shell user runs it: `content query` prints one line per row,
// "Row: <index> " followed by name=value pairs joined by ", " (NULL, BLOB, integers in decimal, texts
// as they are), or "No result found."; `content read` writes a file's bytes. A provider's failure
// goes to standard error as "Error while accessing provider:<authority>" and the Java exception with
// its stack, a usage error to standard output; the tool exits with 0 either way.
ShellResult runContentCommand(const AdbDeviceState& state, const QStringList& args);
