// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>

// The room a window manager's frame (title bar and borders) takes around a window, which the
// available area of a screen has to hold besides the window itself. Generous for the usual frames.
inline constexpr QSize windowFrameAllowance(16, 48);

// The size a window opens at: the size it is designed for, made smaller in each direction where the
// screen's available area (given in the window's own, scaled, pixels) could not hold it with its
// frame. An empty available area leaves the designed size.
QSize firstWindowSize(const QSize& designed, const QRect& available);
