// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Splits the store's messages over several stores of the data folder (local databases and a phone's
// cache), indexes them, and times searches over all of them as the window asks them: words, names,
// numbers in another form than stored, other scripts, emoji, and the first page of words being
// typed. The scenario's seconds are the median time of a whole search (first page and count); a line
// of its own before it gives the medians and maxima, the first page of prefixes among them.
ScenarioResult runSearchScenario(const BenchContext& context);
