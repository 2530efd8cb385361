// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How the emulated USB device reaches the companion app: a broadcast announces a channel URL, and
// a forwarded `tcp:P` stream on the device is relayed to the local endpoint serving that channel.
class ChannelBroker
{
public:
    virtual ~ChannelBroker() = default;
    // `am broadcast ... -d URL`: empty on acceptance, otherwise the reason, which the device prints as
    // "Error: <reason>".
    virtual QString announceChannel(const QString& url) = 0;
    // A 127.0.0.1 port serving the channel last announced for device port P; 0 when there is none.
    virtual quint16 channelEndpoint(quint16 devicePort) = 0;
};
