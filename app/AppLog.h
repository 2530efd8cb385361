// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// What the window program log, under "qsms.app" so that a rule can pick it out.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
