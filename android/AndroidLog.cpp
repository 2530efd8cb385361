// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLog.h"

Q_LOGGING_CATEGORY(lcAndroid, "qsms.android")
