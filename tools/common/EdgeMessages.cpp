// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/EdgeMessages.h"

#include "tools/common/GeneratedPicture.h"

namespace {

constexpr qint64 hostileTimeMs = 1700000000000LL;

// The line that would start the row after the message with the given sms id, when rows are read
// in `_id` order with the column beside `_id`.
QString nextRow(int id, const QString& column)
{
    return QStringLiteral("\nRow: %1 _id=%2, %3=").arg(id).arg(id + 1).arg(column);
}

SimMessage text(int id, int direction, const QString& address, const QString& body)
{
    SimMessage m;
    m.timeMs = hostileTimeMs + id * 61000LL;
    m.direction = direction;
    m.address = address;
    m.body = body;
    return m;
}

} // namespace

QList<SimMessage> hostileMessages()
{
    QList<SimMessage> messages {
        text(1, 0, QStringLiteral("+447700900123"), QStringLiteral("Hi, date=1700000000000, type=2, read=1")),
        text(2, 1, QStringLiteral("+447700900123"),
            QStringLiteral("first line") + nextRow(2, QStringLiteral("body")) + QStringLiteral("not a row, read=0")),
        text(3, 0, QStringLiteral("+447700900123"), QStringLiteral("NULL")),
        text(4, 0, QStringLiteral("BANK-INFO"), QStringLiteral("No result found.")),
        text(5, 1, QStringLiteral("+447700900123"), QString()),
        text(6, 0, QStringLiteral("+447700900456"),
            QStringLiteral("Row: 5 _id=6, body=Row: 5 \nRow: 5 _id=99, body=\nRow: 7 _id=7, body=x")),
        text(7, 0, QStringLiteral("+447700900456"),
            QStringLiteral("emoji 😀👍🏽 👨‍👩‍👧 🇬🇧 and a lone variation ❤️")),
        text(8, 0, QStringLiteral("+972525550123"), QStringLiteral("שלום, body=مرحبا\u200f, address=\u202e+1 555")),
        text(9, 1, QStringLiteral("+972525550123"), QStringLiteral("trailing spaces   ")),
        text(10, 1, QStringLiteral("+447700900456"), QStringLiteral("trailing backslash \\")),
        text(11, 0, QStringLiteral("+447700900456"), QStringLiteral("quotes ' \" `date` $(id) $HOME ;|&<> '\\''\"")),
        text(12, 0, QStringLiteral("+447700900456"), QStringLiteral("\r\nonly breaks\n\n")),
        text(13, 0, QStringLiteral("Info, address=+1"),
            QStringLiteral("tab\tand NUL-free control \x01 character") + nextRow(13, QStringLiteral("body"))),
        text(14, 0, QStringLiteral("+447700900789") + nextRow(14, QStringLiteral("address")), QStringLiteral("last\n")),
    };
    messages[0].contactName = QStringLiteral("Smith, John\nRow: 1 _id=2, display_name=Not John");
    messages[1].subject = QStringLiteral("NULL");
    messages[2].subject = QStringLiteral("Re: 你好") + nextRow(3, QStringLiteral("subject"));
    messages[7].contactName = QStringLiteral("דוד כהן");

    // Parts in `_id` order: the layout (1), this text (2), the picture (3).
    SimMessage mms = text(15, 0, QStringLiteral("+447700900123;+447700900456"), QString());
    mms.mms = true;
    mms.sender = QStringLiteral("+447700900456");
    mms.subject = QStringLiteral("No result found.");
    mms.parts = {
        { QStringLiteral("text/plain"), QStringLiteral("text_0.txt"),
            QStringLiteral("caption, text=NULL") + QStringLiteral("\nRow: 2 _id=3, text=") + QStringLiteral("NULL\n"),
            {} },
        { QStringLiteral("image/png"), QStringLiteral("a, name=b.png"), QString(), generatedPng(15, 40, 30) },
    };
    messages.append(mms);
    return messages;
}

QList<SimMessage> hiddenBoxMessages(qint64 aroundMs)
{
    QList<SimMessage> messages;
    const QStringList bodies = { QStringLiteral("draft never sent"), QStringLiteral("waiting in the outbox"),
        QStringLiteral("failed to send"), QStringLiteral("queued for later") };
    for (int box = 3; box <= 6; ++box) {
        SimMessage m = text(box, 1, QStringLiteral("+447700900321"), bodies.at(box - 3));
        m.timeMs = aroundMs + box * 1000;
        m.box = box;
        messages.append(m);
    }
    for (int box = 3; box <= 4; ++box) {
        SimMessage m = text(box, 1, QStringLiteral("+447700900321"), QString());
        m.timeMs = aroundMs + (10 + box) * 1000;
        m.mms = true;
        m.box = box;
        m.parts = { { QStringLiteral("text/plain"), QStringLiteral("text_0.txt"),
                        box == 3 ? QStringLiteral("picture draft") : QStringLiteral("picture in the outbox"), {} },
            { QStringLiteral("image/png"), QStringLiteral("hidden.png"), QString(),
                generatedPng(quint32(box), 16, 16) } };
        messages.append(m);
    }
    return messages;
}
