// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/AdbPacket.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

class AdbSyncSession;
class ChannelBroker;
class QTcpSocket;
struct AdbDeviceState;

// One adb host (an adb server after `adb connect`) talking to the emulated device: answers the
// connection handshake and serves the streams the host opens (shell, sync, forwarded tcp ports).
// Each stream has at most one WRTE in flight towards the host; the next waits for the host's OKAY.
class AdbHostConnection : public QObject
{
    Q_OBJECT

public:
    AdbHostConnection(QTcpSocket* socket, AdbDeviceState& state, ChannelBroker& broker, QObject* parent = nullptr);
    ~AdbHostConnection() override;

private:
    struct Stream
    {
        quint32 localId = 0;
        quint32 remoteId = 0;
        // The host has the stream's OKAY; until then a close must tell it the open failed.
        bool accepted = false;
        QByteArray pending;
        bool awaitingOkay = false;
        bool closeWhenSent = false;
        std::unique_ptr<AdbSyncSession> sync;
        QPointer<QTcpSocket> endpoint;
    };

    void readFromHost();
    void handle(const AdbPacket& packet);
    void openStream(quint32 remoteId, const QByteArray& name);
    void openForward(Stream& stream, quint16 devicePort);
    void accept(Stream& stream);
    void writeToStream(quint32 localId, const QByteArray& data);
    void pump(quint32 localId);
    void closeStream(quint32 localId, bool tellHost);
    void send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1, const QByteArray& payload = {});
    Stream* find(quint32 localId);

    QTcpSocket* m_socket;
    AdbDeviceState& m_state;
    ChannelBroker& m_broker;
    QByteArray m_buffer;
    std::uint32_t m_maxPayload = 4096;
    bool m_connected = false;
    quint32 m_nextLocalId = 1;
    std::map<quint32, std::unique_ptr<Stream>> m_streams;
};
