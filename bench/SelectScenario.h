// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Selects a device node holding the whole store in a shown main window, as a click in the tree does,
// and waits until the message list and the first page of the conversation view are filled and
// painted. Needs the widget application.
ScenarioResult runSelectScenario(const BenchContext& context);
// Adding the database to the window (its conversations read) and selecting it, timed as one.
ScenarioResult runOpenSelectScenario(const BenchContext& context);
