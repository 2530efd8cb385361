// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class ProgressReceiver;

// Ctrl-C (SIGINT) sets the cancel flag of the worker that runs, exactly as the dialog's Cancel does,
// so that the worker undoes its step and ends; a second Ctrl-C ends the program at once.
void installInterruptHandler();
// True once Ctrl-C has been pressed.
bool interrupted();

// Makes the receiver the one that Ctrl-C cancels for as long as the scope lives; when Ctrl-C came
// before the scope, the receiver starts cancelled.
class InterruptTarget
{
public:
    explicit InterruptTarget(ProgressReceiver* receiver);
    ~InterruptTarget();
    InterruptTarget(const InterruptTarget&) = delete;
    InterruptTarget& operator=(const InterruptTarget&) = delete;
};
