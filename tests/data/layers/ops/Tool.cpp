// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: no product file includes the tools.
#include "ops/ExportStaging.h"
#include "tools/common/SyntheticMessages.h"
