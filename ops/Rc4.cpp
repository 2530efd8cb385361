// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/Rc4.h"

#include <array>
#include <cstdint>
#include <utility>

QByteArray rc4(QByteArrayView key, QByteArrayView data)
{
    if (key.isEmpty())
        return data.toByteArray();

    std::array<std::uint8_t, 256> state;
    for (int i = 0; i < 256; ++i)
        state[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + state[i] + static_cast<std::uint8_t>(key[i % key.size()]));
        std::swap(state[i], state[j]);
    }

    QByteArray out(data.size(), Qt::Uninitialized);
    std::uint8_t i = 0;
    j = 0;
    for (qsizetype n = 0; n < data.size(); ++n) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + state[i]);
        std::swap(state[i], state[j]);
        const std::uint8_t keyByte = state[static_cast<std::uint8_t>(state[i] + state[j])];
        out[n] = static_cast<char>(static_cast<std::uint8_t>(data[n]) ^ keyByte);
    }
    return out;
}
