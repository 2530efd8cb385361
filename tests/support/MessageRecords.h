// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

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

    _MsgCollection collection;
};
