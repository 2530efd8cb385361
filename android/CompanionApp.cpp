// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/CompanionApp.h"

#include "android/AndroidDevice.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"

#include <QTcpSocket>

#include <stdexcept>

namespace companionapp {

QString packageName()
{
    return QStringLiteral("com.quillbarrow.smsagent");
}

QString packageResource()
{
    return QStringLiteral(":/res/com.quillbarrow.smsagent.apk");
}

QString tooOldText()
{
    return QStringLiteral("Quillbarrow SMS Agent on Android is too old. %1 needed. Please update it from Google Play.")
        .arg(QStringLiteral("3.1.10"));
}

void readGreeting(AndroidDevice& device, QTcpSocket*& socket)
{
    const int port = simpleprotocol::choosePort();
    socket = device.openChannel(channelprotocol::channelUrl(channelprotocol::deviceChannel, port), channelTimeoutMs);
    // The greeting is the payload after the "$hello:" command word. The companion sends it right
    // after "$ready:", so a phone that stays silent has failed.
    const QString description
        = simpleprotocol::readCommand(socket, channelTimeoutMs).mid(channelprotocol::helloCommand.size());
    simpleprotocol::writeCommand(socket, channelprotocol::byeCommand, QString(), true, -1);
    socket->disconnectFromHost();
    socket->deleteLater();
    socket = nullptr;
    device.parseInfo(description);
}

void checkGreeting(const AndroidDevice& device)
{
    if (device.version < lowestAcceptedVersion)
        throw std::runtime_error(tooOldText().toStdString());
}

} // namespace companionapp
