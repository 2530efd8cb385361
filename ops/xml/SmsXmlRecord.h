// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One message of an XML backup as the file gives it: an <sms> element, or an <mms> element with its
// parts and addresses. Texts the format writes as "null" are empty here.
struct SmsXmlRecord
{
    enum class Kind { Sms, Mms };

    // A <part> of an <mms>: a text, the presentation (SMIL) or a media file decoded from base64.
    struct Part
    {
        QString contentType;
        QString name;
        QString text;
        QByteArray data;
    };

    // An <addr> of an <mms>; type 137 is the sender, 151 a recipient (130 and 129: copy, blind copy).
    struct Address
    {
        QString address;
        int type = 0;
    };

    static constexpr int fromAddress = 137;
    static constexpr int toAddress = 151;

    Kind kind = Kind::Sms;
    qint64 line = 0; // where the element starts in the file
    QString date; // milliseconds since 1970, as written
    // <sms> type or <mms> msg_box: 1 received, 2 sent, 3 draft, 4 outbox, 5 failed, 6 queued.
    int box = 0;
    QString address; // an <mms> lists its conversation's addresses separated by '~'
    QString contactName;
    QString body;
    QString subject;
    QString serviceCenter;
    int read = 1;
    QList<Part> parts;
    QList<Address> addresses;

    // What storing the message needs, worked out from the fields above (XmlMessagePreparer).
    struct Prepared
    {
        // A media part to store as an attachment: its index in parts, its file name and the MD5 of its data.
        struct Media
        {
            qsizetype part = 0;
            QString name;
            QString key;
        };

        bool hasDate = false; // false: the date is no number and the message is skipped
        qint32 date = 0; // seconds since 2001-01-01 00:00:00 UTC
        QStringList participants; // normalised, sorted, each once
        QString sender; // normalised; empty when the message names none
        QString text;
        QList<Media> media;
        QString guid;
    };
    Prepared prepared;

    bool isSent() const { return box >= 2 && box <= 6; }

    // A message of the owner that did not go out (a draft, in the outbox, failed, queued) is stored with
    // is_sent 0 and its box in `error`, so that a backup written from the store puts it in that box
    // again instead of showing it as delivered.
    bool keepsBox() const { return box >= 3 && box <= 6; }
    // The <sms> type of a stored message.
    static int boxOfStored(int isFromMe, int isSent, int error)
    {
        if (!isFromMe)
            return 1;
        if (isSent)
            return 2;
        if (error >= 3 && error <= 6)
            return error;
        // Any other error code of a message that did not go out: it failed.
        return error != 0 ? 5 : 2;
    }
};
