// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MsgCollection.h"

struct _MsgCollection::Body
{
    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    QHash<qint64, _MsgMessage*> messages;
    // Conversations other than message->chat whose map lists the message: a message joined to
    // several conversations must leave every map when it is removed.
    QHash<qint64, QList<_MsgChat*>> otherChats;

    ~Body() { clear(); }

    void clear()
    {
        qDeleteAll(messages);
        qDeleteAll(handles);
        qDeleteAll(chats);
        messages.clear();
        handles.clear();
        chats.clear();
        otherChats.clear();
    }
};

namespace {

template <typename Record> Record* addRecord(QHash<qint64, Record*>& records, std::unique_ptr<Record> record)
{
    if (!record)
        return nullptr;
    auto it = records.find(record->rowid);
    if (it != records.end())
        return it.value();
    Record* held = record.release();
    records.insert(held->rowid, held);
    return held;
}

} // namespace

_MsgCollection::_MsgCollection()
    : d(std::make_shared<Body>())
{
}

const QHash<qint64, _MsgChat*>& _MsgCollection::chats() const
{
    return d->chats;
}

const QHash<qint64, _MsgHandle*>& _MsgCollection::handles() const
{
    return d->handles;
}

const QHash<qint64, _MsgMessage*>& _MsgCollection::messages() const
{
    return d->messages;
}

_MsgChat* _MsgCollection::chat(qint64 rowid) const
{
    return d->chats.value(rowid, nullptr);
}

_MsgHandle* _MsgCollection::handle(qint64 rowid) const
{
    return d->handles.value(rowid, nullptr);
}

_MsgMessage* _MsgCollection::message(qint64 rowid) const
{
    return d->messages.value(rowid, nullptr);
}

_MsgChat* _MsgCollection::addChat(std::unique_ptr<_MsgChat> chat)
{
    return addRecord(d->chats, std::move(chat));
}

_MsgHandle* _MsgCollection::addHandle(std::unique_ptr<_MsgHandle> handle)
{
    return addRecord(d->handles, std::move(handle));
}

_MsgMessage* _MsgCollection::addMessage(std::unique_ptr<_MsgMessage> message)
{
    return addRecord(d->messages, std::move(message));
}

void _MsgCollection::linkMessageToChat(_MsgMessage* message, _MsgChat* chat)
{
    if (message->chat && message->chat != chat) {
        QList<_MsgChat*>& others = d->otherChats[message->rowid];
        if (!others.contains(message->chat))
            others.append(message->chat);
    }
    message->chat = chat;
    chat->messages.insert(QString::number(message->rowid), message);
}

void _MsgCollection::reserve(qsizetype chats, qsizetype handles, qsizetype messages)
{
    d->chats.reserve(chats);
    d->handles.reserve(handles);
    d->messages.reserve(messages);
}

void _MsgCollection::removeMessage(qint64 rowid)
{
    _MsgMessage* message = d->messages.take(rowid);
    if (!message)
        return;
    const QString key = QString::number(rowid);
    auto unlist = [&key, message](_MsgChat* chat) {
        auto it = chat->messages.find(key);
        if (it != chat->messages.end() && it.value() == message)
            chat->messages.erase(it);
    };
    if (message->chat)
        unlist(message->chat);
    const QList<_MsgChat*> others = d->otherChats.take(rowid);
    for (_MsgChat* chat : others)
        unlist(chat);
    delete message;
}

void _MsgCollection::removeChat(qint64 rowid)
{
    _MsgChat* chat = d->chats.take(rowid);
    if (!chat)
        return;
    // Messages stay in the collection; none may keep pointing at the destroyed conversation.
    for (_MsgMessage* message : std::as_const(chat->messages)) {
        if (message->chat == chat)
            message->chat = nullptr;
    }
    for (auto it = d->otherChats.begin(); it != d->otherChats.end();) {
        it.value().removeAll(chat);
        if (it.value().isEmpty())
            it = d->otherChats.erase(it);
        else
            ++it;
    }
    delete chat;
}

void _MsgCollection::clear()
{
    d->clear();
}
