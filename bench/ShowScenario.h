// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Shows a whole store as the main window shows a selected device: reads its conversations and all
// messages, sorts them in ascending message order, hands them to the message list (a model in a
// shown list view) and to the conversation view, and lets both paint. Needs the widget application.
ScenarioResult runShowScenario(const BenchContext& context);
