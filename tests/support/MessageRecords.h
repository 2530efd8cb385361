// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QHash>
#include <QList>

// Builds conversations, correspondents and messages straight into a collection, linked as the store's
// reading links them, for tests of what is shown from a collection.
class MessageRecords
{
public:
    // Records go into the given collection (collections share their records when copied).
    explicit MessageRecords(const _MsgCollection& collection = _MsgCollection())
        : collection(collection)
    {
    }

    _MsgHandle* addHandle(qint64 rowid, const QString& id, const QString& contactName = QString(),
        const QByteArray& photo = QByteArray());
    _MsgChat* addChat(qint64 rowid, const QString& identifier, const QList<_MsgHandle*>& participants, int last = 0,
        const QString& displayName = QString());
    _MsgMessage* addMessage(qint64 rowid, _MsgChat* chat, _MsgHandle* sender, int date, const QString& text,
        bool fromMe, const QString& service = QStringLiteral("SMS"));
    // Messages 1..count in one conversation with one correspondent, alternating received and sent,
    // one minute apart, in row id order.
    QList<_MsgMessage*> addConversation(int count);
    // A message as a local database yields it, with one conversation and one correspondent per
    // address (none for an empty address); row ids count up from 1 in the order of the calls.
    _MsgMessage& addFrom(const QString& address, int date, int fromMe, const QString& text, int itemType = 0);
    // The messages addFrom added, in that order.
    const QList<_MsgMessage*>& messages() const { return m_added; }

    _MsgCollection collection;

private:
    QList<_MsgMessage*> m_added;
    QHash<QString, _MsgChat*> m_chatsByAddress;
};
