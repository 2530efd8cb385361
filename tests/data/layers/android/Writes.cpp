// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: the device link may include the store beside it.
#include "android/AdbCommands.h"
#include "store/IOS6MessageDb.h"
