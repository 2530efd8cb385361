// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// A small picture as a complete PNG file, for the picture messages of the simulated phone: a
// coloured background with a few discs, drawn from the seed. The same seed and size always give the
// same bytes. Written without the GUI library, so that the simulator stays a console program.
QByteArray generatedPng(quint32 seed, int width, int height);
