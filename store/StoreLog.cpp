// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/StoreLog.h"

Q_LOGGING_CATEGORY(lcStore, "qsms.store")
