// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One line on standard error with the time, from any thread. Standard output is kept for the
// ready line that test harnesses wait for.
void simLog(const QString& text);

// Something the desktop sent (or left out) that a real companion would refuse: logged as
// "protocol violation: <text>" and counted, so that a test can fail the desktop that did it.
void simViolation(const QString& text);
int simViolationCount();
