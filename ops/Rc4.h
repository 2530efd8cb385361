// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The RC4 stream cipher, started afresh with the key for each call: the data XORed with the key
// stream. The same call enciphers and deciphers. An empty key gives the data unchanged.
QByteArray rc4(QByteArrayView key, QByteArrayView data);
