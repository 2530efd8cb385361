// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: the line protocol includes base/ and itself only.
#include "android/AdbCommands.h"
#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"
