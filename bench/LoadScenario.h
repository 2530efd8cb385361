// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// Loads N generated messages from the phone simulator over the WiFi path on 127.0.0.1 into a
// device cache with the loading thread; the rate counts the records received.
ScenarioResult runLoadScenario(const BenchContext& context);
