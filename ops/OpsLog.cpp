// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/OpsLog.h"

Q_LOGGING_CATEGORY(lcOps, "qsms.ops")
