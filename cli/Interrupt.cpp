// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Interrupt.h"

#include "base/TaskReporting.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interruptSeen { false };
std::atomic<ProgressReceiver*> interruptTarget { nullptr };

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<ProgressReceiver*>::is_always_lock_free,
    "a signal handler may only touch lock-free atomics");

extern "C" void onInterrupt(int)
{
    interruptSeen.store(true);
    if (ProgressReceiver* receiver = interruptTarget.load())
        receiver->cancelled.store(true);
}

} // namespace

void installInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The handler is used once: a second Ctrl-C finds the default action and ends the program.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted()
{
    return interruptSeen.load();
}

InterruptTarget::InterruptTarget(ProgressReceiver* receiver)
{
    interruptTarget.store(receiver);
    if (interruptSeen.load())
        receiver->cancelled.store(true);
}

InterruptTarget::~InterruptTarget()
{
    interruptTarget.store(nullptr);
}
