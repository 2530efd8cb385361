// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The peak resident set of this process in MiB (VmHWM of /proc/self/status), or -1 where the
// system does not report it.
double peakResidentMiB();

// Returns the memory this process has freed to the system and restarts the peak at the present
// resident set, so that a scenario's peak leaves out what it prepared before the clock started.
// False where the system offers no reset.
bool resetPeakResident();
