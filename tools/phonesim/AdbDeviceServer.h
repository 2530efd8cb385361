// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/AdbDeviceState.h"
#include "tools/phonesim/SimulatorModule.h"

#include <QObject>
#include <QTcpServer>

class ChannelBroker;

// An emulated Android device that the real adb reaches with `adb connect 127.0.0.1:PORT`: it
// listens as a device daemon does and serves every host that connects.
class AdbDeviceServer : public QObject, public SimulatorModule
{
    Q_OBJECT

public:
    explicit AdbDeviceServer(ChannelBroker& broker, QObject* parent = nullptr);

    void addOptions(QCommandLineParser& parser) override;
    bool start(const QCommandLineParser& parser, QString* error) override;
    quint16 listeningPort() const override { return m_server.serverPort(); }

    // The messages that the phone's providers serve to `content`: the companion's store, set before start.
    void setMessageStore(QSharedPointer<MessageStore> store) { m_state.messages = std::move(store); }

private:
    void acceptHosts();

    ChannelBroker& m_broker;
    AdbDeviceState m_state;
    QTcpServer m_server;
};
