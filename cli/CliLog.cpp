// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliLog.h"

Q_LOGGING_CATEGORY(lcCli, "qsms.cli")
