// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbDeviceServer.h"

AdbDeviceServer::AdbDeviceServer(ChannelBroker& broker, QObject* parent)
    : QObject(parent)
    , m_broker(broker)
{
}

void AdbDeviceServer::addOptions(QCommandLineParser&)
{
}

bool AdbDeviceServer::start(const QCommandLineParser&, QString*)
{
    return true;
}
