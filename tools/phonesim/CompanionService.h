// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/ChannelBroker.h"
#include "tools/phonesim/SimulatorModule.h"

#include <QObject>

// The companion app's side of the line protocol: WiFi service port and channels.
class CompanionService : public QObject, public SimulatorModule, public ChannelBroker
{
    Q_OBJECT

public:
    explicit CompanionService(QObject* parent = nullptr);

    void addOptions(QCommandLineParser& parser) override;
    bool start(const QCommandLineParser& parser, QString* error) override;
    quint16 listeningPort() const override { return 0; }

    QString announceChannel(const QString& url) override;
    quint16 channelEndpoint(quint16 devicePort) override;
};
