// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/RecordDefaults.h"

#include "message/MsgCollection.h"

#include <QCryptographicHash>

void fillCorrespondent(const QString& address, _MsgHandle& handle, _MsgChat& chat)
{
    handle.id = address;
    handle.service = QStringLiteral("SMS");
    chat.guid = QStringLiteral("SMS;-;") + address;
    chat.style = 45;
    chat.state = 3;
    chat.chat_identifier = address;
    chat.service_name = QStringLiteral("SMS");
    chat.account_login = QStringLiteral("E:");
    chat.handles.insert(address, &handle);
}

void fillGroupChat(const QStringList& participants, _MsgChat& chat)
{
    const QByteArray key = participants.join(QLatin1Char('~')).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Md5).toHex();
    chat.chat_identifier = QStringLiteral("chat") + QString::fromLatin1(digest.left(16));
    chat.guid = QStringLiteral("SMS;+;") + chat.chat_identifier;
    chat.style = 43;
    chat.state = 3;
    chat.service_name = QStringLiteral("SMS");
    chat.account_login = QStringLiteral("E:");
}

void fillLoadedMessage(_MsgMessage& message)
{
    message.replace = 0;
    message.version = 10;
    message.type = 0;
    message.service = QStringLiteral("SMS");
    message.account = QStringLiteral("e:");
    message.error = 0;
    message.is_finished = 1;
    message.is_prepared = 1;
    message.is_read = 1;
    message.is_sent = 1;
    message.was_data_detected = 1;
}
