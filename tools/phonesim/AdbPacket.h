// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>

// One message of the adb transport: a header of six little-endian 32-bit words (command, arg0,
// arg1, payload length, payload checksum, command XOR 0xffffffff) followed by the payload.
struct AdbPacket
{
    static constexpr std::uint32_t CNXN = 0x4e584e43;
    static constexpr std::uint32_t AUTH = 0x48545541;
    static constexpr std::uint32_t OPEN = 0x4e45504f;
    static constexpr std::uint32_t OKAY = 0x59414b4f;
    static constexpr std::uint32_t WRTE = 0x45545257;
    static constexpr std::uint32_t CLSE = 0x45534c43;
    static constexpr int headerSize = 24;

    std::uint32_t command = 0;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    QByteArray payload;

    // The wire form. The checksum is left 0, which hosts accept from protocol version 0x01000001 on.
    QByteArray encode() const;

    // Removes one whole packet from the front of buffer into packet. False when the buffer does not
    // yet hold a whole one; throws std::runtime_error on a broken header or an oversized payload.
    static bool take(QByteArray& buffer, AdbPacket& packet, std::uint32_t maxPayload);

    // The four command letters, for the log.
    static QByteArray commandName(std::uint32_t command);
};
