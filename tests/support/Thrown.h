// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

// Runs the operation and returns the text of the error it threw, or a null string when it threw
// none. Errors are runtime errors; anything else passes through and fails the test.
inline QString thrownText(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}
