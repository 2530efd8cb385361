// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// A port on 127.0.0.1 that nothing listens on now, from 46001-49999: above the channel ports
// (10001-45999), and a range that scripts/test keeps out of the kernel's choice for outgoing
// connections. A connection to it while nothing listens can then never be made from that very port
// and reach the connecting socket itself, which adb would take for a broken server.
quint16 freeLocalPort();
