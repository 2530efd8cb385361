// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The peak resident set of this process in MiB (VmHWM of /proc/self/status), or -1 where the
// system does not report it.
double peakResidentMiB();
