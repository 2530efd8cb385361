// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbHostConnection.h"

#include "tools/phonesim/AdbDeviceState.h"
#include "tools/phonesim/AdbShell.h"
#include "tools/phonesim/AdbSyncSession.h"
#include "tools/phonesim/ChannelBroker.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <exception>

namespace {

const std::uint32_t protocolVersion = 0x01000001;
const std::uint32_t devicePayloadLimit = 1024 * 1024;

// The shell protocol (feature shell_v2) frames a command's streams as packets of a one-byte stream
// id and a 32-bit little-endian length, and ends with its exit status.
enum ShellPacket : char { shellStdout = 1, shellStderr = 2, shellExit = 3 };

void appendShellPacket(QByteArray& out, ShellPacket id, const QByteArray& data)
{
    constexpr qsizetype chunk = 32 * 1024;
    for (qsizetype at = 0; at < data.size(); at += chunk) {
        const qsizetype size = std::min(chunk, data.size() - at);
        const quint32 length = static_cast<quint32>(size);
        out += id;
        out += char(length & 0xff);
        out += char((length >> 8) & 0xff);
        out += char((length >> 16) & 0xff);
        out += char((length >> 24) & 0xff);
        out += data.mid(at, size);
    }
}

// "shell:CMD" or "shell,ARG,...:CMD" (adb asks for "shell,v2,raw:CMD" when the device offers
// shell_v2); "exec:CMD" runs without the shell protocol.
bool parseShellService(const QString& service, QString* command, bool* shellProtocol)
{
    const qsizetype colon = service.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    const QString head = service.left(colon);
    QStringList arguments = head.split(QLatin1Char(','));
    const QString kind = arguments.takeFirst();
    if (kind != QLatin1String("shell") && !(kind == QLatin1String("exec") && arguments.isEmpty()))
        return false;
    *command = service.mid(colon + 1);
    *shellProtocol = arguments.contains(QLatin1String("v2"));
    return true;
}

} // namespace

AdbHostConnection::AdbHostConnection(QTcpSocket* socket, AdbDeviceState& state, ChannelBroker& broker, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_state(state)
    , m_broker(broker)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &AdbHostConnection::readFromHost);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        logAdb(QStringLiteral("host disconnected"));
        deleteLater();
    });
}

AdbHostConnection::~AdbHostConnection()
{
    m_socket->disconnect(this);
    while (!m_streams.empty())
        closeStream(m_streams.begin()->first, false);
}

void AdbHostConnection::readFromHost()
{
    m_buffer += m_socket->readAll();
    try {
        AdbPacket packet;
        // The host's CNXN may carry a payload of up to its own limit; later packets obey ours.
        while (AdbPacket::take(m_buffer, packet, m_connected ? m_maxPayload : devicePayloadLimit))
            handle(packet);
    } catch (const std::exception& error) {
        logAdb(QStringLiteral("dropping host: %1").arg(QString::fromUtf8(error.what())));
        m_socket->abort();
        deleteLater();
    }
}

void AdbHostConnection::handle(const AdbPacket& packet)
{
    switch (packet.command) {
    case AdbPacket::CNXN: {
        while (!m_streams.empty())
            closeStream(m_streams.begin()->first, false);
        m_maxPayload = std::clamp<std::uint32_t>(packet.arg1, 4096, devicePayloadLimit);
        m_connected = true;
        const QString banner = QStringLiteral("device::ro.product.name=%1;ro.product.model=%2;ro.product.device=%3;"
                                              "features=shell_v2")
                                   .arg(m_state.product, m_state.model, m_state.device);
        logAdb(QStringLiteral("connect from %1").arg(QString::fromUtf8(packet.payload).remove(QChar())));
        send(AdbPacket::CNXN, protocolVersion, devicePayloadLimit, banner.toUtf8());
        return;
    }
    case AdbPacket::OPEN:
        openStream(packet.arg0, packet.payload);
        return;
    case AdbPacket::OKAY:
        if (Stream* stream = find(packet.arg1)) {
            stream->remoteId = packet.arg0;
            stream->awaitingOkay = false;
            pump(stream->localId);
        }
        return;
    case AdbPacket::WRTE:
        if (find(packet.arg1)) {
            // Acknowledge first: the host sends nothing more on this stream until it has the OKAY.
            send(AdbPacket::OKAY, packet.arg1, packet.arg0);
            writeToStream(packet.arg1, packet.payload);
        }
        return;
    case AdbPacket::CLSE:
        if (find(packet.arg1))
            closeStream(packet.arg1, false);
        return;
    default:
        logAdb(QStringLiteral("ignoring packet %1").arg(QString::fromLatin1(AdbPacket::commandName(packet.command))));
        return;
    }
}

