// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// What backup, export, import, delete and the database update log, under "qsms.ops" so that a rule can pick it out.
Q_DECLARE_LOGGING_CATEGORY(lcOps)
