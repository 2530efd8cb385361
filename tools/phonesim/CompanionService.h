// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/ChannelBroker.h"
#include "tools/phonesim/CompanionSettings.h"
#include "tools/phonesim/SimulatorModule.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QTcpServer>

class ChannelListener;
class MessageStore;
class QTcpSocket;

// The companion app's side of the line protocol: the WiFi service port, which answers channel
// URLs, and the channels themselves. Over USB the emulated adb device announces a channel through
// the ChannelBroker interface and relays the forwarded stream to channelEndpoint().
class CompanionService : public QObject, public SimulatorModule, public ChannelBroker
{
    Q_OBJECT

public:
    explicit CompanionService(QObject* parent = nullptr);
    ~CompanionService() override;

    void addOptions(QCommandLineParser& parser) override;
    bool start(const QCommandLineParser& parser, QString* error) override;
    quint16 listeningPort() const override { return m_service.serverPort(); }
    // The phone's messages, once started.
    QSharedPointer<MessageStore> messageStore() const { return m_store; }

    // Safe to call from any thread.
    QString announceChannel(const QString& url) override;
    quint16 channelEndpoint(quint16 devicePort) override;

private:
    struct ChannelRequest
    {
        QString kind;
        quint16 port = 0;
    };

    bool parseSettings(const QCommandLineParser& parser, QString* error);
    bool loadStore(const QCommandLineParser& parser, QString* error);
    void serviceConnection(QTcpSocket* socket);
    QString serviceAnswer(const QString& line);
    // The --hold-at service fault: the answer to this request waits for the release file.
    bool holdsService(const QString& request) const;
    void answerWhenReleased(QTcpSocket* socket, const QByteArray& answer);
    // Starts listening for a requested channel; false with the reason (possibly empty) on refusal.
    bool openChannel(const QString& url, bool overUsb, QString* refusal);
    static bool parseUrl(const QString& url, ChannelRequest* request);
    // Listens for an announced USB channel and lets the forwarded device port reach it.
    void serveUsbChannel(ChannelListener* listener, const QString& url, quint16 devicePort);

    CompanionSettings m_settings;
    QSharedPointer<MessageStore> m_store;
    QTcpServer m_service;
    // WiFi channels by their port; USB channels by their device port.
    QHash<quint16, QPointer<ChannelListener>> m_wifiChannels;
    QHash<quint16, QPointer<ChannelListener>> m_usbChannels;
    mutable QMutex m_endpointMutex;
    QHash<quint16, quint16> m_usbEndpoints;
};
