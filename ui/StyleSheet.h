// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The style sheet every window of the program sets on itself, read once from the resources.
QString appStyleSheet();
