// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// One text message as the phone keeps it. `direction` is 1 for a message sent from the phone and
// 0 for a received one, as on the line protocol.
struct SimMessage
{
    qint64 timeMs = 0;
    int direction = 0;
    QString address;
    QString contactName;
    QString body;
    QString subject;

    bool operator==(const SimMessage& other) const
    {
        return timeMs == other.timeMs && direction == other.direction && address == other.address
            && contactName == other.contactName && body == other.body && subject == other.subject;
    }
    bool operator!=(const SimMessage& other) const { return !(*this == other); }
};

// `count` messages with the variety of a real phone: correspondents in national and international
// number forms of several countries, short codes, alphanumeric senders and e-mail addresses;
// bodies with several lines, commas, quotes, non-Latin scripts, emoji outside the BMP, empty
// bodies, and exact duplicates. The same seed always gives the same list.
QList<SimMessage> generateMessages(int count, quint32 seed);

// The message file: a JSON object whose "messages" array holds one object per message with the
// keys "time" (ms since 1970, UTC), "direction", "address", "contactName", "body" and "subject".
// Both throw std::runtime_error when the file cannot be read, parsed or written. Saving replaces
// the file only once the new one is complete.
QList<SimMessage> loadMessages(const QString& path);
void saveMessages(const QString& path, const QList<SimMessage>& messages);
