// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QGuiApplication;

// On X11, gives every window of the application that uses the screen's own visual the screen's
// default colormap instead of the private one Qt creates for it. The picture on screen is the
// same; what changes is what screenshot tools see: with windows on colormaps of their own, xwd
// and ImageMagick's import read each window by itself and lay the main window's hidden part,
// which the X server returns black, over the dialog in front of it, so a progress dialog shot at
// start-up came out as a black box. Does nothing on other platforms.
void useScreenColormapOnX11(QGuiApplication& app);
