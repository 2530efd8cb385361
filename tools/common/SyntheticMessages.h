// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// One piece of a multimedia message: a text (text set, data empty) or a file such as a picture
// (data set). `name` is the file name it travelled under.
struct SimPart
{
    QString contentType;
    QString name;
    QString text;
    QByteArray data;

    bool operator==(const SimPart& other) const
    {
        return contentType == other.contentType && name == other.name && text == other.text && data == other.data;
    }
    bool operator!=(const SimPart& other) const { return !(*this == other); }
};

// One text message as the phone keeps it. `direction` is 1 for a message sent from the phone and
// 0 for a received one, as on the line protocol.
//
// A multimedia message (`mms`) keeps its texts and pictures in `parts` and leaves `body` empty; its
// `address` lists the other parties separated by ";" (more than one for a group), and `sender` names
// the one who sent a received group message (the first party when empty). `box` is Android's
// message box when it is neither inbox nor sent (3 draft, 4 outbox, 5 failed, 6 queued); 0 lets
// `direction` decide between inbox and sent.
struct SimMessage
{
    qint64 timeMs = 0;
    int direction = 0;
    QString address;
    QString contactName;
    QString body;
    QString subject;
    bool mms = false;
    int box = 0;
    QString sender {};
    QList<SimPart> parts {};

    bool operator==(const SimMessage& other) const
    {
        return timeMs == other.timeMs && direction == other.direction && address == other.address
            && contactName == other.contactName && body == other.body && subject == other.subject && mms == other.mms
            && box == other.box && sender == other.sender && parts == other.parts;
    }
    bool operator!=(const SimMessage& other) const { return !(*this == other); }
};

// Android's message box of a message: 1 inbox, 2 sent, or the draft, outbox, failed and queued
// boxes that only the default messaging app sees.
int messageBox(const SimMessage& message);
// Received or sent: what the shell and any app that is not the default messaging app may read.
bool inVisibleBox(const SimMessage& message);

// `count` messages with the variety of a real phone: correspondents in national and international
// number forms of several countries, short codes, alphanumeric senders and e-mail addresses;
// bodies with several lines, commas, quotes, non-Latin scripts, emoji outside the BMP, empty
// bodies, and exact duplicates. The same seed always gives the same list.
QList<SimMessage> generateMessages(int count, quint32 seed);

// The message file: a JSON object whose "messages" array holds one object per message with the
// keys "time" (ms since 1970, UTC), "direction", "address", "contactName", "body" and "subject";
// a multimedia message adds "mms": true and "parts" (objects with "ct", "name" and either "text" or
// "data", base64), and "sender" for a received group message; "box" is there when not 0. Files
// without these keys hold text messages only.
// Both throw std::runtime_error when the file cannot be read, parsed or written. Saving replaces
// the file only once the new one is complete.
QList<SimMessage> loadMessages(const QString& path);
void saveMessages(const QString& path, const QList<SimMessage>& messages);