void AdbHostConnection::openStream(quint32 remoteId, const QByteArray& rawName)
{
    QByteArray name = rawName;
    const int nul = name.indexOf('\0');
    if (nul >= 0)
        name.truncate(nul);
    const QString service = QString::fromUtf8(name);

    auto stream = std::make_unique<Stream>();
    stream->localId = m_nextLocalId++;
    stream->remoteId = remoteId;
    Stream& opened = *stream;

    QString command;
    bool shellProtocol = false;
    if (parseShellService(service, &command, &shellProtocol)) {
        logAdb(QStringLiteral("shell %1").arg(command));
        m_streams.emplace(opened.localId, std::move(stream));
        accept(opened);
        const ShellResult result = runShellCommand(m_state, m_broker, command);
        if (shellProtocol) {
            appendShellPacket(opened.pending, shellStdout, result.out);
            appendShellPacket(opened.pending, shellStderr, result.err);
            appendShellPacket(opened.pending, shellExit, QByteArray(1, char(result.exitCode & 0xff)));
        } else {
            // Without the shell protocol both streams share the one stream, and the status is lost.
            opened.pending = result.out + result.err;
        }
        opened.closeWhenSent = true;
        pump(opened.localId);
        return;
    }
    if (service == QLatin1String("sync:")) {
        logAdb(QStringLiteral("sync"));
        opened.sync = std::make_unique<AdbSyncSession>(m_state);
        m_streams.emplace(opened.localId, std::move(stream));
        accept(opened);
        return;
    }
    if (service.startsWith(QLatin1String("tcp:"))) {
        bool ok = false;
        const uint port = service.section(QLatin1Char(':'), 1, 1).toUInt(&ok);
        if (ok && port > 0 && port <= 65535) {
            logAdb(QStringLiteral("forward stream %1").arg(service));
            m_streams.emplace(opened.localId, std::move(stream));
            openForward(opened, static_cast<quint16>(port));
            return;
        }
    }
    logAdb(QStringLiteral("refused %1").arg(service));
    send(AdbPacket::CLSE, 0, remoteId);
}

void AdbHostConnection::openForward(Stream& stream, quint16 devicePort)
{
    const quint32 localId = stream.localId;
    const quint16 endpointPort
        = m_state.relays.value(devicePort, 0) ? m_state.relays.value(devicePort) : m_broker.channelEndpoint(devicePort);
    if (endpointPort == 0) {
        // Nobody on the device listens there: the open fails, and adb closes the forwarded connection.
        logAdb(QStringLiteral("no channel for tcp:%1, closing").arg(devicePort));
        closeStream(localId, true);
        return;
    }

    auto* endpoint = new QTcpSocket(this);
    stream.endpoint = endpoint;
    connect(endpoint, &QTcpSocket::connected, this, [this, localId] {
        if (Stream* s = find(localId))
            accept(*s);
    });
    connect(endpoint, &QTcpSocket::readyRead, this, [this, localId, endpoint] {
        if (Stream* s = find(localId)) {
            s->pending += endpoint->readAll();
            pump(localId);
        }
    });
    connect(endpoint, &QTcpSocket::disconnected, this, [this, localId] {
        if (Stream* s = find(localId)) {
            s->closeWhenSent = true;
            pump(localId);
        }
    });
    connect(endpoint, &QTcpSocket::errorOccurred, this, [this, localId, endpoint](QAbstractSocket::SocketError) {
        Stream* s = find(localId);
        if (s && endpoint->state() != QAbstractSocket::ConnectedState && !s->closeWhenSent) {
            logAdb(QStringLiteral("channel endpoint: %1").arg(endpoint->errorString()));
            s->pending += endpoint->readAll();
            s->closeWhenSent = true;
            pump(localId);
        }
    });
    endpoint->connectToHost(QHostAddress::LocalHost, endpointPort);
}

void AdbHostConnection::accept(Stream& stream)
{
    stream.accepted = true;
    send(AdbPacket::OKAY, stream.localId, stream.remoteId);
}

void AdbHostConnection::writeToStream(quint32 localId, const QByteArray& data)
{
    Stream* stream = find(localId);
    if (stream->sync) {
        stream->pending += stream->sync->feed(data);
        if (stream->sync->finished())
            stream->closeWhenSent = true;
        pump(localId);
    } else if (stream->endpoint) {
        stream->endpoint->write(data);
    }
    // A shell stream has no input: whatever the host types (or sends as shell packets) is dropped.
}

void AdbHostConnection::pump(quint32 localId)
{
    Stream* stream = find(localId);
    if (!stream || stream->awaitingOkay)
        return;
    if (!stream->pending.isEmpty()) {
        const int size = std::min<int>(stream->pending.size(), static_cast<int>(m_maxPayload));
        send(AdbPacket::WRTE, localId, stream->remoteId, stream->pending.left(size));
        stream->pending.remove(0, size);
        stream->awaitingOkay = true;
        return;
    }
    if (stream->closeWhenSent)
        closeStream(localId, true);
}

void AdbHostConnection::closeStream(quint32 localId, bool tellHost)
{
    auto it = m_streams.find(localId);
    if (it == m_streams.end())
        return;
    std::unique_ptr<Stream> stream = std::move(it->second);
    m_streams.erase(it);
    // adb takes CLSE(0, id) as a failed open; with a local id it would look for an open stream and
    // ignore the close, leaving the forwarded connection hanging.
    if (tellHost)
        send(AdbPacket::CLSE, stream->accepted ? localId : 0, stream->remoteId);
    if (QTcpSocket* endpoint = stream->endpoint) {
        // What the host wrote just before its close (a closing "$bye:") must still reach the channel.
        endpoint->disconnect(this);
        endpoint->flush();
        connect(endpoint, &QTcpSocket::disconnected, endpoint, &QObject::deleteLater);
        endpoint->disconnectFromHost();
        if (endpoint->state() == QAbstractSocket::UnconnectedState)
            endpoint->deleteLater();
    }
}

void AdbHostConnection::send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1, const QByteArray& payload)
{
    AdbPacket packet;
    packet.command = command;
    packet.arg0 = arg0;
    packet.arg1 = arg1;
    packet.payload = payload;
    m_socket->write(packet.encode());
}

AdbHostConnection::Stream* AdbHostConnection::find(quint32 localId)
{
    const auto it = m_streams.find(localId);
    return it == m_streams.end() ? nullptr : it->second.get();
}
