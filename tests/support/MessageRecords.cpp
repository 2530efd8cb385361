// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MessageRecords.h"

#include <memory>

_MsgHandle* MessageRecords::addHandle(
    qint64 rowid, const QString& id, const QString& contactName, const QByteArray& photo)
{
    auto handle = std::make_unique<_MsgHandle>();
    handle->rowid = rowid;
    handle->id = id;
    handle->_ct_name = contactName;
    handle->_photo = photo;
    return collection.addHandle(std::move(handle));
}

_MsgChat* MessageRecords::addChat(qint64 rowid, const QString& identifier, const QList<_MsgHandle*>& participants,
    int last, const QString& displayName)
{
    auto chat = std::make_unique<_MsgChat>();
    chat->rowid = rowid;
    chat->guid = QStringLiteral("chat-%1").arg(rowid);
    chat->chat_identifier = identifier;
    chat->_last = last;
    chat->display_name = displayName;
    for (_MsgHandle* handle : participants)
        chat->handles.insert(QString::number(handle->rowid), handle);
    return collection.addChat(std::move(chat));
}

_MsgMessage* MessageRecords::addMessage(qint64 rowid, _MsgChat* chat, _MsgHandle* sender, int date, const QString& text,
    bool fromMe, const QString& service)
{
    auto message = std::make_unique<_MsgMessage>();
    message->rowid = rowid;
    message->readRowId = rowid;
    message->guid = QStringLiteral("message-%1").arg(rowid);
    message->text = text;
    message->date = date;
    message->is_from_me = fromMe ? 1 : 0;
    message->service = service;
    message->handle = sender;
    message->handle_id = sender ? sender->rowid : 0;
    _MsgMessage* held = collection.addMessage(std::move(message));
    if (chat)
        collection.linkMessageToChat(held, chat);
    return held;
}

QList<_MsgMessage*> MessageRecords::addConversation(int count)
{
    _MsgHandle* handle = addHandle(1, QStringLiteral("+447700900123"), QStringLiteral("Ada"));
    _MsgChat* chat = addChat(1, handle->id, { handle }, count * 60);
    QList<_MsgMessage*> messages;
    for (int i = 1; i <= count; ++i) {
        const bool fromMe = i % 2 == 0;
        messages.append(addMessage(i, chat, handle, i * 60, QStringLiteral("message %1").arg(i), fromMe));
    }
    return messages;
}

_MsgMessage& MessageRecords::addFrom(const QString& address, int date, int fromMe, const QString& text, int itemType)
{
    _MsgChat* chat = nullptr;
    _MsgHandle* handle = nullptr;
    if (!address.isEmpty()) {
        chat = m_chatsByAddress.value(address);
        if (!chat) {
            const qint64 rowid = m_chatsByAddress.size() + 1;
            handle = addHandle(rowid, address);
            chat = addChat(rowid, address, { handle });
            chat->guid = QStringLiteral("SMS;-;") + address;
            m_chatsByAddress.insert(address, chat);
        }
        handle = *chat->handles.cbegin();
    }
    _MsgMessage* message = addMessage(m_added.size() + 1, chat, handle, date, text, fromMe != 0);
    message->is_from_me = fromMe;
    message->date_read = message->date_delivered = date;
    message->item_type = itemType;
    m_added.append(message);
    return *message;
}
