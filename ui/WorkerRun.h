// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class ProgressForm;
class QThread;

// The caller's side of a worker run in the GUI thread: starts the worker with inherited priority,
// runs the progress dialog modally, then waits for the worker to end. True when the dialog closed
// with success and was not cancelled; the caller then refreshes what the worker changed.
// With showAfterMs the dialog appears only when the worker has not ended by then, so that a run
// that is usually quick (reading a conversation) does not flash a dialog on every click.
bool runWorkerWithDialog(QThread& worker, ProgressForm& dialog, int showAfterMs = 0);
