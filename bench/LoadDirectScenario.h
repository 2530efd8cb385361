// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Loads N generated messages from the phone simulator, a phone without the companion app, through
// the real adb and Android's `content` tool into a device cache with the loading thread (a private
// adb server of its own). The floor is the write scenario's.
ScenarioResult runLoadDirectScenario(const BenchContext& context);

// The reading of the same phone's text message provider without adb: every output the loader asks
// for is taken once beforehand, and only the parsing of them is timed.
ScenarioResult runParseContentScenario(const BenchContext& context);
