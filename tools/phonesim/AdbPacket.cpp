// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbPacket.h"

#include <QtEndian>

#include <stdexcept>

namespace {

void appendWord(QByteArray& out, std::uint32_t value)
{
    char bytes[4];
    qToLittleEndian<quint32>(value, bytes);
    out.append(bytes, 4);
}

std::uint32_t wordAt(const QByteArray& buffer, int index)
{
    return qFromLittleEndian<quint32>(buffer.constData() + 4 * index);
}

} // namespace

QByteArray AdbPacket::encode() const
{
    QByteArray out;
    out.reserve(headerSize + payload.size());
    appendWord(out, command);
    appendWord(out, arg0);
    appendWord(out, arg1);
    appendWord(out, static_cast<std::uint32_t>(payload.size()));
    appendWord(out, 0);
    appendWord(out, command ^ 0xffffffffu);
    out.append(payload);
    return out;
}

bool AdbPacket::take(QByteArray& buffer, AdbPacket& packet, std::uint32_t maxPayload)
{
    if (buffer.size() < headerSize)
        return false;
    const std::uint32_t command = wordAt(buffer, 0);
    const std::uint32_t length = wordAt(buffer, 3);
    if (wordAt(buffer, 5) != (command ^ 0xffffffffu))
        throw std::runtime_error("bad packet magic");
    if (length > maxPayload)
        throw std::runtime_error("packet payload too large");
    if (static_cast<std::uint32_t>(buffer.size()) < headerSize + length)
        return false;
    packet.command = command;
    packet.arg0 = wordAt(buffer, 1);
    packet.arg1 = wordAt(buffer, 2);
    packet.payload = buffer.mid(headerSize, static_cast<int>(length));
    buffer.remove(0, headerSize + static_cast<int>(length));
    return true;
}

QByteArray AdbPacket::commandName(std::uint32_t command)
{
    QByteArray name(4, '\0');
    qToLittleEndian<quint32>(command, name.data());
    return name;
}
