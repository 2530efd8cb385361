// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// One "$sms:" record of a loading channel, "time,direction,address,name,body,subject": the time in
// milliseconds since 1970 (UTC) as a decimal number, the direction 1 for a message sent from the
// phone, the four texts as base64 of UTF-8 read up to the first zero byte. Parsing needs no socket
// and no store; the loading thread uses the steps one by one to keep its buffers between records.
class SmsRecord
{
public:
    static constexpr int fieldCount = 6;
    using Fields = std::array<QStringView, fieldCount>;

    enum class DateOutcome {
        Exact,
        // Outside what a message date can hold: set to the nearest second it can hold.
        Clamped,
        // Not a decimal number: there is no date to keep.
        NotANumber,
    };

    // Seconds since 2001-01-01 00:00:00 UTC, the message date of the store.
    qint32 date = 0;
    DateOutcome dateOutcome = DateOutcome::Exact;
    int isFromMe = 0;
    QString address; // as the phone sent it, not normalised
    QString contactName;
    QString text;
    QString subject;

    // The payload after "$sms:"; nothing when it has fewer than six fields.
    static std::optional<SmsRecord> parse(QStringView payload);

    // Splits at commas (base64 never holds one); false with fewer than six fields, later ones are ignored.
    static bool split(QStringView payload, Fields& fields);
    // Store date of a phone time: milliseconds divided by 1000 (truncated) minus the 2001 offset, held
    // to the signed 32-bit range instead of wrapping.
    static DateOutcome convertDate(QStringView field, qint32& seconds);
    static int fromMe(QStringView field);
    // Decodes a base64 field through `buffer`, which the caller may keep to spare allocations. The
    // field is one character per byte as read from the channel.
    static QString decodeText(QStringView field, QByteArray& buffer);
};
