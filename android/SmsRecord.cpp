// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/SmsRecord.h"

#include "message/MessageText.h"

#include <limits>

namespace {

// A decimal integer too large for 64 bits still says on which side of the range it lies.
bool isDecimalInteger(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
        text = text.mid(1);
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<SmsRecord> SmsRecord::parse(QStringView payload)
{
    Fields fields;
    if (!split(payload, fields))
        return std::nullopt;
    SmsRecord record;
    QByteArray buffer;
    record.dateOutcome = convertDate(fields[0], record.date);
    record.isFromMe = fromMe(fields[1]);
    record.address = decodeText(fields[2], buffer);
    record.contactName = decodeText(fields[3], buffer);
    record.text = decodeText(fields[4], buffer);
    record.subject = decodeText(fields[5], buffer);
    return record;
}

bool SmsRecord::split(QStringView payload, Fields& fields)
{
    qsizetype start = 0;
    for (int count = 0; count < fieldCount; ++count) {
        const qsizetype comma = payload.indexOf(QLatin1Char(','), start);
        fields[static_cast<size_t>(count)] = payload.mid(start, comma < 0 ? -1 : comma - start);
        if (comma < 0)
            return count + 1 == fieldCount;
        start = comma + 1;
    }
    return true;
}

SmsRecord::DateOutcome SmsRecord::convertDate(QStringView field, qint32& seconds)
{
    constexpr qint64 lowest = std::numeric_limits<qint32>::min();
    constexpr qint64 highest = std::numeric_limits<qint32>::max();
    bool isNumber = false;
    const qint64 milliseconds = field.toLongLong(&isNumber);
    if (!isNumber) {
        if (!isDecimalInteger(field)) {
            seconds = 0;
            return DateOutcome::NotANumber;
        }
        seconds = static_cast<qint32>(field.trimmed().startsWith(QLatin1Char('-')) ? lowest : highest);
        return DateOutcome::Clamped;
    }
    // Cannot overflow: a 64-bit count of milliseconds divided by 1000 is far from the 64-bit limits.
    const qint64 since2001 = milliseconds / 1000 - messageDateOffset;
    if (since2001 < lowest || since2001 > highest) {
        seconds = static_cast<qint32>(since2001 < lowest ? lowest : highest);
        return DateOutcome::Clamped;
    }
    seconds = static_cast<qint32>(since2001);
    return DateOutcome::Exact;
}

int SmsRecord::fromMe(QStringView field)
{
    return field.toInt() == 1 ? 1 : 0;
}

QString SmsRecord::decodeText(QStringView field, QByteArray& buffer)
{
    if (field.isEmpty())
        return QString();
    // The line arrived as one character per byte, so the field converts back to its bytes losslessly.
    buffer.resize(field.size());
    char* bytes = buffer.data();
    for (QChar c : field)
        *bytes++ = static_cast<char>(c.unicode());
    // Decoded in place: the buffer is reused for every field of every record.
    buffer = std::move(QByteArray::fromBase64Encoding(std::move(buffer)).decoded);
    const qsizetype zero = buffer.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? QByteArrayView(buffer) : QByteArrayView(buffer).first(zero));
}
