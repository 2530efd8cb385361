// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowSize.h"

QSize firstWindowSize(const QSize& designed, const QRect& available)
{
    if (available.isEmpty())
        return designed;
    const QSize room = (available.size() - windowFrameAllowance).expandedTo(QSize(1, 1));
    return designed.boundedTo(room);
}
