// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Imports an XML backup of N generated messages into a new local database with the import thread;
// the file is written before the clock starts and the peak memory counts from there.
ScenarioResult runImportXmlScenario(const BenchContext& context);
