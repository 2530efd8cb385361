// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: the store may include what lies below it, but not the device link beside it.
#include "android/AdbDevice.h"
#include "base/DataFolders.h"
#include "message/MsgCollection.h"
