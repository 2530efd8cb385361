// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

// N messages read from a local database, sent over the WiFi path on 127.0.0.1 to the phone
// simulator by the sending thread, into an empty device cache. Times the whole transfer.
ScenarioResult runSend(const BenchContext& context);
