// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// When no installed font can shape a script that needs OpenType tables (Devanagari on a machine
// without a Devanagari font, for one), Qt warns "OpenType support missing for ..." once for every
// installed font it tries, under the default category, which no logging rule can pick out alone:
// dozens of lines for each text of that script. This puts a message handler in front of the one
// installed now that lets the first of those warnings per script through and drops the repeats.
// Every other message reaches the earlier handler unchanged. Install it after the log handler.
void installFontWarningFilter();
