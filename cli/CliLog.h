// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// What the command-line program log, under "qsms.cli" so that a rule can pick it out.
Q_DECLARE_LOGGING_CATEGORY(lcCli)
