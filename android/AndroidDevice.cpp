// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"

#include "android/AdbCommands.h"
#include "android/AndroidLog.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/DataFolders.h"
#include "base/TaskReporting.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include <memory>
#include <stdexcept>

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
constexpr int attemptTimeoutMs = 5000;
constexpr int serviceConnectTimeoutMs = 10000;

int urlPort(const QString& url)
{
    return QUrl(url).port();
}

// Channels exchange short lines in lock step ("$end:" then "$batch:"): without this every batch
// would wait for the peer's delayed acknowledgement. Takes effect only on a connected socket.
void sendWithoutDelay(QTcpSocket* socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

} // namespace

void AndroidDevice::parseInfo(const QString& text)
{
    static const QRegularExpression pair(QStringLiteral("([^=;]+)=([^=;]+);?"));
    auto matches = pair.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        const QString key = match.captured(1);
        const QString value = match.captured(2);
        if (key == QLatin1String("version"))
            version = value.toInt();
        else if (key == QLatin1String("model"))
            model = value;
        else if (key == QLatin1String("manufacturer"))
            manufacturer = value;
        else if (key == QLatin1String("imei"))
            imei = value;
        else if (key == QLatin1String("uid"))
            uid = value;
        else if (key == QLatin1String("sdk"))
            sdk = value;
        else if (key == QLatin1String("sdk_id"))
            sdkId = value.toInt();
        else if (key == QLatin1String("root"))
            root = value.toInt() != 0;
        else if (key == QLatin1String("storage1"))
            storage1 = value;
        else if (key == QLatin1String("mmc"))
            mmc = value;
    }
}

QString AndroidDevice::displayName() const
{
    QString text = manufacturer;
    if (!model.isEmpty())
        text += QLatin1Char(' ') + model;
    return text.trimmed();
}

QString AndroidDevice::treeName() const
{
    if (!direct)
        return displayName();
    return QCoreApplication::translate("AndroidDevice", "%1 (read directly over USB)").arg(displayName());
}

QString AndroidDevice::deviceId() const
{
    return wifi ? uid : serial;
}

QString AndroidDevice::cacheFolderName(const QString& imei)
{
    static const QRegularExpression plainName(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-](?:[A-Za-z0-9._-]{0,62}[A-Za-z0-9_-])?")));
    // Names that Windows opens as devices whatever their extension.
    static const QRegularExpression deviceName(
        QRegularExpression::anchoredPattern(QStringLiteral("(?:CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(?:\\..*)?")),
        QRegularExpression::CaseInsensitiveOption);
    if (plainName.match(imei).hasMatch() && !deviceName.match(imei).hasMatch())
        return imei;
    const QByteArray digest = QCryptographicHash::hash(imei.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("imei~") + QString::fromLatin1(digest.toHex().left(32));
}

QDir AndroidDevice::cacheDir() const
{
    const QString path
        = dataRootDir().absoluteFilePath(QStringLiteral("android_cache/") + cacheFolderName(direct ? serial : imei));
    QDir dir(path);
    if (!dir.exists())
        QDir().mkpath(path);
    return dir;
}

QTcpSocket* AndroidDevice::openChannel(const QString& url, int timeoutMs) const
{
    return wifi ? openWifiChannel(url, timeoutMs) : openUsbChannel(url, timeoutMs);
}

QTcpSocket* AndroidDevice::openUsbChannel(const QString& url, int timeoutMs) const
{
    activityManager(serial, QStringLiteral("broadcast"),
        QStringLiteral("com.quillbarrow.smsagent/.AdbSyncBroadcastReceiver"), QString(), url, {}, QString());
    auto socket = std::make_unique<QTcpSocket>();
    const int port = urlPort(url);
    forwardPort(serial, port, port);

    // The companion needs a moment to listen after the broadcast, and adb accepts the local end
    // before the phone does: a connection that closes before "$ready:" is tried again.
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    for (;;) {
        if (QDateTime::currentMSecsSinceEpoch() - started > timeoutMs)
            throw std::runtime_error(QStringLiteral("start %1 failed.").arg(url).toStdString());
        socket->abort();
        if (!simpleprotocol::connectSocket(socket.get(), localHost, static_cast<quint16>(port), attemptTimeoutMs))
            continue;
        sendWithoutDelay(socket.get());
        try {
            simpleprotocol::expectCommand(socket.get(), channelprotocol::readyCommand, attemptTimeoutMs);
            return socket.release();
        } catch (const simpleprotocol::SocketDataTransferException&) {
            qCDebug(lcAndroid, "connect %s failed, try again...", qUtf8Printable(url));
        }
    }
}

QTcpSocket* AndroidDevice::openWifiChannel(const QString& url, int timeoutMs) const
{
    // The request and its answer are bounded by the channel's time-out too: a service that takes the
    // request and never answers must not hold the connection attempt for ever.
    auto service = std::make_unique<QTcpSocket>();
    if (!simpleprotocol::connectSocket(service.get(), host, static_cast<quint16>(port), serviceConnectTimeoutMs))
        throw std::runtime_error(QStringLiteral("can not connect %1:%2.").arg(host).arg(port).toStdString());
    simpleprotocol::writeCommand(service.get(), url, QString(), true, timeoutMs);
    const QString answer = simpleprotocol::readCommand(service.get(), timeoutMs);
    service->disconnectFromHost();
    service.reset();

    if (answer.startsWith(QLatin1Char('0'))) {
        const QString reason = QString::fromUtf8(QByteArray::fromBase64(answer.mid(1).toLatin1()));
        throw std::runtime_error(
            QStringLiteral("start %1 failed.%2").arg(url, simpleprotocol::phoneTextForMessage(reason)).toStdString());
    }

    auto socket = std::make_unique<QTcpSocket>();
    if (!simpleprotocol::connectSocket(socket.get(), host, static_cast<quint16>(urlPort(url)), timeoutMs))
        throw std::runtime_error(QStringLiteral("connec %1 failed.").arg(url).toStdString());
    sendWithoutDelay(socket.get());
    simpleprotocol::expectCommand(socket.get(), channelprotocol::readyCommand, timeoutMs);
    return socket.release();
}
