// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Not compiled: what the layer include check must report (a header of the top layer).
#pragma once
#include "base/TaskReporting.h"
#include "ui/MainWindow.h"
