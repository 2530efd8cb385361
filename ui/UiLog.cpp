// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "qsms.ui")
