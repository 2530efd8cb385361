// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/RecordDefaults.h"

#include "message/MsgCollection.h"

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
