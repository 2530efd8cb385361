// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Builds the full-text index of the store from nothing, as after a load, and prints its size as a
// fraction of the store's on a line of its own before the scenario's line.
// Its floor is SQLite's own tokenizer putting the same texts into a plain contentless FTS5 table.
ScenarioResult runIndexScenario(const BenchContext& context);
